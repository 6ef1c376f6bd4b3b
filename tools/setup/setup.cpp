// Per-user setup for Vellutor: copies the saver and the sample pictures out of this program's
// own resources into a folder under the user's profile, writes the registry value the saver
// reads to find that folder, and makes Vellutor the user's screen saver. /uninstall takes
// back exactly what it made. No administrator rights are needed or asked for.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "resources/win/scoped.h"
#include "settings/install_paths.h"
#include "settings/monitor_setting.h"
#include "settings/settings_record.h"
#include "settings/setup_record.h"
#include "tools/setup/setup_ids.h"

namespace {

constexpr char setupCaption[] = "Vellutor Setup";
constexpr char desktopKey[] = "Control Panel\\Desktop";
constexpr char saverValue[] = "SCRNSAVE.EXE";
constexpr char saverActiveValue[] = "ScreenSaveActive";
// Under settingsRegistryKey: the screen saver values found at the first install, kept so that
// /uninstall can give them back. The mark says they were looked at; a value that did not
// exist then has no copy.
constexpr char previousSavedMark[] = "Setup_Previous_Saved";
constexpr char previousPrefix[] = "Setup_Previous_";
constexpr const char* desktopValuesToKeep[] = {saverValue, saverActiveValue};

constexpr char programsFolder[] = "Programs";
constexpr char productFolder[] = "Vellutor";
constexpr char imagesFolder[] = "images";
constexpr char saverFile[] = "vellutor.scr";
// The list of installed files that setup wrote before it kept a record: bare names, no
// signature, so any other program's file of that name looks the same.
constexpr char legacyRecordFile[] = "setup.lst";
constexpr char newFileSuffix[] = ".new";

// The saver reads "Install_Dir" into 255 bytes, terminator included.
constexpr size_t installDirLimit = 254;

constexpr char quietSwitch[] = "/quiet";
constexpr char quietShortSwitch[] = "/q";
constexpr char uninstallSwitch[] = "/uninstall";
constexpr char folderSwitch[] = "/dir";
constexpr char usageText[] = "Usage: vellutor-setup [/quiet] [/uninstall] [/dir FOLDER]\n\n"
                             "/quiet\tno messages; the result is the exit code\n"
                             "/uninstall\tremove Vellutor\n"
                             "/dir FOLDER\tinstall into FOLDER instead of the usual place";

constexpr char folderFormText[] =
    "The folder for /dir must be a full path that starts with a drive letter, such as "
    "C:\\Vellutor. Network paths (\\\\server\\share), paths that start with \\\\?\\ "
    "or \\\\.\\ and paths relative to a drive (C:Vellutor) are not accepted:";

enum ExitCode { exitSuccess = 0, exitFailure = 1, exitUsage = 2 };

struct Options {
    bool quiet = false;
    bool uninstall = false;
    std::string folder; // empty: the usual place
};

struct Payload {
    const void* data = nullptr;
    DWORD size = 0;
};

struct Sample {
    std::string name;
    Payload payload;
};

// --- small helpers ------------------------------------------------------------------------

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1,
                                                  b.c_str(), -1) == CSTR_EQUAL;
}

std::string systemErrorText(DWORD error) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length ? std::string(text, length) : "error " + std::to_string(error);
    if (text)
        LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result;
}

// A failure message in plain words: what failed, the path, and what Windows said.
std::string failure(const char* what, const std::string& path, DWORD error) {
    std::string text = std::string("Setup could not ") + what + ":\n" + path;
    if (error != ERROR_SUCCESS)
        text += "\n\n" + systemErrorText(error);
    return text;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

bool isFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// --- command line -------------------------------------------------------------------------

std::vector<std::string> commandLineWords(const char* line) {
    std::vector<std::string> words;
    const char* at = line;
    while (*at) {
        while (*at == ' ' || *at == '\t')
            ++at;
        if (!*at)
            break;
        std::string word;
        bool quoted = false;
        for (; *at && (quoted || (*at != ' ' && *at != '\t')); ++at) {
            if (*at == '"')
                quoted = !quoted;
            else
                word += *at;
        }
        words.push_back(word);
    }
    return words;
}

bool isSwitch(const std::string& word, const char* name) {
    // "-quiet" is taken as well as "/quiet".
    return !word.empty() && (word[0] == '/' || word[0] == '-') &&
           equalNoCase("/" + word.substr(1), name);
}

// Reads every word, so that /quiet holds even when another word is not understood.
bool parseOptions(const char* line, Options& options) {
    std::vector<std::string> words = commandLineWords(line);
    bool understood = true;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (isSwitch(word, quietSwitch) || isSwitch(word, quietShortSwitch))
            options.quiet = true;
        else if (isSwitch(word, uninstallSwitch))
            options.uninstall = true;
        else if (isSwitch(word, folderSwitch) && i + 1 < words.size() && !words[i + 1].empty())
            options.folder = words[++i];
        else
            understood = false;
    }
    return understood;
}

