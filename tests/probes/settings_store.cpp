// Runs the settings store in-process and prints what it saw, one "key=value" per line.
//   load                      loadSettings; cwdBefore and cwd tell whether it moved
//   save HEX32 FOLDER         fills the record and folder, saveSettings: result, file, error
//   remember NAME             writeRememberedPicture with NAME
//   imagesfolder FOLDER       the folder the render thread would list for FOLDER
//   installdir SIZE           readInstallDir with a buffer of SIZE bytes
//   hold FILE MS              keeps FILE open (read access, read sharing) for MS ms
#include "settings/win/settings_store.h"

#include "resources/win/scoped.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void printRecord(const SaverSettings& record) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    std::printf("record=");
    for (std::size_t i = 0; i < sizeof record; ++i)
        std::printf("%02x", bytes[i]);
    std::printf("\n");
}

void printCurrentDirectory(const char* key) {
    char dir[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, dir);
    std::printf("%s=%s\n", key, dir);
}

bool parseRecord(const char* hex, SaverSettings& record) {
    if (std::strlen(hex) != 2 * sizeof record)
        return false;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) {
        char pair[3] = {hex[2 * i], hex[2 * i + 1], 0};
        char* end = nullptr;
        bytes[i] = static_cast<unsigned char>(std::strtoul(pair, &end, 16));
        if (*end)
            return false;
    }
    return true;
}

int load() {
    printCurrentDirectory("cwdBefore");
    StoredSettings stored;
    bool loaded = loadSettings(stored);
    std::printf("load=%d\n", loaded ? 1 : 0);
    printRecord(stored.record);
    std::printf("folder=%s\n", stored.imagesFolder.c_str());
    std::printf("lastPicture=%s\n", stored.lastPictureName);
    std::printf("searchDone=%d\n", stored.lastPictureSearchDone);
    printCurrentDirectory("cwd");
    return 0;
}

int save(const char* hex, const char* folder) {
    SaverSettings record = {};
    if (!parseRecord(hex, record))
        return 2;
    const SaveOutcome outcome = saveSettings(record, folder);
    std::printf("save=%d\nsavedTo=%s\nsaveError=%lu\n", outcome.saved() ? 1 : 0,
                outcome.path.c_str(), static_cast<unsigned long>(outcome.error));
    return 0;
}

int remember(const char* name) {
    char lastPictureName[lastPictureNameSize];
    std::snprintf(lastPictureName, sizeof lastPictureName, "%s", name);
    writeRememberedPicture(lastPictureName);
    std::printf("remembered=1\n");
    return 0;
}

int hold(const char* file, DWORD ms) {
    ScopedHandle held(CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    std::printf("held=%d\n", held ? 1 : 0);
    std::fflush(stdout);
    Sleep(ms);
    return held ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    int result = 2;
    if (command == "load")
        result = load();
    else if (command == "save" && argc == 4)
        result = save(argv[2], argv[3]);
    else if (command == "remember" && argc == 3)
        result = remember(argv[2]);
    else if (command == "imagesfolder" && argc == 3) {
        std::printf("listed=%s\n", imagesFolderFullPath(argv[2]).c_str());
        result = 0;
    } else if (command == "installdir" && argc == 3) {
        std::string dir;
        bool read = readInstallDir(dir, std::strtoul(argv[2], nullptr, 10));
        std::printf("read=%d\ndir=%s\n", read ? 1 : 0, dir.c_str());
        result = 0;
    } else if (command == "hold" && argc == 4)
        result = hold(argv[2], std::strtoul(argv[3], nullptr, 10));
    else
        std::fprintf(stderr, "unknown command\n");
    std::fflush(stdout);
    return result;
}
