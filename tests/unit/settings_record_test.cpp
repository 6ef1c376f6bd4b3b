#include "settings/monitor_setting.h"
#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

SettingsFileContents parse(const Bytes& bytes) {
    return parseSettingsFile(bytes.data(), bytes.size());
}

std::string remembered(const Bytes& bytes) {
    return parseRememberedPicture(bytes.data(), bytes.size());
}

// A record whose every byte differs from the defaults and from its neighbours, within range.
SaverSettings unusualRecord() {
    SaverSettings record{};
    record.dropPeriod = 50;
    record.psychedeliaLevel = 5;
    record.blurLevel = 10;
    record.rememberPicture = 1;
    record.wallpaperGenerator = 1;
    record.waveSize = 4;
    record.videoMode = 0x0302;
    record.formats[FormatBmp] = {0, 1};
    record.formats[FormatGif] = {0, 0};
    record.formats[FormatJpeg] = {0, 1};
    record.formats[FormatEmf] = {1, 1};
    return record;
}

Bytes recordBytes(const SaverSettings& record) {
    Bytes bytes(settingsRecordSize);
    std::memcpy(bytes.data(), &record, settingsRecordSize);
    return bytes;
}

} // namespace

TEST(SettingsDefaults, MatchTheFactorySettings) {
    SaverSettings record = defaultSettings();
    EXPECT_EQ(record.dropPeriod, 15);
    EXPECT_EQ(record.psychedeliaLevel, 0);
    EXPECT_EQ(record.blurLevel, 1);
    EXPECT_EQ(record.rememberPicture, 0);
    EXPECT_EQ(record.wallpaperGenerator, 0);
    EXPECT_EQ(record.waveSize, 2);
    EXPECT_EQ(record.videoMode, 0);
    const int enabled[] = {1, 1, 1, 0}, cut[] = {0, 1, 0, 0};
    for (int i = 0; i < pictureFormatCount; ++i) {
        EXPECT_EQ(record.formats[i].formatEnabled, enabled[i]) << "format " << i;
        EXPECT_EQ(record.formats[i].formatCutBackground, cut[i]) << "format " << i;
    }
    EXPECT_EQ(defaultImagesFolder("C:\\Vellutor"), "C:\\Vellutor\\images\\");
}

TEST(SettingsFile, WrittenRecordIsTheExactFileLayout) {
    SaverSettings record = unusualRecord();
    Bytes bytes = serializeSettings(record, "D:\\pics");
    const Bytes expected = {50, 5, 10, 1, 1,   4,   0x02, 0x03, 0,   1,   0,   0,
                            0,  1, 1,  1, 'D', ':', '\\', 'p',  'i', 'c', 's', 0};
    EXPECT_EQ(bytes, expected);
    // The in-memory record has the same 16 bytes, so the render thread sees the file's layout.
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 16), recordBytes(record));
}

TEST(SettingsFile, RoundTripKeepsEveryByteAndThePath) {
    for (std::uint16_t videoMode : {0, 1, 0x0302, 0xFFFF}) {
        SaverSettings record = unusualRecord();
        record.videoMode = videoMode;
        Bytes written = serializeSettings(record, "C:\\My Pictures\\");
        ASSERT_EQ(written.size(), 16u + 16u) << "path and its terminator follow the record";
        EXPECT_EQ(written.back(), 0);

        SettingsFileContents read = parse(written);
        ASSERT_EQ(read.status, SettingsFileStatus::Loaded);
        EXPECT_EQ(recordBytes(read.record), recordBytes(record)) << "videoMode " << videoMode;
        EXPECT_EQ(read.imagesFolder, "C:\\My Pictures\\");
        EXPECT_EQ(serializeSettings(read.record, read.imagesFolder), written);
    }
}

TEST(SettingsFile, RecordAloneIsBrokenAndShorterMeansDefaults) {
    Bytes record = recordBytes(unusualRecord());

    SettingsFileContents fifteen = parse(Bytes(record.begin(), record.end() - 1));
    EXPECT_EQ(fifteen.status, SettingsFileStatus::UseDefaults);
    EXPECT_EQ(recordBytes(fifteen.record), recordBytes(defaultSettings()));
    EXPECT_EQ(parse({}).status, SettingsFileStatus::UseDefaults);

    EXPECT_EQ(parse(record).status, SettingsFileStatus::Broken);

    Bytes seventeen = record;
    seventeen.push_back(0);
    SettingsFileContents empty = parse(seventeen);
    EXPECT_EQ(empty.status, SettingsFileStatus::Loaded);
    EXPECT_EQ(empty.imagesFolder, "");
    EXPECT_EQ(recordBytes(empty.record), record);
}

TEST(SettingsFile, PathEndsAtFirstNulOrAtTheEndOfTheData) {
    Bytes record = recordBytes(defaultSettings());

    Bytes unterminated = record;
    for (std::uint8_t c : bytesOf("E:\\art"))
        unterminated.push_back(c);
    EXPECT_EQ(parse(unterminated).imagesFolder, "E:\\art");

    Bytes trailing = record;
    for (std::uint8_t c : bytesOf(std::string("E:\\art\0junk", 11)))
        trailing.push_back(c);
    EXPECT_EQ(parse(trailing).imagesFolder, "E:\\art");

    // Bytes above 127 are ANSI characters, not terminators.
    Bytes ansi = record;
    for (std::uint8_t c : {0xC4, 0xE9, 0xFF, 0})
        ansi.push_back(c);
    EXPECT_EQ(parse(ansi).imagesFolder, "\xC4\xE9\xFF");
}

