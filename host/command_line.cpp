#include "host/command_line.h"

CommandLine parseCommandLine(const char* arguments) {
    CommandLine line;
    char digits[10] = {};
    int digitCount = 0;
    for (const char* c = arguments; c && *c; ++c) {
        switch (*c) {
        case 's':
        case 'S':
            line.saverFlag = true;
            break;
        case 'p':
        case 'P':
            line.previewFlag = true;
            break;
        default:
            if (*c >= '0' && *c <= '9' && digitCount < 9)
                digits[digitCount++] = *c;
        }
    }
    for (int i = 0; i < digitCount; ++i)
        line.windowNumber = line.windowNumber * 10 + static_cast<std::uint32_t>(digits[i] - '0');
    return line;
}
