// How the shows of several screens keep apart: screen k starts k pictures further on in the
// listing than the first screen, and its pictures change a share of a cycle later, so that
// at any moment the screens show different pictures and do not all change at once.
#pragma once

#include "engine/folder_walk.h"
#include "engine/show_settings.h"

#include <cstdint>

// The listing of screen `screenIndex` (0 for the first screen, which needs none): its first
// open() goes on to the remembered picture, where there is one, and then past
// `screenIndex` pictures that `settings` would show, starting over at the folder's end. The
// walk then finds the remembered search done and takes the entry it stands on. Later opens
// pass straight through.
class StaggeredListing : public FolderListing {
  public:
    // `inner`, `settings` and the remembered picture outlive the listing.
    StaggeredListing(FolderListing& inner, std::uint32_t screenIndex, const SaverSettings& settings,
                     char* lastPictureName, std::uint8_t* lastPictureSearchDone);

    bool isOpen() const override { return inner_.isOpen(); }
    bool open() override;
    bool advance() override { return inner_.advance(); }
    const char* name() const override { return inner_.name(); }
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
};

// How long screen `screenIndex` of `screenCount` holds its first picture before its drops
// begin: its share of one cycle at `settings`, so that the screens' picture changes spread
// over the cycle. 0 for the first screen.
std::uint32_t staggerMilliseconds(std::uint32_t screenIndex, std::uint32_t screenCount,
                                  const SaverSettings& settings);
