#include "settings/setup_record.h"

#include <cctype>

namespace {

constexpr std::uint64_t fnv1a64Prime = 0x100000001b3ULL;
constexpr std::size_t hashDigits = 16;
constexpr std::size_t sizeDigitsMax = 19; // below 2^63: no overflow while reading
constexpr std::size_t recordNameMax = 200;

const char* const deviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",    "COM1",    "COM2",  "COM3",
                                   "COM4", "COM5", "COM6", "COM7",   "COM8",    "COM9",  "LPT1",
                                   "LPT2", "LPT3", "LPT4", "LPT5",   "LPT6",    "LPT7",  "LPT8",
                                   "LPT9", "COM0", "LPT0", "CONIN$", "CONOUT$", "CLOCK$"};

bool equalsNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

// One component: a name Windows would take as an ordinary file in the folder.
bool isPlainFileName(const std::string& name) {
    if (name.empty() || name.size() > recordNameMax)
        return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return false;
        switch (c) {
        case '<':
        case '>':
        case ':':
        case '"':
        case '/':
        case '\\':
        case '|':
        case '?':
        case '*':
            return false;
        default:
            break;
        }
    }
    // Windows drops trailing dots and blanks, so "a." would open "a"; "." and ".." end so.
    if (name.back() == '.' || name.back() == ' ')
        return false;
    // Device names are devices with any extension and trailing blanks: "nul.txt", "CON ".
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (const char* device : deviceNames)
        if (equalsNoCase(stem, device))
            return false;
    return true;
}

bool parseSize(const std::string& text, std::uint64_t& size) {
    if (text.empty() || text.size() > sizeDigitsMax || (text.size() > 1 && text[0] == '0'))
        return false;
    size = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

bool parseHash(const std::string& text, std::uint64_t& hash) {
    if (text.size() != hashDigits)
        return false;
    hash = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        hash = (hash << 4) | static_cast<std::uint64_t>(digit);
    }
    return true;
}

bool parseEntry(const std::string& line, SetupRecordEntry& entry) {
    std::size_t first = line.find('\t');
    std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos)
        return false;
    entry.name = line.substr(second + 1);
    return parseSize(line.substr(0, first), entry.size) &&
           parseHash(line.substr(first + 1, second - first - 1), entry.hash) &&
           isSetupRecordName(entry.name);
}

std::string hexOf(std::uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text(hashDigits, '0');
    for (std::size_t i = hashDigits; i-- > 0; value >>= 4)
        text[i] = digits[value & 0xf];
    return text;
}

} // namespace

std::uint64_t fnv1a64(const void* data, std::size_t size, std::uint64_t hash) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= fnv1a64Prime;
    }
    return hash;
}

bool isSetupRecordName(const std::string& name) {
    std::size_t separator = name.find('\\');
    if (separator == std::string::npos)
        return isPlainFileName(name);
    return equalsNoCase(name.substr(0, separator), setupImagesFolder) &&
           isPlainFileName(name.substr(separator + 1));
}

SetupRecord parseSetupRecord(const std::string& bytes) {
    SetupRecord record;
    if (bytes.size() > setupRecordMaxBytes)
        return record;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    if (lines.empty() || lines[0] != setupRecordSignature)
        return record;
    record.status = SetupRecordStatus::Read;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        SetupRecordEntry entry;
        if (parseEntry(lines[i], entry))
            record.entries.push_back(entry);
        else
            record.status = SetupRecordStatus::Damaged;
    }
    return record;
}

std::string formatSetupRecord(const std::vector<SetupRecordEntry>& entries) {
    std::string text = std::string(setupRecordSignature) + "\r\n";
    for (const SetupRecordEntry& entry : entries)
        text += std::to_string(entry.size) + "\t" + hexOf(entry.hash) + "\t" + entry.name + "\r\n";
    return text;
}
