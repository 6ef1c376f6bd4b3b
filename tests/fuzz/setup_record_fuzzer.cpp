// Feeds arbitrary bytes to the reader of setup's record: every entry it keeps must name a
// file inside the install folder, and what it reads must come back the same once rewritten.
#include "settings/setup_record.h"
#include "tests/fuzz/fuzz_require.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace {

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    SetupRecord record = parseSetupRecord(bytes);
    if (record.status == SetupRecordStatus::NotARecord) {
        require(record.entries.empty());
        return 0;
    }
    for (const SetupRecordEntry& entry : record.entries) {
        require(isSetupRecordName(entry.name));
        require(entry.name.find(':') == std::string::npos);
        require(entry.name.find('/') == std::string::npos);
        require(entry.name[0] != '\\');
        // At most one folder, and it is "images": never "..", a drive or a share.
        std::size_t separator = entry.name.find('\\');
        require(separator == std::string::npos ||
                lowerCase(entry.name.substr(0, separator)) == "images");
        require(separator == std::string::npos ||
                entry.name.find('\\', separator + 1) == std::string::npos);
    }
    SetupRecord again = parseSetupRecord(formatSetupRecord(record.entries));
    require(again.status == SetupRecordStatus::Read);
    require(again.entries.size() == record.entries.size());
    for (std::size_t i = 0; i < again.entries.size(); ++i) {
        require(again.entries[i].name == record.entries[i].name);
        require(again.entries[i].size == record.entries[i].size);
        require(again.entries[i].hash == record.entries[i].hash);
    }
    return 0;
}
