#include "host/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLine, SaverLetterAnywhereInEitherCaseSetsSaverFlag) {
    for (const char* line : {"/s", "/S", "/settings", "x s"}) {
        CommandLine parsed = parseCommandLine(line);
        EXPECT_TRUE(parsed.saverFlag) << line;
        EXPECT_FALSE(parsed.previewFlag) << line;
    }
}

TEST(CommandLine, PreviewTakesTheWindowNumberFromEveryDigit) {
    EXPECT_EQ(parseCommandLine("/p 1234").windowNumber, 1234u);
    EXPECT_TRUE(parseCommandLine("/P:1234").previewFlag);
    EXPECT_EQ(parseCommandLine("/P:1234").windowNumber, 1234u);
    EXPECT_EQ(parseCommandLine("/p 12 34").windowNumber, 1234u);
}

TEST(CommandLine, OnlyTheFirstNineDigitsCount) {
    EXPECT_EQ(parseCommandLine("/p 12345678901").windowNumber, 123456789u);
    EXPECT_EQ(parseCommandLine("/p 999999999").windowNumber, 999999999u);
}

TEST(CommandLine, ConfigureLinesSetNeitherFlag) {
    for (const char* line : {"", "/c", "/c:1234", "/a 1234"}) {
        CommandLine parsed = parseCommandLine(line);
        EXPECT_FALSE(parsed.saverFlag) << line;
        EXPECT_FALSE(parsed.previewFlag) << line;
    }
    EXPECT_FALSE(parseCommandLine(nullptr).saverFlag);
}

TEST(CommandLine, BothLettersSetBothFlags) {
    CommandLine parsed = parseCommandLine("/s /p 77");
    EXPECT_TRUE(parsed.saverFlag);
    EXPECT_TRUE(parsed.previewFlag);
    EXPECT_EQ(parsed.windowNumber, 77u);
}