// --- resources ----------------------------------------------------------------------------

bool findPayload(int id, Payload& payload) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10)); // RCDATA
    if (!found)
        return false;
    HGLOBAL loaded = LoadResource(nullptr, found); // module memory: nothing to free
    payload.data = loaded ? LockResource(loaded) : nullptr;
    payload.size = SizeofResource(nullptr, found);
    return payload.data != nullptr;
}

std::vector<Sample> embeddedSamples() {
    std::vector<Sample> samples;
    for (int id = SAMPLE_FIRST_ID;; ++id) {
        char name[MAX_PATH];
        Sample sample;
        if (LoadStringA(nullptr, id, name, sizeof name) <= 0 || !findPayload(id, sample.payload))
            break;
        sample.name = name;
        samples.push_back(sample);
    }
    return samples;
}

// --- files --------------------------------------------------------------------------------

// Writes all of `payload` into a new file; a file that exists is left alone (false, with
// ERROR_FILE_EXISTS) unless `replace`. A short write removes the half-written file.
bool writeFile(const std::string& path, const Payload& payload, bool replace, DWORD& error) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                  replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) {
        error = GetLastError();
        return false;
    }
    DWORD written = 0;
    bool whole = WriteFile(file.get(), payload.data, payload.size, &written, nullptr) &&
                 written == payload.size;
    error = whole ? ERROR_SUCCESS : GetLastError();
    if (whole && !FlushFileBuffers(file.get())) {
        whole = false;
        error = GetLastError();
    }
    file.reset();
    if (!whole) {
        DeleteFileA(path.c_str());
        if (error == ERROR_SUCCESS)
            error = ERROR_WRITE_FAULT;
    }
    return whole;
}

// Replaces `path` as a whole: the new bytes go into a side file first, so that a failed
// write leaves the old file as it was.
bool replaceFile(const std::string& path, const Payload& payload, DWORD& error) {
    std::string side = path + newFileSuffix;
    if (!writeFile(side, payload, true, error))
        return false;
    if (!MoveFileExA(side.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        DeleteFileA(side.c_str());
        return false;
    }
    return true;
}

bool canRead(const std::string& path) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

bool readFile(const std::string& path, std::string& contents) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (64 << 20))
        return false;
    contents.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return contents.empty() || (ReadFile(file.get(), &contents[0],
                                         static_cast<DWORD>(contents.size()), &read, nullptr) &&
                                read == contents.size());
}

// Length of the part of a full path that names a drive or share, never created here.
size_t rootLength(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return 3;
    if (path.compare(0, 2, "\\\\") == 0) {
        size_t server = path.find('\\', 2);
        size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        return share == std::string::npos ? path.size() : share + 1;
    }
    return 0;
}

// Creates the folder and every missing folder above it.
bool makeFolders(const std::string& folder, std::string& problem) {
    for (size_t at = rootLength(folder); at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '\\')
            continue;
        std::string part = folder.substr(0, at);
        if (part.size() <= rootLength(folder) || isFolder(part))
            continue;
        if (!CreateDirectoryA(part.c_str(), nullptr) && !isFolder(part)) {
            problem = failure("create the folder", part, GetLastError());
            return false;
        }
    }
    return true;
}

// --- registry -----------------------------------------------------------------------------

ScopedRegKey openKey(const char* path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, access, &key) != ERROR_SUCCESS)
        return ScopedRegKey();
    return ScopedRegKey(key);
}

ScopedRegKey createKey(const char* path, LONG& status) {
    HKEY key = nullptr;
    status = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                             &key, nullptr);
    return status == ERROR_SUCCESS ? ScopedRegKey(key) : ScopedRegKey();
}

