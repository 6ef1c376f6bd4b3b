// The screen-saver command line: run mode flags and the preview's host window.
// Portable: no Windows header.
#pragma once

#include <cstdint>

struct CommandLine {
    bool saverFlag = false;   // an s or S anywhere
    bool previewFlag = false; // a p or P anywhere
    // Every decimal digit of the line in order, at most 9 of them; 0 when there are none.
    std::uint32_t windowNumber = 0;
};

// `arguments` is the line without the program's own path.
CommandLine parseCommandLine(const char* arguments);
