#include "settings/win/settings_store.h"

#include "resources/win/file_failure.h"
#include "resources/win/scoped.h"
#include "settings/install_paths.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// A hand-made settings file could claim gigabytes; no Windows path is longer than this.
constexpr DWORD maxFolderBytes = 0x10000;

ScopedHandle openExisting(const std::string& path) {
    return ScopedHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Size of an open file, or -1 when it cannot be taken.
LONGLONG fileSize(HANDLE file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

// Bytes delivered by one read; reads are judged by this alone.
DWORD readBytes(HANDLE file, void* buffer, DWORD size) {
    DWORD delivered = 0;
    if (!ReadFile(file, buffer, size, &delivered, nullptr))
        return 0;
    return delivered;
}

void applyDefaults(StoredSettings& stored, const std::string& installDir) {
    SaverSettings record = defaultSettings();
    // Keeps whatever the display set-up has not touched yet: 0 at start-up.
    record.videoMode = stored.record.videoMode;
    stored.record = record;
    stored.imagesFolder = defaultImagesFolder(installDir);
    stored.lastPictureSearchDone = 1;
}

// The install folder as the registry names it now, when it is a full path: the saver's files
// are never looked for relative to the current directory.
bool readFullInstallDir(std::string& dir) {
    return readInstallDir(dir) && isFullFolderPath(dir);
}

// One of the saver's files in the install folder; "" when the folder cannot be told, and
// then nothing is written anywhere.
std::string installFilePath(const char* name) {
    std::string dir;
    return readFullInstallDir(dir) ? pathInFolder(dir, name) : std::string();
}

// Fills the remembered name from "vellutor.fsl"; false when there is nothing to look for.
bool loadRememberedPicture(const std::string& installDir, char* lastPictureName) {
    ScopedHandle file = openExisting(pathInFolder(installDir, rememberedPictureFileName));
    if (!file)
        return false;
    LONGLONG size = fileSize(file.get());
    if (size < static_cast<LONGLONG>(rememberedPictureMinSize))
        return false;
    std::uint8_t buffer[lastPictureNameSize];
    DWORD delivered = readBytes(file.get(), buffer, sizeof buffer);
    std::string name = parseRememberedPicture(buffer, delivered);
    // An empty name matches no file: searching for it would skip the whole first scan.
    if (name.empty())
        return false;
    std::memset(lastPictureName, 0, lastPictureNameSize);
    std::memcpy(lastPictureName, name.data(), name.size());
    return true;
}

// Whatever the file holds, at most its budget is read and only well-formed records are kept.
SkippedPictures loadSkippedPictures(const std::string& installDir) {
    ScopedHandle file = openExisting(pathInFolder(installDir, skippedPicturesFileName));
    if (!file)
        return {};
    std::vector<std::uint8_t> buffer(skippedPicturesFileMax);
    DWORD delivered = readBytes(file.get(), buffer.data(), DWORD(buffer.size()));
    return parseSkippedPictures(buffer.data(), delivered);
}

} // namespace

bool readInstallDir(std::string& dir, std::size_t bufferSize) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingsRegistryKey, 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS)
        return false;
    ScopedRegKey key(opened);
    // One spare byte: a value stored without its terminator still ends within the buffer.
    std::vector<char> buffer(bufferSize + 1, '\0');
    DWORD size = static_cast<DWORD>(bufferSize);
    if (RegQueryValueExA(key.get(), installDirValueName, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return false;
    // The value's bytes are taken as a C string whatever its registry type.
    std::size_t length = strnlen(buffer.data(), size);
    if (length >= bufferSize)
        return false; // no room left for the terminator
    dir.assign(buffer.data(), length);
    return true;
}

bool loadSettings(StoredSettings& stored) {
    std::string installDir;
    if (!readFullInstallDir(installDir))
        return false;
    stored.skippedPictures = loadSkippedPictures(installDir);

    ScopedHandle file = openExisting(pathInFolder(installDir, settingsFileName));
    LONGLONG size = file ? fileSize(file.get()) : -1;
    if (size < static_cast<LONGLONG>(settingsRecordSize)) {
        applyDefaults(stored, installDir);
        return true;
    }

    LONGLONG folderBytes = size - static_cast<LONGLONG>(settingsRecordSize);
    DWORD folderRead = folderBytes > maxFolderBytes ? maxFolderBytes : DWORD(folderBytes);
    std::vector<std::uint8_t> data(settingsRecordSize + folderRead);
    DWORD blockA = readBytes(file.get(), data.data(), settingsBlockSize);
    if (blockA == 0)
        return false;
    DWORD blockB = readBytes(file.get(), data.data() + settingsBlockSize, settingsBlockSize);
    if (blockB == 0 || blockA + blockB != settingsRecordSize)
        return false;
    // A 16-byte file has no path to read: the program must not start with it.
    DWORD folderDelivered =
        folderRead ? readBytes(file.get(), data.data() + settingsRecordSize, folderRead) : 0;
    if (folderDelivered == 0)
        return false;
    file.reset();

    SettingsFileContents contents =
        parseSettingsFile(data.data(), settingsRecordSize + folderDelivered);
    stored.record = contents.record;
    stored.imagesFolder = contents.imagesFolder;

    stored.lastPictureSearchDone = 1;
    if (stored.record.rememberPicture == 1 &&
        loadRememberedPicture(installDir, stored.lastPictureName))
        stored.lastPictureSearchDone = 0;
    return true;
}

SaveOutcome saveSettings(const SaverSettings& record, const std::string& imagesFolder) {
    std::vector<std::uint8_t> bytes = serializeSettings(record, imagesFolder);
    std::vector<FilePiece> pieces = {
        {bytes.data(), settingsBlockSize},
        {bytes.data() + settingsBlockSize, settingsBlockSize},
        {bytes.data() + settingsRecordSize, DWORD(bytes.size() - settingsRecordSize)},
    };
    SaveOutcome outcome;
    outcome.path = installFilePath(settingsFileName);
    if (outcome.path.empty()) {
        // No install folder to write into: the user is told, the file named by its name.
        outcome.path = settingsFileName;
        outcome.error = ERROR_PATH_NOT_FOUND;
        return outcome;
    }
    outcome.error = replaceFileContents(outcome.path, pieces);
    return outcome;
}

void writeRememberedPicture(const char* lastPictureName) {
    // Always terminated, even if the buffer was filled to its last byte.
    char name[lastPictureNameSize];
    std::size_t length = strnlen(lastPictureName, lastPictureNameSize - 1);
    std::memcpy(name, lastPictureName, length);
    name[length] = '\0';
    std::string path = installFilePath(rememberedPictureFileName);
    if (!path.empty())
        replaceFileContents(path, {{name, DWORD(length + 1)}});
}

std::string imagesFolderFullPath(const std::string& folder) {
    std::string installDir;
    if (!readFullInstallDir(installDir))
        installDir.clear();
    return fullImagesFolder(folder, installDir);
}
