#include "settings/settings_record.h"

#include <algorithm>
#include <cstring>

SaverSettings defaultSettings() {
    SaverSettings record{};
    record.dropPeriod = 15;
    record.psychedeliaLevel = 0;
    record.blurLevel = 1;
    record.rememberPicture = 0;
    record.wallpaperGenerator = 0;
    record.waveSize = 2;
    record.videoMode = 0;
    record.formats[FormatBmp] = {1, 0};
    record.formats[FormatGif] = {1, 1};
    record.formats[FormatJpeg] = {1, 0};
    record.formats[FormatEmf] = {0, 0};
    return record;
}

std::string defaultImagesFolder(const std::string& installDir) {
    return installDir + "\\images\\";
}

namespace {

std::uint8_t clampLevel(std::uint8_t value, std::uint8_t low, std::uint8_t high) {
    return std::min(std::max(value, low), high);
}

std::uint8_t checkBox(std::uint8_t value) {
    return value != 0 ? 1 : 0;
}

} // namespace

SaverSettings clampSettings(const SaverSettings& record) {
    SaverSettings out = record;
    out.dropPeriod = clampLevel(record.dropPeriod, dropPeriodMin, dropPeriodMax);
    out.psychedeliaLevel = clampLevel(record.psychedeliaLevel, 0, psychedeliaMax);
    out.blurLevel = clampLevel(record.blurLevel, 0, blurMax);
    out.waveSize = clampLevel(record.waveSize, 0, waveSizeMax);
    out.rememberPicture = checkBox(record.rememberPicture);
    out.wallpaperGenerator = checkBox(record.wallpaperGenerator);
    for (FormatSwitches& format : out.formats) {
        format.formatEnabled = checkBox(format.formatEnabled);
        format.formatCutBackground = checkBox(format.formatCutBackground);
    }
    return out;
}

SettingsFileContents parseSettingsFile(const std::uint8_t* data, std::size_t size) {
    SettingsFileContents contents{SettingsFileStatus::UseDefaults, defaultSettings(), {}};
    if (size < settingsRecordSize)
        return contents;
    if (size == settingsRecordSize) {
        contents.status = SettingsFileStatus::Broken;
        return contents;
    }

    // Byte by byte, so the file's little-endian videoMode does not depend on the host.
    SaverSettings record{};
    record.dropPeriod = data[0];
    record.psychedeliaLevel = data[1];
    record.blurLevel = data[2];
    record.rememberPicture = data[3];
    record.wallpaperGenerator = data[4];
    record.waveSize = data[5];
    record.videoMode = static_cast<std::uint16_t>(data[6] | (data[7] << 8));
    for (int i = 0; i < pictureFormatCount; ++i) {
        record.formats[i].formatEnabled = data[settingsBlockSize + 2 * i];
        record.formats[i].formatCutBackground = data[settingsBlockSize + 2 * i + 1];
    }
    contents.record = clampSettings(record);

    // A hand-made file may lack the terminator: the path then ends with the data.
    const char* path = reinterpret_cast<const char*>(data + settingsRecordSize);
    std::size_t pathBytes = size - settingsRecordSize;
    const void* nul = std::memchr(path, '\0', pathBytes);
    std::size_t length = nul ? static_cast<const char*>(nul) - path : pathBytes;
    contents.imagesFolder.assign(path, length);
    contents.status = SettingsFileStatus::Loaded;
    return contents;
}

std::vector<std::uint8_t> serializeSettings(const SaverSettings& record,
                                            const std::string& imagesFolder) {
    std::vector<std::uint8_t> bytes(settingsRecordSize);
    bytes[0] = record.dropPeriod;
    bytes[1] = record.psychedeliaLevel;
    bytes[2] = record.blurLevel;
    bytes[3] = record.rememberPicture;
    bytes[4] = record.wallpaperGenerator;
    bytes[5] = record.waveSize;
    bytes[6] = static_cast<std::uint8_t>(record.videoMode & 0xFF);
    bytes[7] = static_cast<std::uint8_t>(record.videoMode >> 8);
    for (int i = 0; i < pictureFormatCount; ++i) {
        bytes[settingsBlockSize + 2 * i] = record.formats[i].formatEnabled;
        bytes[settingsBlockSize + 2 * i + 1] = record.formats[i].formatCutBackground;
    }
    // The path as the C string it is read back as: up to its first NUL, then one NUL.
    const char* path = imagesFolder.c_str();
    std::size_t length = std::strlen(path);
    bytes.resize(settingsRecordSize + length + 1);
    std::memcpy(bytes.data() + settingsRecordSize, path, length + 1);
    return bytes;
}

std::string parseRememberedPicture(const std::uint8_t* data, std::size_t size) {
    if (size < rememberedPictureMinSize)
        return {};
    // Longer files are cut: the name keeps its first 255 characters.
    std::size_t limit = std::min(size, lastPictureNameSize - 1);
    const char* name = reinterpret_cast<const char*>(data);
    const void* nul = std::memchr(name, '\0', limit);
    std::size_t length = nul ? static_cast<const char*>(nul) - name : limit;
    return std::string(name, length);
}