TEST(SettingsFile, HandMadeValuesAreClampedToTheControls) {
    SaverSettings wild{};
    wild.dropPeriod = 3;
    wild.psychedeliaLevel = 6;
    wild.blurLevel = 255;
    wild.rememberPicture = 2;
    wild.wallpaperGenerator = 0x80;
    wild.waveSize = 9;
    wild.videoMode = 0xFFFF;
    for (FormatSwitches& format : wild.formats)
        format = {7, 0xFF};
    Bytes bytes = recordBytes(wild);
    bytes.push_back(0);

    SaverSettings read = parse(bytes).record;
    EXPECT_EQ(read.dropPeriod, dropPeriodMin);
    EXPECT_EQ(read.psychedeliaLevel, psychedeliaMax);
    EXPECT_EQ(read.blurLevel, blurMax);
    EXPECT_EQ(read.rememberPicture, 1);
    EXPECT_EQ(read.wallpaperGenerator, 1);
    EXPECT_EQ(read.waveSize, waveSizeMax);
    EXPECT_EQ(read.videoMode, videoModeNoSelection) << "no selection is a legal stored value";
    for (const FormatSwitches& format : read.formats) {
        EXPECT_EQ(format.formatEnabled, 1);
        EXPECT_EQ(format.formatCutBackground, 1);
    }

    wild.dropPeriod = 200;
    EXPECT_EQ(clampSettings(wild).dropPeriod, dropPeriodMax);
    // Values inside the ranges pass unchanged.
    EXPECT_EQ(recordBytes(clampSettings(unusualRecord())), recordBytes(unusualRecord()));
    EXPECT_EQ(recordBytes(clampSettings(defaultSettings())), recordBytes(defaultSettings()));
}

TEST(RememberedPicture, TwoBytesOrFewerNameNoPicture) {
    EXPECT_EQ(remembered({}), "");
    EXPECT_EQ(remembered(bytesOf("a")), "");
    EXPECT_EQ(remembered(Bytes{'a', 0}), "");
    EXPECT_EQ(remembered(Bytes{'a', 'b'}), "");
    EXPECT_EQ(remembered(Bytes{'a', 'b', 0}), "ab");
    EXPECT_EQ(remembered(bytesOf("abc")), "abc") << "three bytes without a NUL still name one";
}

TEST(RememberedPicture, NameEndsAtItsNul) {
    EXPECT_EQ(remembered(Bytes{'x', '.', 'j', 'p', 'g', 0, 'z', 'z'}), "x.jpg");
    EXPECT_EQ(remembered(Bytes{0, 'a', 'b', 0}), "");
}

TEST(RememberedPicture, OverlongFilesAreCutToFitTheNameBuffer) {
    std::string longest(255, 'n');
    Bytes exact = bytesOf(longest);
    exact.push_back(0);
    EXPECT_EQ(remembered(exact), longest);

    Bytes noNul = bytesOf(std::string(255, 'm'));
    EXPECT_EQ(remembered(noNul).size(), 255u);

    Bytes huge = bytesOf(std::string(1000, 'q'));
    huge.push_back(0);
    std::string name = remembered(huge);
    EXPECT_EQ(name.size(), lastPictureNameSize - 1) << "must leave room for the NUL";
    EXPECT_EQ(name, std::string(255, 'q'));
}

TEST(EveryMonitorSetting, OnlyADwordOfZeroTurnsItOff) {
    const Bytes zero = {0, 0, 0, 0};
    const Bytes one = {1, 0, 0, 0};
    const Bytes high = {0, 0, 0, 1};
    EXPECT_FALSE(picturesOnEveryMonitorFrom(true, everyMonitorValueType, zero.data(), 4));
    EXPECT_TRUE(picturesOnEveryMonitorFrom(true, everyMonitorValueType, one.data(), 4));
    EXPECT_TRUE(picturesOnEveryMonitorFrom(true, everyMonitorValueType, high.data(), 4))
        << "all four bytes count";
    // Missing, or written by hand as something else: on, the default.
    const Bytes text = bytesOf("0");
    const Bytes eight = {0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(picturesOnEveryMonitorFrom(false, everyMonitorValueType, zero.data(), 4));
    EXPECT_TRUE(picturesOnEveryMonitorFrom(true, 1, text.data(), text.size())) << "REG_SZ \"0\"";
    EXPECT_TRUE(picturesOnEveryMonitorFrom(true, 3, zero.data(), 4)) << "REG_BINARY";
    EXPECT_TRUE(picturesOnEveryMonitorFrom(true, 11, eight.data(), 8)) << "REG_QWORD";
    EXPECT_TRUE(picturesOnEveryMonitorFrom(true, everyMonitorValueType, zero.data(), 2));
    EXPECT_TRUE(picturesOnEveryMonitorFrom(true, everyMonitorValueType, nullptr, 4));
}
