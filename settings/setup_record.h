// The record setup keeps in the install folder of what it installed: which files, how long,
// and a hash of the bytes it wrote, so that /uninstall takes away only files that are still
// exactly what setup put there. Portable and pure: the reader is tested and fuzzed natively.
//
// The file is text, lines ending in CR LF:
//   Vellutor setup record 1
//   <size in decimal><TAB><FNV-1a 64 of the bytes, 16 lower-case hex digits><TAB><name>
//   ...
// A name is relative to the install folder: a plain file name, or one inside "images".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr char setupRecordFileName[] = "vellutor-setup.rec";
constexpr char setupRecordSignature[] = "Vellutor setup record 1";
// The one folder inside the install folder that setup writes to.
constexpr char setupImagesFolder[] = "images";
// No record setup writes comes near this; a larger file is not read.
constexpr std::size_t setupRecordMaxBytes = 1 << 20;

struct SetupRecordEntry {
    std::string name; // relative to the install folder
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
};

enum class SetupRecordStatus {
    NotARecord, // no signature line: not written by this setup
    Read,       // every line was understood
    Damaged,    // signature present, some lines skipped; `entries` holds the good ones
};

struct SetupRecord {
    SetupRecordStatus status = SetupRecordStatus::NotARecord;
    std::vector<SetupRecordEntry> entries;
};

// FNV-1a, 64 bits, of the bytes; `hash` carries it across pieces.
constexpr std::uint64_t fnv1a64Start = 0xcbf29ce484222325ULL;
std::uint64_t fnv1a64(const void* data, std::size_t size, std::uint64_t hash = fnv1a64Start);

// Whether `name` may stand in a record: a file of the install folder or of its "images"
// folder, with no way out of it (no "..", drive, root, stream or device name).
bool isSetupRecordName(const std::string& name);

SetupRecord parseSetupRecord(const std::string& bytes);
std::string formatSetupRecord(const std::vector<SetupRecordEntry>& entries);
