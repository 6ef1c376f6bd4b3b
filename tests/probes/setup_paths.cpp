// Answers path questions the setup tests need, one "key=value" line each:
//   localappdata     the user's local application data folder
//   long PATH        PATH with every short (8.3) name spelled out, or "long=" when missing
//   short PATH       PATH as GetShortPathNameA gives it
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    char path[MAX_PATH * 2] = "";
    if (argc == 2 && std::strcmp(argv[1], "localappdata") == 0) {
        if (FAILED(
                SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
            return 1;
        std::printf("localappdata=%s\n", path);
    } else if (argc == 3 && std::strcmp(argv[1], "long") == 0) {
        DWORD length = GetLongPathNameA(argv[2], path, sizeof path);
        std::printf("long=%s\n", length && length < sizeof path ? path : "");
    } else if (argc == 3 && std::strcmp(argv[1], "short") == 0) {
        DWORD length = GetShortPathNameA(argv[2], path, sizeof path);
        std::printf("short=%s\n", length && length < sizeof path ? path : "");
    } else {
        return 2;
    }
    return 0;
}
