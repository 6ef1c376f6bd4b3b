// The render thread's walk through the images folder and the steps of a picture's cycle,
// over an abstract directory listing so that the walk runs without Windows.
#pragma once

#include "engine/channel_map.h"
#include "engine/show_settings.h"
#include "engine/skipped_pictures.h"
#include "pictures/picture_format.h"

#include <cstdint>
#include <functional>

// One scan of "*.*" in the images folder.
class FolderListing {
  public:
    virtual ~FolderListing() = default;
    // False when no scan is open: never opened, closed at its end, or closed for a new
    // images folder.
    virtual bool isOpen() const = 0;
    // Makes the images folder current and opens a new scan, filling the current entry. False
    // when there is no entry to look at; close() must still follow.
    virtual bool open() = 0;
    // The next entry; false at the end of the listing.
    virtual bool advance() = 0;
    // File name of the current entry, without folder.
    virtual const char* name() const = 0;
    // Size and last-write time of the current entry.
    virtual PictureStamp stamp() const = 0;
    // Ends the scan and leaves none open. A scan that never opened, or one already closed,
    // has nothing to release.
    virtual void close() = 0;
};

// Decodes the named file of the current directory, of the format the walk chose from its name,
// onto the picture surface: 0 when the picture now covers it, anything else when it was not
// shown.
using PictureLoader =
    std::function<std::int32_t(const char* fileName, PictureFormat format, bool cutBackground)>;

constexpr std::uint8_t revealStepCount = 13;
constexpr std::uint8_t holdStep = 13;
constexpr std::uint32_t holdMilliseconds = 2000;

// The render thread's own state across cycles.
struct CycleState {
    std::uint8_t pictureStep = 0;
    bool cutBackground = false;
    std::uint8_t scatterCount = 0;
    ChannelMap channelMap = channelMapFor(0);
    // Whether the listing's current entry is still to be looked at.
    bool entryValid = false;
    // The session's, loaded by the settings store; the shutdown saves the name:
    // lastPictureNameSize bytes, always NUL-terminated. Only a picture that was shown is
    // named there.
    char* lastPictureName = nullptr;
    std::uint8_t* lastPictureSearchDone = nullptr;
    // The session's too: pictures to pass by, and the one under decode for the fault
    // backstop. Either may be null.
    const SkippedPictures* skippedPictures = nullptr;
    PictureUnderDecode* pictureUnderDecode = nullptr;
};

// The cycle length actually played. Periods below the reveal and hold would never show a
// picture, so they are raised to the slider's range, and so are those above it.
std::uint8_t effectiveDropPeriod(std::uint8_t dropPeriod);

// Start of a cycle: takes blur and psychedelia from the settings, finds the next acceptable
// entry (first skipping to the remembered picture; passing by skipped pictures), loads it
// and, once it is loaded, records its name. True when an entry was accepted and handed to
// the loader, loaded or not: the caller then clears the reveal map. A failed load or a vain
// search for the remembered picture sets pictureStep to the drop period, so that the cycle
// ends at once.
bool startCycle(CycleState& state, FolderListing& listing, const SaverSettings& settings,
                const PictureLoader& loadPicture);

// Copies a file name into lastPictureName; names too long for it are cut short, so the
// buffer always keeps its NUL.
void storePictureName(char* lastPictureName, const char* fileName);

enum class StepAction {
    Restart, // the cycle is over; the next iteration starts a new one
    Reveal,  // one reveal step
    Hold,    // the 2-second pause of a cycle without drops
    Pass,    // the hold step of a cycle with drops: nothing happens
    Drop,    // one drop
};

// What the current pictureStep does, given the drop period read at this step.
StepAction stepActionFor(std::uint8_t pictureStep, std::uint8_t dropPeriod);
// pictureStep after the action.
std::uint8_t nextPictureStep(std::uint8_t pictureStep, StepAction action);
