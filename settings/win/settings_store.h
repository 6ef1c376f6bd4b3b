// The settings record, its file in the install directory, and the remembered picture.
// Everything here runs on the main thread except imagesFolderFullPath, which the render
// thread also uses.
#pragma once

#include "engine/skipped_pictures.h"
#include "settings/settings_record.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What the settings files hold for one run. The session owns it; loaded before any other
// thread starts.
struct StoredSettings {
    SaverSettings record = {};
    // As the file holds it: may be relative to the install folder.
    std::string imagesFolder;
    // File name (no folder) of the picture on screen, NUL-terminated; the render thread
    // rewrites it with every picture.
    char lastPictureName[lastPictureNameSize] = {};
    // 0: the first scan must skip forward to lastPictureName; 1: nothing to look for.
    std::uint8_t lastPictureSearchDone = 0;
    // Pictures whose decode faulted in an earlier run, passed by while unchanged.
    SkippedPictures skippedPictures;
};

// Buffer sizes for reading "Install_Dir": the start-up read and the dialog's
// "Restore defaults" read.
constexpr std::size_t installDirReadSize = 255;
constexpr std::size_t installDirRestoreReadSize = 260;

// Reads "Install_Dir" into a buffer of bufferSize bytes (terminator included). False when
// the key or value is missing or the value does not fit.
bool readInstallDir(std::string& dir, std::size_t bufferSize = installDirReadSize);
// The saver's files are read and written by full path in the folder "Install_Dir" names,
// never through the current directory. An "Install_Dir" that is not a full path counts as
// missing.

// Fills the record, the images folder, the remembered picture and the pictures to pass by.
// False means the program must end at once.
bool loadSettings(StoredSettings& stored);
// How a save went: the file it was for and, when it failed, the system's error code.
struct SaveOutcome {
    std::string path; // the bare file name when the install folder cannot be told
    std::uint32_t error = 0;
    bool saved() const { return error == 0; }
};

// Writes the record and the images folder to "vellutor.set" in the install folder as the
// registry names it now, replacing the old file only once the new one is complete. Any
// failure (the install folder unknown, the file held or read-only, a full disk) leaves the
// old file untouched and is reported, so that the user can be told.
SaveOutcome saveSettings(const SaverSettings& record, const std::string& imagesFolder);
// Writes `name` (lastPictureNameSize bytes at most) with its NUL to "vellutor.fsl" in the
// install folder; silent on failure.
void writeRememberedPicture(const char* name);

// `folder`, as the settings file holds it, as a full path to list: a folder of the record's
// own is relative to the install folder. "" when there is none.
std::string imagesFolderFullPath(const std::string& folder);
