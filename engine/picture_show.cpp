#include "engine/picture_show.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
// A folder whose every picture fails would otherwise be read again and again at full speed.
// The wait doubles from the first to the last, so that a file made good, or a new one,
// still shows within seconds.
constexpr std::uint32_t fruitlessPassFirstWaitMs = 250;
constexpr std::uint32_t fruitlessPassLastWaitMs = 4000;
} // namespace

PictureShow::PictureShow(ShowCanvas& canvas, const SettingsChange& settings,
                         RememberedPicture remembered, std::uint32_t seed)
    : canvas_(canvas), settings_(settings.record), random_{seed},
      fruitlessPassWaitMs_(fruitlessPassFirstWaitMs) {
    state_.lastPictureName = remembered.name;
    state_.lastPictureSearchDone = remembered.searchDone;
    state_.skippedPictures = remembered.skipped;
    state_.pictureUnderDecode = remembered.underDecode;
    canvas_.useImagesFolder(settings.imagesFolder);
}

bool PictureShow::safePoint() {
    if (!canvas_.checkpoint())
        return false;
    SettingsChange change;
    if (canvas_.takeSettingsChange(change))
        apply(change);
    // Only between two whole steps, so a drop always plays with the ripple it began with
    // and the cycle goes on where it was.
    if (rebuildRipple_) {
        rebuildRipple_ = false;
        canvas_.releaseRipple();
        canvas_.prepareRipple(settings_.waveSize);
    }
    return true;
}

void PictureShow::apply(const SettingsChange& change) {
    if (change.what & SettingsChange::Record)
        settings_ = change.record;
    if (change.what & SettingsChange::ImagesFolder) {
        canvas_.useImagesFolder(change.imagesFolder);
        // The scan of the old folder ends here; the next picture opens the new one.
        canvas_.listing().close();
        state_.entryValid = false;
        passTried_ = passShown_ = false;
        fruitlessPassWaitMs_ = fruitlessPassFirstWaitMs;
    }
    if (change.what & SettingsChange::WaveSurface)
        rebuildRipple_ = true;
}

bool PictureShow::startPicture() {
    const auto load = [this](const char* fileName, PictureFormat format, bool cutBackground) {
        return canvas_.loadPicture(fileName, format, cutBackground);
    };
    if (startCycle(state_, canvas_.listing(), settings_, load)) {
        std::memset(revealMap_.cells, 0,
                    static_cast<std::size_t>(revealMap_.width) *
                        static_cast<std::size_t>(revealMap_.height));
        progress_ = RevealProgress();
        revealUnderway_ = false;
        const bool shown = state_.pictureStep == 0;
        canvas_.pictureStarted(shown);
        passTried_ = true;
        passShown_ = passShown_ || shown;
        if (shown)
            fruitlessPassWaitMs_ = fruitlessPassFirstWaitMs;
    }
    if (canvas_.listing().isOpen())
        return true;
    // The pass is over. One without a picture to try (an empty folder, the search for a
    // remembered picture) plays its cycle on the old picture and needs no wait.
    const bool fruitless = passTried_ && !passShown_;
    passTried_ = passShown_ = false;
    if (!fruitless)
        return true;
    const std::uint32_t wait = fruitlessPassWaitMs_;
    fruitlessPassWaitMs_ = std::min(wait * 2, fruitlessPassLastWaitMs);
    return canvas_.sleep(wait);
}

PictureShow::Step PictureShow::reveal() {
    const RevealRequest request = {revealMap_, state_.cutBackground, state_.scatterCount,
                                   state_.channelMap, settings_.psychedeliaLevel};
    const RevealDraw drawn = canvas_.revealStep(request, progress_, random_);
    revealUnderway_ = drawn == RevealDraw::Interrupted;
    switch (drawn) {
    case RevealDraw::NoSurface:
        // Any failure but a lost surface ends the show; the screen keeps its frame. Lost
        // ones are waited out, and the next picture shows.
        if (!canvas_.surfacesLost() || !canvas_.restoreSurfaces())
            return Step::End;
        state_.pictureStep = 0;
        progress_ = RevealProgress();
        return Step::Again;
    case RevealDraw::Interrupted:
        // A hold ended the step early: the safe point waits, then the step goes on and is
        // counted once it is whole.
        return Step::Again;
    case RevealDraw::Finished:
        break;
    }
    return canvas_.waitForNextRefresh() ? Step::Next : Step::End;
}

PictureShow::Step PictureShow::drop() {
    canvas_.dropStep(random_);
    // A blit or a device context refused during the drop: as for a reveal.
    if (!canvas_.surfacesLost())
        return Step::Next;
    if (!canvas_.restoreSurfaces())
        return Step::End;
    state_.pictureStep = 0;
    return Step::Again;
}

void PictureShow::run() {
    const std::int32_t width = canvas_.width();
    const std::int32_t height = canvas_.height();
    if (width <= 0 || height <= 0)
        return;
    const std::size_t cells = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    revealCells_.reset(new (std::nothrow) std::uint8_t[cells]());
    if (!revealCells_)
        return;
    revealMap_ = {revealCells_.get(), width, height};
    canvas_.prepareRipple(settings_.waveSize);

    while (safePoint()) {
        // The first step of a picture that a hold interrupted is not a new picture.
        const bool newPicture = state_.pictureStep == 0 && !revealUnderway_;
        // A picture loaded onto a lost surface would not show: the display comes back first.
        if (newPicture && canvas_.surfacesLost() && !canvas_.restoreSurfaces())
            break;
        if (newPicture && !startPicture())
            break;
        // A hold or stop that came while the walk or a decode was detached is answered here,
        // before any surface is touched.
        if (!safePoint())
            break;

        const StepAction action = stepActionFor(state_.pictureStep, settings_.dropPeriod);
        Step step = Step::Next;
        switch (action) {
        case StepAction::Reveal:
            step = reveal();
            break;
        case StepAction::Hold:
            step = canvas_.sleep(holdMilliseconds) ? Step::Next : Step::End;
            break;
        case StepAction::Drop:
            step = drop();
            break;
        case StepAction::Pass:
        case StepAction::Restart:
            break;
        }
        if (step == Step::End)
            break;
        if (step == Step::Next)
            state_.pictureStep = nextPictureStep(state_.pictureStep, action);
    }
    canvas_.listing().close();
}
