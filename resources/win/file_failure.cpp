#include "resources/win/file_failure.h"

#include "resources/win/scoped.h"

namespace {

// New contents are written here first and renamed over the real file once complete.
constexpr char replacementSuffix[] = ".new";
// Longer than any message the program has.
constexpr int resourceTextCapacity = 1024;

struct LocalTraits : PlainTraits<char*, nullptr> {
    static void close(char* text) { LocalFree(text); }
};
using ScopedLocalText = Scoped<LocalTraits>;

// The error of the call that just failed; a write that stopped short sets none.
DWORD lastErrorOr(DWORD otherwise) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : otherwise;
}

DWORD writeAll(const std::string& path, const std::vector<FilePiece>& pieces) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return lastErrorOr(ERROR_OPEN_FAILED);
    for (const FilePiece& piece : pieces) {
        DWORD written = 0;
        SetLastError(ERROR_SUCCESS);
        if (!WriteFile(file.get(), piece.data, piece.size, &written, nullptr) ||
            written != piece.size)
            return lastErrorOr(ERROR_DISK_FULL);
    }
    return FlushFileBuffers(file.get()) ? ERROR_SUCCESS : lastErrorOr(ERROR_WRITE_FAULT);
}

} // namespace

DWORD replaceFileContents(const std::string& path, const std::vector<FilePiece>& pieces) {
    const std::string temporary = path + replacementSuffix;
    DWORD error = writeAll(temporary, pieces);
    if (error == ERROR_SUCCESS && !MoveFileExA(temporary.c_str(), path.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = lastErrorOr(ERROR_ACCESS_DENIED);
    if (error != ERROR_SUCCESS)
        DeleteFileA(temporary.c_str());
    return error;
}

std::string systemReason(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    ScopedLocalText owned(text);
    std::string reason = length ? std::string(text, length) : std::string();
    while (!reason.empty() &&
           (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
        reason.pop_back();
    return reason.empty() ? "Error " + std::to_string(error) + "." : reason;
}

std::string fileAndReason(const std::string& path, DWORD error) {
    return path + ": " + systemReason(error);
}

std::string resourceText(UINT id, const std::vector<std::string>& inserts) {
    char pattern[resourceTextCapacity];
    if (LoadStringA(GetModuleHandleA(nullptr), id, pattern, resourceTextCapacity) <= 0)
        return std::string();
    std::vector<DWORD_PTR> arguments;
    for (const std::string& insert : inserts)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
    // Inserts are taken as they are: a "%" in a file name is no format.
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        pattern, 0, 0, reinterpret_cast<char*>(&text), 0,
        reinterpret_cast<va_list*>(arguments.data()));
    ScopedLocalText owned(text);
    return length ? std::string(text, length) : std::string(pattern);
}