struct RegValue {
    DWORD type = REG_NONE;
    std::string data;
};

bool readValue(HKEY key, const char* name, RegValue& value) {
    DWORD size = 0;
    if (!key || RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    value.data.assign(size, '\0');
    if (size && RegQueryValueExA(key, name, nullptr, &value.type,
                                 reinterpret_cast<BYTE*>(&value.data[0]), &size) != ERROR_SUCCESS)
        return false;
    value.data.resize(size);
    return true;
}

// A string value without its terminator(s), or "" when missing.
std::string readString(HKEY key, const char* name) {
    RegValue value;
    if (!readValue(key, name, value) || (value.type != REG_SZ && value.type != REG_EXPAND_SZ))
        return std::string();
    return value.data.substr(0, value.data.find('\0'));
}

LONG writeValue(HKEY key, const char* name, const RegValue& value) {
    return RegSetValueExA(key, name, 0, value.type,
                          reinterpret_cast<const BYTE*>(value.data.data()),
                          static_cast<DWORD>(value.data.size()));
}

LONG writeString(HKEY key, const char* name, const std::string& text) {
    return writeValue(key, name, RegValue{REG_SZ, std::string(text.c_str(), text.size() + 1)});
}

bool keyIsEmpty(HKEY key) {
    DWORD subkeys = 0, values = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

std::string registryProblem(const char* what, const char* key, const char* value, LONG status) {
    return failure(what, std::string("HKEY_CURRENT_USER\\") + key + " \"" + value + "\"",
                   static_cast<DWORD>(status));
}

// --- where to install ---------------------------------------------------------------------

std::string defaultFolder() {
    char base[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, base)))
        return std::string();
    return joinPath(joinPath(base, programsFolder), productFolder);
}

// The folder as a full path without trailing backslash, or "" when it names no folder that
// could hold the saver (a drive's root, a relative or malformed path).
std::string normalFolder(const std::string& folder) {
    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return std::string();
    std::string path(full, length);
    while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    bool rootOnly = path.size() <= 2 || path.find('\\') == std::string::npos;
    return rootOnly ? std::string() : path;
}

std::string installedDir() {
    ScopedRegKey key = openKey(settingsRegistryKey, KEY_QUERY_VALUE);
    return readString(key.get(), installDirValueName);
}

std::string chooseFolder(const Options& options);

// The longest path setup creates inside the folder, relative to it.
size_t longestInsidePath(const std::vector<Sample>& samples) {
    size_t longest = std::strlen(saverFile) + std::strlen(newFileSuffix);
    for (const Sample& sample : samples)
        longest = std::max(longest, std::strlen(imagesFolder) + 1 + sample.name.size());
    return std::max(longest, std::strlen(setupRecordFileName) + std::strlen(newFileSuffix));
}

bool checkFolderLength(const std::string& folder, const std::vector<Sample>& samples,
                       std::string& problem) {
    if (folder.size() > installDirLimit) {
        problem = "The install folder's path is too long: it has " + std::to_string(folder.size()) +
                  " characters, and Vellutor can read at most " + std::to_string(installDirLimit) +
                  ".\n\n" + folder + "\n\nChoose a shorter folder.";
        return false;
    }
    if (folder.size() + 1 + longestInsidePath(samples) >= MAX_PATH) {
        problem = "The install folder's path is too long: the files inside it would have "
                  "paths longer than Windows allows (" +
                  std::to_string(MAX_PATH - 1) + " characters).\n\n" + folder +
                  "\n\nChoose a shorter folder.";
        return false;
    }
    return true;
}

// The saver's path as the Screen Saver page writes it: the short form where there is one.
std::string screenSaverPath(const std::string& scrPath) {
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(scrPath.c_str(), shortPath, sizeof shortPath);
    return length > 0 && length < sizeof shortPath ? std::string(shortPath, length) : scrPath;
}

