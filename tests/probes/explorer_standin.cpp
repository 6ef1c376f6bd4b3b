// Stands in for explorer.exe: records the command line it was started with in
// "explorer-command.txt" next to itself, so a test can see what the saver asked for, and
// leaves "explorer-started-<process id>.txt" there too, so a test can count the starts.
#include "resources/win/scoped.h"

#include <cstring>
#include <string>

int main() {
    char self[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
    if (length == 0 || length >= sizeof(self))
        return 1;
    std::string record(self, length);
    const std::string folder = record.substr(0, record.find_last_of('\\') + 1);
    record = folder + "explorer-command.txt";
    const std::string started =
        folder + "explorer-started-" + std::to_string(GetCurrentProcessId()) + ".txt";
    ScopedHandle marker(CreateFileA(started.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
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
