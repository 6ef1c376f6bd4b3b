#include "engine/skipped_pictures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<std::uint8_t> fileOf(const SkippedPictures& list) {
    std::vector<std::uint8_t> bytes(skippedPicturesFileMax + 1, 0xAB);
    bytes.resize(serializeSkippedPictures(list, bytes.data()));
    return bytes;
}

SkippedPictures fromBytes(const std::vector<std::uint8_t>& bytes) {
    return parseSkippedPictures(bytes.data(), bytes.size());
}
} // namespace

TEST(SkippedPictures, ListKeepsTheNewestWithinItsBudgetAndSurvivesItsFile) {
    SkippedPictures list;
    list.add("b.gif", {4000, 77});
    list.add("b.gif", {4100, 78}); // faulted again after a replacement
    EXPECT_EQ(list.count(), 1u);
    EXPECT_FALSE(list.skips("b.gif", {4000, 77}));
    EXPECT_TRUE(list.skips("b.gif", {4100, 78}));

    for (int i = 0; i < 20; ++i)
        list.add(("p" + std::to_string(i) + ".jpg").c_str(),
                 {std::uint64_t(i), 0x1122334455667788});
    list.add(std::string(skippedNameSize, 'n').c_str(), {1, 1}); // could never match: left out
    list.add("", {0, 0});
    ASSERT_EQ(list.count(), skippedPicturesMax);
    EXPECT_STREQ(list[0].name, "p4.jpg") << "the oldest went";
    EXPECT_TRUE(list.skips("p19.jpg", {19, 0x1122334455667788}));

    const std::vector<std::uint8_t> bytes = fileOf(list);
    EXPECT_LE(bytes.size(), skippedPicturesFileMax);
    const SkippedPictures back = fromBytes(bytes);
    ASSERT_EQ(back.count(), list.count());
    for (std::size_t i = 0; i < list.count(); ++i)
        EXPECT_TRUE(back.skips(list[i].name, list[i].stamp)) << list[i].name;
}

TEST(SkippedPictures, MalformedFilesGiveOnlyTheirWholeRecords) {
    SkippedPictures two;
    two.add("a.bmp", {1, 2});
    two.add("b.bmp", {3, 4});
    const std::vector<std::uint8_t> whole = fileOf(two);

    std::vector<std::uint8_t> foreign = whole;
    foreign[0] = 'X';
    EXPECT_EQ(fromBytes(foreign).count(), 0u);
    EXPECT_EQ(fromBytes({}).count(), 0u);
    for (std::size_t cut = 4; cut < whole.size(); ++cut) {
        const SkippedPictures part = fromBytes({whole.begin(), whole.begin() + cut});
        EXPECT_EQ(part.count(), cut < 4 + 16 + 6 ? 0u : 1u) << "cut at " << cut;
    }
    // A name with no NUL within a name's room ends the list.
    std::vector<std::uint8_t> unterminated(whole.begin(), whole.begin() + 4 + 16 + 6);
    unterminated.resize(unterminated.size() + 16 + skippedNameSize + 40, 'x');
    EXPECT_EQ(fromBytes(unterminated).count(), 1u);
}
