// What every renderer's canvas does the same way, whatever it draws on: the safe points and
// sleeps of its render thread, the dialog's settings changes, and the images folder walked
// with its file-system calls detached. A canvas for a kind of display derives from it and
// draws; it lives on the render thread for the show's life.
#pragma once

#include "engine/picture_show.h"
#include "engine/reveal.h"
#include "engine/win/renderer.h"
#include "pictures/win/picture_loader.h"
#include "resources/win/scoped.h"

#include <windows.h>

#include <string>

// The reveal asks the render control before every row.
class ControlStop : public RevealStop {
  public:
    explicit ControlStop(const RenderControl& control) : control_(control) {}
    bool requested() const override { return control_.shouldPause(); }

  private:
    const RenderControl& control_;
};

// The images folder as the folder walk sees it. Only the render thread uses it: a new folder
// from the dialog reaches it through the show, between two steps.
class ImagesFolderListing : public FolderListing {
  public:
    explicit ImagesFolderListing(Renderer::FolderResolver fullFolder) : fullFolder_(fullFolder) {}
    void useFolder(const std::string& folder) { folder_ = folder; }
    bool isOpen() const override { return static_cast<bool>(scan_); }
    bool open() override;
    bool advance() override { return scan_ && FindNextFileA(scan_.get(), &entry_); }
    const char* name() const override { return entry_.cFileName; }
    PictureStamp stamp() const override {
        return {(std::uint64_t(entry_.nFileSizeHigh) << 32) | entry_.nFileSizeLow,
                (std::uint64_t(entry_.ftLastWriteTime.dwHighDateTime) << 32) |
                    entry_.ftLastWriteTime.dwLowDateTime};
    }
    void close() override { scan_.reset(); }
    // The full path of an entry of the scanned folder.
    std::string pathOf(const char* fileName) const;

  private:
    Renderer::FolderResolver fullFolder_;
    std::string folder_;  // as the settings file holds it
    std::string scanned_; // the full path of the folder the scan lists
    ScopedFind scan_;
    WIN32_FIND_DATAA entry_ = {};
};

// The walk's file-system calls detached: on a slow share or a huge folder opening the scan
// or the next entry can take seconds. They use only the listing, which the thread owns. A
// stop asked for meanwhile ends the walk as if the folder had ended.
class DetachedListing : public FolderListing {
  public:
    DetachedListing(FolderListing& inner, RenderControl& control)
        : inner_(inner), control_(control) {}
    bool isOpen() const override { return inner_.isOpen(); }
    bool open() override;
    bool advance() override;
    const char* name() const override { return inner_.name(); }
    PictureStamp stamp() const override { return inner_.stamp(); }
    void close() override { inner_.close(); }

  private:
    FolderListing& inner_;
    RenderControl& control_;
};

// Reads and decodes a picture detached from the render control, and alone among the
// session's renderers: the gate is given back before the thread may park.
class RenderDecodeFence : public DecodeFence {
  public:
    RenderDecodeFence(RenderControl& control, DecodeGate& gate) : control_(control), gate_(gate) {}
    void detach() const override {
        control_.detach();
        gate_.enter();
    }
    bool attach() const override {
        gate_.leave();
        return control_.attach();
    }

  private:
    RenderControl& control_;
    DecodeGate& gate_;
};

class RendererCanvas : public ShowCanvas {
  public:
    explicit RendererCanvas(Renderer& renderer)
        : renderer_(renderer), folder_(renderer.folderResolver()),
          walk_(folder_, renderer.control()), fence_(renderer.control(), renderer.decodeGate()),
          stop_(renderer.control()) {}

    bool checkpoint() override { return control().checkpoint(); }
    bool takeSettingsChange(SettingsChange& change) override {
        return renderer_.settings().take(change);
    }
    FolderListing& listing() override { return walk_; }
    void useImagesFolder(const std::string& folder) override { folder_.useFolder(folder); }
    bool sleep(std::uint32_t ms) override { return control().sleep(ms); }

  protected:
    // The picture the listing stands on, as `width` x `height` of this canvas would fit it.
    ShelfKey shelfKey(const char* fileName, bool cutBackground) const {
        return {pathOf(fileName), walk_.stamp(), width(), height(), cutBackground};
    }
    // Copies the picture from the session's shelf into `to`; false when it is not there.
    bool copyFromShelf(PictureFormat format, const ShelfKey& key, const SurfaceView& to) {
        SharedPictureShelf* shelf = renderer_.pictureShelf();
        return shelf && shelvable(format) && shelf->copyTo(key, to);
    }
    // Leaves a copy of the fitted picture for the screens that come to it later.
    void putOnShelf(PictureFormat format, const ShelfKey& key, const SurfaceView& from,
                    std::size_t screenCount) {
        SharedPictureShelf* shelf = renderer_.pictureShelf();
        if (shelf && shelvable(format))
            shelf->put(key, from, screenCount);
    }
    // A reveal step as the show asks for it, ending early when the render control asks.
    RevealOptions revealOptions(const RevealRequest& request, RandomGenerator& random) const {
        return {request.cutBackground,
                request.scatterCount,
                request.channelMap,
                request.psychedeliaLevel,
                &stop_,
                &random};
    }
    Renderer& renderer() { return renderer_; }
    RenderControl& control() { return renderer_.control(); }
    std::string pathOf(const char* fileName) const { return folder_.pathOf(fileName); }
    const DecodeFence& decodeFence() const { return fence_; }

  private:
    Renderer& renderer_;
    ImagesFolderListing folder_;
    DetachedListing walk_;
    RenderDecodeFence fence_;
    ControlStop stop_;
};
