// How the shows of several screens keep apart: screen k starts k pictures further on in the
// listing than the first screen, and its pictures change a share of a cycle earlier, so that
// at any moment the screens show different pictures and do not all change at once.
#pragma once

#include "engine/folder_walk.h"
#include "engine/show_settings.h"
#include "engine/skipped_pictures.h"

#include <cstdint>

// The listing of screen `screenIndex` (0 for the first screen, which needs none): its first
// open() goes on to the remembered picture, where there is one, and then past
// `screenIndex` pictures that `settings` would show and the walk would not pass by, starting
// over at the folder's end. The walk then finds the remembered search done and takes the
// entry it stands on. Later opens pass straight through.
class StaggeredListing : public FolderListing {
  public:
    // `inner`, `settings`, the remembered picture and `skipped` (may be null) outlive the
    // listing.
    StaggeredListing(FolderListing& inner, std::uint32_t screenIndex, const SaverSettings& settings,
                     char* lastPictureName, std::uint8_t* lastPictureSearchDone,
                     const SkippedPictures* skipped = nullptr);

    bool isOpen() const override { return inner_.isOpen(); }
    bool open() override;
    bool advance() override { return inner_.advance(); }
    const char* name() const override { return inner_.name(); }
    PictureStamp stamp() const override { return inner_.stamp(); }
    void close() override { inner_.close(); }

  private:
    bool findRemembered();
    bool isShownPicture() const;
    // The next entry, starting over once at the folder's end; false when the folder has no
    // entry left at all.
    bool step(bool& startedOver);

    FolderListing& inner_;
    std::uint32_t skip_;
    const SaverSettings& settings_;
    char* lastPictureName_;
    std::uint8_t* lastPictureSearchDone_;
    const SkippedPictures* skipped_;
};

// How long the first picture of screen `screenIndex` (of `screenCount`) stands still in
// place of its drops, or of its hold in a cycle without drops: its first cycle is then
// shorter by the screen's share of one cycle, so its picture changes come that much before
// the first screen's. Ahead by at most one picture, k pictures further on: with more
// pictures than screens no two screens show the same one.
std::uint32_t firstPictureStillMs(std::uint32_t screenIndex, std::uint32_t screenCount,
                                  const SaverSettings& settings);
// One cycle at `settings`, as a display of 60 Hz plays it.
std::uint32_t cycleMilliseconds(const SaverSettings& settings);
