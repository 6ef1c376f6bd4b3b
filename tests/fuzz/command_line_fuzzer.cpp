// Feeds arbitrary text to the command-line parser and checks it against a plain recount of
// the letters and digits.
#include "host/command_line.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The system hands over a C string: the line ends at the first NUL.
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.c_str();
    CommandLine parsed = parseCommandLine(line.c_str());

    bool saver = line.find_first_of("sS") != std::string::npos;
    bool preview = line.find_first_of("pP") != std::string::npos;
    std::uint64_t number = 0;
    int digits = 0;
    for (char c : line)
        if (c >= '0' && c <= '9' && digits < 9) {
            number = number * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
        }
    if (parsed.saverFlag != saver || parsed.previewFlag != preview || parsed.windowNumber != number)
        std::abort();
    return 0;
}