std::string longPath(const std::string& path) {
    char full[MAX_PATH];
    DWORD length = GetLongPathNameA(path.c_str(), full, sizeof full);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

// --- the record of what setup installed ----------------------------------------------------

// Whether this setup may take files out of a folder, and which.
enum class Ownership {
    None,   // not Vellutor's: nothing in it is touched
    Record, // setup's record names what it wrote
    Legacy, // an install by the setup before the record, recognised by the registry
};

struct Installed {
    Ownership ownership = Ownership::None;
    std::vector<SetupRecordEntry> entries;
    bool foreignRecordFile = false; // a file of the record's name that setup did not write
};

SetupRecordEntry entryFor(const std::string& name, const Payload& payload) {
    return {name, payload.size, fnv1a64(payload.data, payload.size)};
}

// Whether the file still holds exactly what the entry says was written.
bool fileMatches(const std::string& folder, const SetupRecordEntry& entry) {
    std::string contents;
    return readFile(joinPath(folder, entry.name), contents) && contents.size() == entry.size &&
           fnv1a64(contents.data(), contents.size()) == entry.hash;
}

void forget(std::vector<SetupRecordEntry>& entries, const std::string& name) {
    entries.erase(
        std::remove_if(entries.begin(), entries.end(),
                       [&](const SetupRecordEntry& e) { return equalNoCase(e.name, name); }),
        entries.end());
}

// An install by the setup program before the record came: its list has no signature, and so
// looks like any other program's "setup.lst". It is taken for Vellutor's only where the
// registry names the folder and the saver is there; then only the saver and the samples that
// are still byte for byte what this setup ships count as installed.
bool isLegacyInstall(const std::string& folder) {
    std::string registered = installedDir();
    return isFullFolderPath(registered) && equalNoCase(normalFolder(registered), folder) &&
           isFile(joinPath(folder, legacyRecordFile)) && isFile(joinPath(folder, saverFile));
}

std::vector<SetupRecordEntry> legacyEntries(const std::string& folder,
                                            const std::vector<Sample>& samples) {
    std::vector<SetupRecordEntry> entries;
    std::string saver;
    if (readFile(joinPath(folder, saverFile), saver))
        entries.push_back(entryFor(saverFile, Payload{saver.data(), DWORD(saver.size())}));
    for (const Sample& sample : samples) {
        SetupRecordEntry entry = entryFor(joinPath(imagesFolder, sample.name), sample.payload);
        if (isSetupRecordName(entry.name) && fileMatches(folder, entry))
            entries.push_back(entry);
    }
    return entries;
}

Installed readInstalled(const std::string& folder, const std::vector<Sample>& samples) {
    Installed installed;
    std::string path = joinPath(folder, setupRecordFileName);
    std::string contents;
    if (isFile(path)) {
        SetupRecord record = readFile(path, contents) ? parseSetupRecord(contents) : SetupRecord();
        if (record.status == SetupRecordStatus::NotARecord) {
            installed.foreignRecordFile = true;
            return installed;
        }
        installed.ownership = Ownership::Record;
        installed.entries = record.entries;
    } else if (isLegacyInstall(folder)) {
        installed.ownership = Ownership::Legacy;
        installed.entries = legacyEntries(folder, samples);
    }
    return installed;
}

std::string chooseFolder(const Options& options) {
    if (!options.folder.empty())
        return options.folder;
    std::string current = installedDir();
    if (!isFullFolderPath(current))
        return defaultFolder();
    if (options.uninstall)
        return current;
    // An upgrade goes where setup installed before; a folder it did not make is not reused.
    std::string folder = normalFolder(current);
    bool setupMadeIt =
        !folder.empty() && readInstalled(folder, embeddedSamples()).ownership != Ownership::None;
    return setupMadeIt ? current : defaultFolder();
}

bool writeRecord(const std::string& folder, const std::vector<SetupRecordEntry>& entries,
                 std::string& problem) {
    std::string text = formatSetupRecord(entries);
    Payload payload{text.data(), static_cast<DWORD>(text.size())};
    DWORD error = ERROR_SUCCESS;
    std::string path = joinPath(folder, setupRecordFileName);
    if (!replaceFile(path, payload, error)) {
        problem = failure("write the list of installed files", path, error);
        return false;
    }
    return true;
}

// --- install ------------------------------------------------------------------------------

bool installSaver(const std::string& folder, std::vector<SetupRecordEntry>& entries,
                  std::string& problem) {
    Payload saver;
    if (!findPayload(IDR_SAVER, saver)) {
        problem = "This setup program is damaged: it does not carry vellutor.scr.";
        return false;
    }
    std::string path = joinPath(folder, saverFile);
    DWORD error = ERROR_SUCCESS;
    if (!replaceFile(path, saver, error)) {
        problem = failure("write the screen saver", path, error);
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
            problem += "\n\nIf Vellutor is running (or its settings are open), close it and "
                       "run setup again.";
        return false;
    }
    forget(entries, saverFile);
    entries.push_back(entryFor(saverFile, saver));
    return true;
}

// Adds the samples that are missing. A file of the same name that setup did not put there,
// or that was changed since, is the user's: it is neither overwritten nor recorded.
bool installSamples(const std::string& folder, const std::vector<Sample>& samples,
                    std::vector<SetupRecordEntry>& entries, std::string& problem) {
    std::string images = joinPath(folder, imagesFolder);
    if (!makeFolders(images, problem))
        return false;
    for (const Sample& sample : samples) {
        std::string entry = joinPath(imagesFolder, sample.name);
        std::string path = joinPath(folder, entry);
        DWORD error = ERROR_SUCCESS;
        if (writeFile(path, sample.payload, false, error)) {
            forget(entries, entry);
            entries.push_back(entryFor(entry, sample.payload));
        } else if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            problem = failure("write the sample picture", path, error);
            return false;
        }
    }
    return true;
}

