// The settings record and the layouts of "vellutor.set" and "vellutor.fsl".
// Portable: no Windows header, so the file rules are tested natively.
#pragma once

#include "engine/show_settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

static_assert(sizeof(SaverSettings) == 16, "the settings record is 16 bytes");
static_assert(offsetof(SaverSettings, waveSize) == 5, "block A layout");
static_assert(offsetof(SaverSettings, videoMode) == 6, "block A layout");
static_assert(offsetof(SaverSettings, formats) == 8, "block B starts at byte 8");

// Ranges of the dialog's sliders.
constexpr std::uint8_t psychedeliaMax = 5;
constexpr std::uint8_t blurMax = 10;
constexpr std::uint8_t waveSizeMax = 4;
constexpr std::uint16_t videoModeNoSelection = 0xFFFF;

constexpr std::size_t settingsBlockSize = 8;
constexpr std::size_t settingsRecordSize = 16;
// A "vellutor.fsl" shorter than this names no picture.
constexpr std::size_t rememberedPictureMinSize = 3;

// Where the settings live: the registry names the install directory, which holds the files.
constexpr char settingsRegistryKey[] = "Software\\Vellutor";
constexpr char installDirValueName[] = "Install_Dir";
constexpr char settingsFileName[] = "vellutor.set";
constexpr char rememberedPictureFileName[] = "vellutor.fsl";
// Pictures whose decode faulted, written by the fault backstop.
constexpr char skippedPicturesFileName[] = "vellutor.skp";

SaverSettings defaultSettings();
// "Install_Dir" followed by "\images\".
std::string defaultImagesFolder(const std::string& installDir);
// Pulls hand-made values back into the slider ranges and check boxes to 0 or 1.
SaverSettings clampSettings(const SaverSettings& record);

enum class SettingsFileStatus {
    UseDefaults, // shorter than the record: treated as no file
    Broken,      // exactly the record and no path: the program must not start
    Loaded,
};

struct SettingsFileContents {
    SettingsFileStatus status;
    SaverSettings record;     // clamped; the defaults unless Loaded
    std::string imagesFolder; // up to the first NUL, or to the end of the data
};

SettingsFileContents parseSettingsFile(const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> serializeSettings(const SaverSettings& record,
                                            const std::string& imagesFolder);

// The remembered picture from the bytes of "vellutor.fsl": empty when the file names no
// picture. A longer file or one without a NUL is cut to its first 255 characters, so the
// name always fits lastPictureName with its NUL.
std::string parseRememberedPicture(const std::uint8_t* data, std::size_t size);
