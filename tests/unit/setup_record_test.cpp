#include "settings/setup_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::uint64_t hashOf(const std::string& text) {
    return fnv1a64(text.data(), text.size());
}

std::string recordWith(const std::vector<std::string>& lines) {
    std::string text = std::string(setupRecordSignature) + "\r\n";
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

TEST(SetupRecordHash, MatchesThePublishedFnv1a64Vectors) {
    EXPECT_EQ(hashOf(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(hashOf("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(hashOf("foobar"), 0x85944171f73967e8ULL);
}

TEST(SetupRecordHash, CarriesAcrossPieces) {
    std::uint64_t split = fnv1a64("bar", 3, fnv1a64("foo", 3));
    EXPECT_EQ(split, hashOf("foobar"));
}

TEST(SetupRecordNames, AcceptsFilesOfTheFolderAndOfItsImagesFolder) {
    for (const char* name : {"vellutor.scr", "images\\sunset.bmp", "IMAGES\\Fractal.JPG",
                             "images\\my picture (2).gif", "a", "console.txt"}) {
        EXPECT_TRUE(isSetupRecordName(name)) << name;
    }
}

TEST(SetupRecordNames, RefusesEveryWayOutOfTheFolder) {
    for (const char* name : {"",
                             "..",
                             ".",
                             "..\\keep-me.txt",
                             "images\\..\\..\\x",
                             "C:\\keep-me.txt",
                             "C:x",
                             "\\keep-me.txt",
                             "\\\\server\\share\\x",
                             "images/../x",
                             "other\\x.bmp",
                             "images\\sub\\x.bmp",
                             "images\\",
                             "\\",
                             "file:stream",
                             "a.",
                             "a ",
                             "NUL",
                             "nul.txt",
                             "COM1",
                             "lpt9.bmp",
                             "CON .txt",
                             "con.txt.bak",
                             "images\\aux",
                             "conout$",
                             "a\tb",
                             "a*",
                             "a?",
                             "images\\a|b",
                             "a\"b",
                             "a<b",
                             "a>b"}) {
        EXPECT_FALSE(isSetupRecordName(name)) << "'" << name << "'";
    }
    EXPECT_FALSE(isSetupRecordName(std::string(201, 'x')));
    EXPECT_FALSE(isSetupRecordName(std::string("a\0b", 3)));
}

TEST(SetupRecordFormat, ReadsBackWhatItWrites) {
    std::vector<SetupRecordEntry> entries = {
        {"vellutor.scr", 123456, 0x0123456789abcdefULL},
        {"images\\sunset.bmp", 0, fnv1a64Start},
        {"images\\big one.jpg", 18446744073709551ULL, 0xffffffffffffffffULL},
    };
    std::string text = formatSetupRecord(entries);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), std::string(setupRecordSignature) + "\r\n");
    EXPECT_NE(text.find("123456\t0123456789abcdef\tvellutor.scr\r\n"), std::string::npos) << text;

    SetupRecord record = parseSetupRecord(text);
    ASSERT_EQ(record.status, SetupRecordStatus::Read);
    ASSERT_EQ(record.entries.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(record.entries[i].name, entries[i].name);
        EXPECT_EQ(record.entries[i].size, entries[i].size);
        EXPECT_EQ(record.entries[i].hash, entries[i].hash);
    }
    EXPECT_EQ(parseSetupRecord(formatSetupRecord({})).status, SetupRecordStatus::Read);
}

TEST(SetupRecordFormat, AnythingWithoutTheSignatureLineIsNotARecord) {
    for (const std::string& text :
         {std::string(), std::string("vellutor.scr\r\nimages\\sunset.bmp\r\n"),
          std::string("vellutor setup record 1\r\n"), std::string("Vellutor setup record 2\r\n"),
          std::string(" Vellutor setup record 1\r\n"), std::string("Vellutor setup record 1 \r\n"),
          std::string("\r\nVellutor setup record 1\r\n"),
          std::string("\xef\xbb\xbfVellutor setup record 1\r\n")}) {
        SetupRecord record = parseSetupRecord(text);
        EXPECT_EQ(record.status, SetupRecordStatus::NotARecord) << text;
        EXPECT_TRUE(record.entries.empty()) << text;
    }
}

TEST(SetupRecordFormat, TakesLineFeedsAndALastLineWithoutEnd) {
    SetupRecord record = parseSetupRecord(std::string(setupRecordSignature) +
                                          "\n1\t0000000000000001\ta\n2\t0000000000000002\tb");
    EXPECT_EQ(record.status, SetupRecordStatus::Read);
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.entries[1].name, "b");
    EXPECT_EQ(record.entries[1].size, 2u);
    EXPECT_EQ(record.entries[1].hash, 2u);
}

TEST(SetupRecordFormat, SkipsMalformedLinesAndKeepsTheGoodOnes) {
    const std::string good = "5\t00000000000000aa\timages\\kept.bmp";
    for (const char* bad : {"", "..\\keep-me.txt", "5\t00000000000000aa\t..\\keep-me.txt",
                            "5\t00000000000000aa\tC:\\keep-me-too.txt", "5\t00000000000000AA\tx",
                            "5\t0000000000000aa\tx", "5\t00000000000000aa0\tx",
                            "-5\t00000000000000aa\tx", "05\t00000000000000aa\tx",
                            "5 \t00000000000000aa\tx", "99999999999999999999\t00000000000000aa\tx",
                            "5\t00000000000000aa", "5\t00000000000000aa\t", "x\ty\tz",
                            "5\t00000000000000ag\tx", "5\t00000000000000aa\tx\r"}) {
        SetupRecord record = parseSetupRecord(recordWith({good, bad, good}));
        EXPECT_EQ(record.status, SetupRecordStatus::Damaged) << "'" << bad << "'";
        ASSERT_EQ(record.entries.size(), 2u) << "'" << bad << "'";
        EXPECT_EQ(record.entries[0].name, "images\\kept.bmp");
        EXPECT_EQ(record.entries[0].hash, 0xaau);
    }
}

TEST(SetupRecordFormat, IgnoresARecordTooLargeForSetupToHaveWritten) {
    std::string text = recordWith({"1\t0000000000000001\ta"});
    text.resize(setupRecordMaxBytes + 1, '\n');
    EXPECT_EQ(parseSetupRecord(text).status, SetupRecordStatus::NotARecord);
}

} // namespace