// Keeps the user's screen saver values once, at the first install, for /uninstall.
bool keepPreviousSaver(HKEY vellutor, std::string& problem) {
    RegValue mark;
    if (readValue(vellutor, previousSavedMark, mark))
        return true;
    ScopedRegKey desktop = openKey(desktopKey, KEY_QUERY_VALUE);
    for (const char* name : desktopValuesToKeep) {
        RegValue previous;
        if (!readValue(desktop.get(), name, previous))
            continue;
        std::string copyName = std::string(previousPrefix) + name;
        if (LONG status = writeValue(vellutor, copyName.c_str(), previous)) {
            problem = registryProblem("keep the previous screen saver setting", settingsRegistryKey,
                                      copyName.c_str(), status);
            return false;
        }
    }
    DWORD one = 1;
    if (LONG status = RegSetValueExA(vellutor, previousSavedMark, 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&one), sizeof one)) {
        problem = registryProblem("keep the previous screen saver setting", settingsRegistryKey,
                                  previousSavedMark, status);
        return false;
    }
    return true;
}

bool registerSaver(const std::string& folder, std::string& problem) {
    LONG status = ERROR_SUCCESS;
    ScopedRegKey vellutor = createKey(settingsRegistryKey, status);
    if (!vellutor) {
        problem = registryProblem("open the registry key", settingsRegistryKey, installDirValueName,
                                  status);
        return false;
    }
    if ((status = writeString(vellutor.get(), installDirValueName, folder))) {
        problem = registryProblem("write", settingsRegistryKey, installDirValueName, status);
        return false;
    }
    if (!keepPreviousSaver(vellutor.get(), problem))
        return false;
    ScopedRegKey desktop = createKey(desktopKey, status);
    if (!desktop) {
        problem = registryProblem("open the registry key", desktopKey, saverValue, status);
        return false;
    }
    std::string scr = screenSaverPath(joinPath(folder, saverFile));
    if ((status = writeString(desktop.get(), saverValue, scr))) {
        problem = registryProblem("write", desktopKey, saverValue, status);
        return false;
    }
    if ((status = writeString(desktop.get(), saverActiveValue, "1"))) {
        problem = registryProblem("write", desktopKey, saverActiveValue, status);
        return false;
    }
    // Tell the running session too; the registry alone is read at the next logon.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
    return true;
}

bool install(const std::string& folder, std::string& problem) {
    std::vector<Sample> samples = embeddedSamples();
    if (!checkFolderLength(folder, samples, problem))
        return false;
    if (isFile(folder)) {
        problem = failure("create the install folder, because a file of that name exists", folder,
                          ERROR_SUCCESS);
        return false;
    }
    Installed installed = readInstalled(folder, samples);
    if (installed.foreignRecordFile) {
        problem = "Setup will not install into\n" + folder + "\n\nIt holds a file named " +
                  setupRecordFileName + " that this setup program did not write.";
        return false;
    }
    if (!makeFolders(folder, problem))
        return false;
    // What was changed or removed since the last install is no longer setup's.
    std::vector<SetupRecordEntry> entries;
    for (const SetupRecordEntry& entry : installed.entries)
        if (fileMatches(folder, entry))
            entries.push_back(entry);
    // The record is written after each step, so that /uninstall finds whatever was made.
    if (!(installSaver(folder, entries, problem) && writeRecord(folder, entries, problem) &&
          installSamples(folder, samples, entries, problem) &&
          writeRecord(folder, entries, problem)))
        return false;
    // The old list has been taken over by the record.
    if (installed.ownership == Ownership::Legacy)
        DeleteFileA(joinPath(folder, legacyRecordFile).c_str());
    return registerSaver(folder, problem);
}

