#include "engine/staggered_start.h"

#include "engine/drop_geometry.h"
#include "engine/picture_endings.h"

#include <cstring>

namespace {

// The rate the cycle's length is reckoned at; a slower display only stretches every share.
constexpr std::uint64_t framesPerSecond = 60;

} // namespace

StaggeredListing::StaggeredListing(FolderListing& inner, std::uint32_t screenIndex,
                                   const SaverSettings& settings, char* lastPictureName,
                                   std::uint8_t* lastPictureSearchDone,
                                   const SkippedPictures* skipped)
    : inner_(inner), skip_(screenIndex), settings_(settings), lastPictureName_(lastPictureName),
      lastPictureSearchDone_(lastPictureSearchDone), skipped_(skipped) {}

bool StaggeredListing::isShownPicture() const {
    const std::optional<PictureFormat> format = pictureFormatOf(inner_.name());
    return format && settings_.formats[*format].formatEnabled != 0 &&
           !(skipped_ && skipped_->skips(inner_.name(), inner_.stamp()));
}

bool StaggeredListing::step(bool& startedOver) {
    if (inner_.advance())
        return true;
    startedOver = true;
    return inner_.open();
}

// A remembered picture that is gone leaves the listing at its first entry.
bool StaggeredListing::findRemembered() {
    *lastPictureSearchDone_ = 1;
    do {
        if (std::strncmp(inner_.name(), lastPictureName_, lastPictureNameSize) == 0)
            return true;
    } while (inner_.advance());
    return inner_.open();
}

bool StaggeredListing::open() {
    if (skip_ == 0)
        return inner_.open();
    if (!inner_.open())
        return false; // tried again at the next open
    if (*lastPictureSearchDone_ == 0 && !findRemembered())
        return false;
    // Where the first screen's show starts: the first picture from here on, then `skip_`
    // more. A folder without one is left where the search stopped, for the walk to end.
    std::uint32_t found = 0;
    std::uint32_t startsOver = 0;
    const std::uint32_t wanted = skip_ + 1;
    // Each pass over a folder with a picture finds one; more passes find nothing.
    while (startsOver <= wanted) {
        if (isShownPicture() && ++found == wanted)
            break;
        bool startedOver = false;
        if (!step(startedOver))
            return false;
        if (startedOver)
            ++startsOver;
    }
    skip_ = 0;
    *lastPictureSearchDone_ = 1;
    return true;
}

namespace {

// What follows the reveal in one cycle: the hold, or the drops.
std::uint64_t afterRevealMs(const SaverSettings& settings) {
    const std::uint8_t period = effectiveDropPeriod(settings.dropPeriod);
    if (period == dropPeriodMin)
        return holdMilliseconds;
    const std::uint64_t frames =
        static_cast<std::uint64_t>(period - holdStep - 1) *
        static_cast<std::uint64_t>(framesPerDrop(dropPresetFor(settings.waveSize)));
    return frames * 1000 / framesPerSecond;
}

} // namespace

std::uint32_t cycleMilliseconds(const SaverSettings& settings) {
    return static_cast<std::uint32_t>(revealStepCount * 1000 / framesPerSecond +
                                      afterRevealMs(settings));
}

std::uint32_t firstPictureStillMs(std::uint32_t screenIndex, std::uint32_t screenCount,
                                  const SaverSettings& settings) {
    const std::uint64_t still = afterRevealMs(settings);
    if (screenCount < 2)
        return static_cast<std::uint32_t>(still);
    const std::uint64_t lead =
        std::uint64_t(cycleMilliseconds(settings)) * (screenIndex % screenCount) / screenCount;
    return static_cast<std::uint32_t>(lead < still ? still - lead : 0);
}
