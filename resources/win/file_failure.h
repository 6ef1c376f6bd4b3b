// Writing a file so that a failure never costs the old one, and telling the user in words
// which file could not be written and why.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct FilePiece {
    const void* data;
    DWORD size;
};

// Writes the pieces to a new file beside `path` and moves it over `path` once every byte is
// on disk, so a full disk, a quota or a crash never leaves a half-written file. ERROR_SUCCESS,
// or the system's code for the step that failed; the old file is then as it was and nothing
// is left beside it.
DWORD replaceFileContents(const std::string& path, const std::vector<FilePiece>& pieces);

// The system's own words for `error`, on one line; the number when it has none.
std::string systemReason(DWORD error);

// "<path>: <the system's reason>", a line of a message that names a file.
std::string fileAndReason(const std::string& path, DWORD error);

// String resource `id` of the program with %1, %2... replaced by `inserts` as they are.
std::string resourceText(UINT id, const std::vector<std::string>& inserts);
