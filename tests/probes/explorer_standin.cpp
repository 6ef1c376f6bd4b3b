// Stands in for explorer.exe beside the saver: records the command line it was started with
// in "explorer-command.txt" next to itself, so a test can see what the saver asked for.
#include "host/win/scoped.h"

#include <cstring>
#include <string>

int main() {
    char self[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
    if (length == 0 || length >= sizeof(self))
        return 1;
    std::string record(self, length);
    record = record.substr(0, record.find_last_of('\\') + 1) + "explorer-command.txt";
    ScopedHandle file(CreateFileA(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return 1;
    const char* commandLine = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file.get(), commandLine, static_cast<DWORD>(std::strlen(commandLine)), &written,
              nullptr);
    return 0;
}
