// The images folder as a show's folder walk sees it, through FindFirstFileA/FindNextFileA.
#pragma once

#include "engine/folder_walk.h"
#include "resources/win/scoped.h"

#include <windows.h>

#include <string>

// Only the render thread that owns it uses it: a new folder from the dialog reaches it
// through the show, between two steps.
class ImagesFolderListing : public FolderListing {
  public:
    // `fullFolder` turns the folder as the settings file holds it into a full path to list.
    explicit ImagesFolderListing(std::string (*fullFolder)(const std::string&))
        : fullFolder_(fullFolder) {}
    void useFolder(const std::string& folder) { folder_ = folder; }
    bool isOpen() const override { return static_cast<bool>(scan_); }
    bool open() override;
    bool advance() override { return scan_ && FindNextFileA(scan_.get(), &entry_); }
    const char* name() const override { return entry_.cFileName; }
    void close() override { scan_.reset(); }
    // The full path of an entry of the scanned folder.
    std::string pathOf(const char* fileName) const;

  private:
    std::string (*fullFolder_)(const std::string&);
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
    explicit DetachedListing(FolderListing& inner) : inner_(inner) {}
    bool isOpen() const override { return inner_.isOpen(); }
    bool open() override;
    bool advance() override;
    const char* name() const override { return inner_.name(); }
    void close() override { inner_.close(); }

  private:
    FolderListing& inner_;
};