// --- uninstall ----------------------------------------------------------------------------

// Whether "SCRNSAVE.EXE" still names the saver in `folder`; asked while the file exists,
// since the short form it holds can only be matched against an existing file.
bool saverIsStillOurs(const std::string& folder) {
    ScopedRegKey desktop = openKey(desktopKey, KEY_QUERY_VALUE);
    std::string current = readString(desktop.get(), saverValue);
    return !current.empty() &&
           equalNoCase(longPath(current), longPath(joinPath(folder, saverFile)));
}

// Gives back the screen saver values of before the first install, unless the user has
// chosen another screen saver since: that choice is theirs to keep.
void restorePreviousSaver(HKEY vellutor, bool saverIsOurs) {
    RegValue mark;
    if (!readValue(vellutor, previousSavedMark, mark))
        return;
    ScopedRegKey desktop = openKey(desktopKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (desktop && saverIsOurs) {
        for (const char* name : desktopValuesToKeep) {
            RegValue previous;
            std::string copyName = std::string(previousPrefix) + name;
            if (readValue(vellutor, copyName.c_str(), previous))
                writeValue(desktop.get(), name, previous);
            else
                RegDeleteValueA(desktop.get(), name);
        }
        std::string active = readString(desktop.get(), saverActiveValue);
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active == "1", nullptr, 0);
    }
    for (const char* name : desktopValuesToKeep)
        RegDeleteValueA(vellutor, (std::string(previousPrefix) + name).c_str());
    RegDeleteValueA(vellutor, previousSavedMark);
}

void forgetRegistry(const std::string& folder, bool saverIsOurs) {
    ScopedRegKey vellutor = openKey(settingsRegistryKey, KEY_READ | KEY_SET_VALUE);
    if (!vellutor)
        return;
    restorePreviousSaver(vellutor.get(), saverIsOurs);
    std::string current = readString(vellutor.get(), installDirValueName);
    const bool ours = !current.empty() && equalNoCase(normalFolder(current), folder);
    if (ours)
        RegDeleteValueA(vellutor.get(), installDirValueName);
    // The saver's own setting goes with the install it belongs to, or with no install left.
    if (ours || current.empty())
        RegDeleteValueA(vellutor.get(), everyMonitorValueName);
    bool empty = keyIsEmpty(vellutor.get());
    vellutor.reset();
    if (empty)
        RegDeleteKeyA(HKEY_CURRENT_USER, settingsRegistryKey);
}

bool removeFile(const std::string& path, std::string& problem) {
    if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
        GetLastError() == ERROR_PATH_NOT_FOUND)
        return true;
    if (problem.empty())
        problem = failure("remove", path, GetLastError());
    return false;
}

// Removes the recorded files that still hold what setup wrote, the saver's own files, the
// record, and the folders once empty. A saver that cannot be removed (it is running) stops
// everything, so that running /uninstall again later finds it all as it was.
bool removeInstalledFiles(const std::string& folder, const Installed& installed,
                          std::string& problem) {
    std::string saverPath = joinPath(folder, saverFile);
    for (const SetupRecordEntry& entry : installed.entries) {
        if (!equalNoCase(entry.name, saverFile))
            continue;
        // A saver too busy to be read cannot be told from the user's: it is not left behind
        // without its record, but the whole uninstall waits for it.
        bool busy = isFile(saverPath) && !canRead(saverPath);
        if (busy && problem.empty())
            problem = failure("read", saverPath, GetLastError());
        if (busy || (fileMatches(folder, entry) && !removeFile(saverPath, problem))) {
            problem += "\n\nIf Vellutor is running (or its settings are open), close it and run "
                       "setup /uninstall again.";
            return false;
        }
    }
    for (const SetupRecordEntry& entry : installed.entries)
        if (!equalNoCase(entry.name, saverFile) && fileMatches(folder, entry))
            removeFile(joinPath(folder, entry.name), problem);
    for (const char* own : {settingsFileName, rememberedPictureFileName, skippedPicturesFileName})
        removeFile(joinPath(folder, own), problem);
    if (problem.empty()) {
        removeFile(joinPath(folder, setupRecordFileName), problem);
        if (installed.ownership == Ownership::Legacy)
            removeFile(joinPath(folder, legacyRecordFile), problem);
    }
    RemoveDirectoryA(joinPath(folder, imagesFolder).c_str());
    RemoveDirectoryA(folder.c_str());
    return problem.empty();
}

