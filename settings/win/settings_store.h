// The process-wide settings record, its file in the install directory, and the remembered
// picture. Everything here runs on the main thread except the images-folder accessors,
// which the render thread also uses.
#pragma once

#include "settings/settings_record.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The one record; the render thread gets its address.
extern SaverSettings saverSettings;
// File name (no folder) of the picture on screen, NUL-terminated.
extern char lastPictureName[lastPictureNameSize];
// 0: the first scan must skip forward to lastPictureName; 1: nothing to look for.
extern std::uint8_t lastPictureSearchDone;

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

// Fills the record, the images folder and the remembered picture. False means the program
// must end at once.
bool loadSettings();
// Writes the record and the images folder to "vellutor.set" in the install folder as the
// registry names it now, replacing the old file only once the new one is complete. A file
// that cannot be created or replaced, or an install folder that cannot be told, counts as
// success (nothing written anywhere); a write that delivers nothing is a failure and leaves
// the old file untouched.
bool saveSettings(const SaverSettings& record, const std::string& imagesFolder);
// The same for the process's record and folder.
bool saveSettings();
// Writes lastPictureName with its NUL to "vellutor.fsl" in the install folder; silent on
// failure.
void writeRememberedPicture();

// A copy of the images folder as the record holds it (and writes it back), safe against a
// concurrent replaceImagesFolder.
std::string imagesFolderPath();
// The images folder as a full path to list, a folder of the record's own relative to the
// install folder; "" when there is none.
std::string imagesFolderFullPath();
// `folder`, as the settings file holds it, as a full path to list; "" when there is none.
std::string imagesFolderFullPath(const std::string& folder);
void replaceImagesFolder(const std::string& folder);
