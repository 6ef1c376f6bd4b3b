#include "engine/folder_walk.h"

#include "engine/picture_endings.h"

#include <algorithm>
#include <cstring>

namespace {
// A scan closed for a new folder counts as the end of the folder.
bool advanceScan(FolderListing& listing) {
    return listing.isOpen() && listing.advance();
}

void endScan(CycleState& state, FolderListing& listing) {
    listing.close();
    state.entryValid = false;
}

bool isRememberedPicture(const char* entryName, const char* lastPictureName) {
    return std::strncmp(entryName, lastPictureName, lastPictureNameSize) == 0 &&
           std::strlen(entryName) < lastPictureNameSize;
}

// The format of an entry that may be shown, or none.
std::optional<PictureFormat> acceptedFormat(const CycleState& state, const FolderListing& listing,
                                            const SaverSettings& settings) {
    std::optional<PictureFormat> format = pictureFormatOf(listing.name());
    if (!format || settings.formats[*format].formatEnabled == 0)
        return std::nullopt;
    if (state.skippedPictures && state.skippedPictures->skips(listing.name(), listing.stamp()))
        return std::nullopt;
    return format;
}

// The loader's answer, with the entry marked as under decode meanwhile.
std::int32_t decode(const CycleState& state, const FolderListing& listing, PictureFormat format,
                    const PictureLoader& loadPicture) {
    PictureUnderDecode* marked = state.pictureUnderDecode;
    if (marked) {
        const char* name = listing.name();
        const std::size_t length = std::min(std::strlen(name), skippedNameSize - 1);
        std::memset(marked->picture.name, 0, skippedNameSize);
        std::memcpy(marked->picture.name, name, length);
        marked->picture.stamp = listing.stamp();
        marked->underway.store(true, std::memory_order_release);
    }
    const std::int32_t result = loadPicture(listing.name(), format, state.cutBackground);
    if (marked)
        marked->underway.store(false, std::memory_order_release);
    return result;
}
} // namespace

std::uint8_t effectiveDropPeriod(std::uint8_t dropPeriod) {
    if (dropPeriod < dropPeriodMin)
        return dropPeriodMin;
    if (dropPeriod > dropPeriodMax)
        return dropPeriodMax;
    return dropPeriod;
}

void storePictureName(char* lastPictureName, const char* fileName) {
    std::memset(lastPictureName, 0, lastPictureNameSize);
    std::size_t length = std::strlen(fileName);
    if (length > lastPictureNameSize - 1)
        length = lastPictureNameSize - 1;
    std::memcpy(lastPictureName, fileName, length);
}

bool startCycle(CycleState& state, FolderListing& listing, const SaverSettings& settings,
                const PictureLoader& loadPicture) {
    state.scatterCount = settings.blurLevel;
    state.channelMap = channelMapFor(settings.psychedeliaLevel);

    if (!listing.isOpen())
        state.entryValid = listing.open();
    if (!state.entryValid) {
        endScan(state, listing);
        return false;
    }

    while (*state.lastPictureSearchDone == 0) {
        if (isRememberedPicture(listing.name(), state.lastPictureName)) {
            *state.lastPictureSearchDone = 1;
            break;
        }
        if (!advanceScan(listing)) {
            // The remembered picture is gone: this cycle shows nothing, the next one starts
            // from the folder's first entry.
            *state.lastPictureSearchDone = 1;
            state.pictureStep = effectiveDropPeriod(settings.dropPeriod);
            endScan(state, listing);
            return false;
        }
    }

    std::optional<PictureFormat> format;
    while (!(format = acceptedFormat(state, listing, settings))) {
        if (!advanceScan(listing)) {
            endScan(state, listing);
            return false;
        }
    }

    state.cutBackground = settings.formats[*format].formatCutBackground != 0;
    if (decode(state, listing, *format, loadPicture) == 0)
        storePictureName(state.lastPictureName, listing.name());
    else
        state.pictureStep = effectiveDropPeriod(settings.dropPeriod);

    if (!advanceScan(listing))
        endScan(state, listing);
    return true;
}

StepAction stepActionFor(std::uint8_t pictureStep, std::uint8_t dropPeriod) {
    std::uint8_t period = effectiveDropPeriod(dropPeriod);
    if (pictureStep >= period)
        return StepAction::Restart;
    if (pictureStep < revealStepCount)
        return StepAction::Reveal;
    if (pictureStep == holdStep)
        return period == dropPeriodMin ? StepAction::Hold : StepAction::Pass;
    return StepAction::Drop;
}

std::uint8_t nextPictureStep(std::uint8_t pictureStep, StepAction action) {
    if (action == StepAction::Restart)
        return 0;
    return static_cast<std::uint8_t>(pictureStep + 1);
}
