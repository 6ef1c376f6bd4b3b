// Feeds arbitrary bytes to the "vellutor.set" reader: it must never read past the data, and
// whatever it loads must be a record the dialog could have written.
#include "settings/settings_record.h"
#include "tests/fuzz/fuzz_require.h"

#include <cstdlib>
#include <cstring>

namespace {

bool withinRanges(const SaverSettings& record) {
    if (record.dropPeriod < dropPeriodMin || record.dropPeriod > dropPeriodMax)
        return false;
    if (record.psychedeliaLevel > psychedeliaMax || record.blurLevel > blurMax ||
        record.waveSize > waveSizeMax)
        return false;
    if (record.rememberPicture > 1 || record.wallpaperGenerator > 1)
        return false;
    for (const FormatSwitches& format : record.formats)
        if (format.formatEnabled > 1 || format.formatCutBackground > 1)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SettingsFileContents contents = parseSettingsFile(data, size);
    require(withinRanges(contents.record));
    switch (contents.status) {
    case SettingsFileStatus::UseDefaults:
        require(size < settingsRecordSize);
        return 0;
    case SettingsFileStatus::Broken:
        require(size == settingsRecordSize);
        return 0;
    case SettingsFileStatus::Loaded:
        break;
    }
    require(size > settingsRecordSize);
    // The folder is the path bytes up to their first NUL.
    require(contents.imagesFolder.size() <= size - settingsRecordSize);
    require(contents.imagesFolder.find('\0') == std::string::npos);
    require(std::memcmp(contents.imagesFolder.data(), data + settingsRecordSize,
                        contents.imagesFolder.size()) == 0);

    // Written back and read again, a loaded file gives the same record and folder.
    std::vector<std::uint8_t> written = serializeSettings(contents.record, contents.imagesFolder);
    require(written.size() == settingsRecordSize + contents.imagesFolder.size() + 1);
    SettingsFileContents again = parseSettingsFile(written.data(), written.size());
    require(again.status == SettingsFileStatus::Loaded);
    require(std::memcmp(&again.record, &contents.record, sizeof again.record) == 0);
    require(again.imagesFolder == contents.imagesFolder);
    return 0;
}