enum class UninstallOutcome { Removed, NothingFound, NotVellutors, Failed };

UninstallOutcome uninstall(const std::string& folder, std::string& problem) {
    Installed installed = readInstalled(folder, embeddedSamples());
    if (installed.ownership == Ownership::None && isFolder(folder))
        return UninstallOutcome::NotVellutors;
    // The folder is gone: what may be left is setup's part of the registry.
    ScopedRegKey vellutor = openKey(settingsRegistryKey, KEY_QUERY_VALUE);
    RegValue mark;
    bool registryOnly = readValue(vellutor.get(), previousSavedMark, mark);
    vellutor.reset();
    if (installed.ownership == Ownership::None && !registryOnly)
        return UninstallOutcome::NothingFound;
    bool saverIsOurs = saverIsStillOurs(folder);
    if (installed.ownership != Ownership::None && !removeInstalledFiles(folder, installed, problem))
        return UninstallOutcome::Failed;
    forgetRegistry(folder, saverIsOurs);
    return UninstallOutcome::Removed;
}

// --- the program --------------------------------------------------------------------------

void tell(const Options& options, const std::string& text, UINT icon) {
    if (!options.quiet)
        MessageBoxA(nullptr, text.c_str(), setupCaption, MB_OK | icon | MB_SETFOREGROUND);
}

int run(const char* commandLine) {
    Options options;
    if (!parseOptions(commandLine, options)) {
        tell(options, usageText, MB_ICONWARNING);
        return exitUsage;
    }
    if (!options.folder.empty() && pathForm(options.folder) != PathForm::DriveAbsolute) {
        tell(options, std::string(folderFormText) + "\n\n" + options.folder, MB_ICONWARNING);
        return exitUsage;
    }
    std::string chosen = chooseFolder(options);
    std::string folder = normalFolder(chosen);
    if (folder.empty()) {
        tell(options,
             failure("use this folder (it must be a full path, not a drive's root)", chosen,
                     ERROR_SUCCESS),
             MB_ICONERROR);
        return exitFailure;
    }

    std::string problem;
    if (options.uninstall) {
        switch (uninstall(folder, problem)) {
        case UninstallOutcome::Failed:
            tell(options, problem, MB_ICONERROR);
            return exitFailure;
        case UninstallOutcome::NotVellutors:
            tell(options,
                 "Vellutor was not installed in\n" + folder +
                     "\nby this setup program: there is no record of its files there.\n\n"
                     "Nothing was removed.",
                 MB_ICONWARNING);
            return exitFailure;
        case UninstallOutcome::NothingFound:
            tell(options, "Vellutor is not installed in\n" + folder + "\n\nNothing was removed.",
                 MB_ICONINFORMATION);
            return exitSuccess;
        case UninstallOutcome::Removed:
            break;
        }
        if (isFolder(folder))
            tell(options, "Vellutor has been removed. Files of your own were kept in\n" + folder,
                 MB_ICONINFORMATION);
        else
            tell(options, "Vellutor has been removed.", MB_ICONINFORMATION);
        return exitSuccess;
    }

    if (!install(folder, problem)) {
        tell(options, problem, MB_ICONERROR);
        return exitFailure;
    }
    tell(options,
         "Vellutor is installed in\n" + folder +
             "\n\nIt is now your screen saver. Put pictures of your own into its \"images\" "
             "folder, and choose Settings on the Screen Saver page to change what it does.",
         MB_ICONINFORMATION);
    return exitSuccess;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return run(GetCommandLineA());
}
