// Saves the settings over and over, alternating two folders, so that a test can kill the
// process at any moment of a save and look at what is left of "vellutor.set".
//   save_loop FOLDER_A FOLDER_B
// Prints "saving" once the first save has been made, then "saved N" every 50 saves.
#include "settings/win/settings_store.h"

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    SaverSettings record = defaultSettings();
    for (unsigned long n = 0;; ++n) {
        record.blurLevel = static_cast<std::uint8_t>(n % 2 ? 7 : 3);
        if (!saveSettings(record, argv[1 + n % 2]).saved()) {
            std::printf("failed %lu\n", n);
            return 1;
        }
        if (n == 0)
            std::printf("saving\n");
        else if (n % 50 == 0)
            std::printf("saved %lu\n", n);
        std::fflush(stdout);
    }
}
