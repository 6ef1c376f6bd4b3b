#include "engine/folder_walk.h"
#include "engine/picture_endings.h"
#include "engine/staggered_start.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// A directory listing in a fixed order, standing in for FindFirstFileA/FindNextFileA.
class FakeListing : public FolderListing {
  public:
    explicit FakeListing(std::vector<std::string> names) : entries(std::move(names)) {}

    bool isOpen() const override { return scanOpen; }
    bool open() override {
        ++opens;
        scanOpen = true;
        position = 0;
        return openable && !entries.empty();
    }
    bool advance() override {
        ++position;
        return position < entries.size();
    }
    const char* name() const override {
        if (onName)
            onName();
        return entries.at(position).c_str();
    }
    PictureStamp stamp() const override {
        auto found = stamps.find(entries.at(position));
        return found == stamps.end() ? PictureStamp{} : found->second;
    }
    void close() override {
        ++closes;
        scanOpen = false;
    }
    // What the settings dialog does when the images folder changes.
    void closeBehindTheThread() { scanOpen = false; }

    std::vector<std::string> entries;
    std::map<std::string, PictureStamp> stamps;
    // Runs whenever the thread looks at an entry, to act between its look and its advance.
    std::function<void()> onName;
    bool openable = true;
    bool scanOpen = false;
    std::size_t position = 0;
    int opens = 0;
    int closes = 0;
};

SaverSettings allFormatsEnabled() {
    SaverSettings settings{};
    settings.dropPeriod = 15;
    for (FormatSwitches& format : settings.formats)
        format.formatEnabled = 1;
    return settings;
}

// The render thread's side of the walk: one call of cycle() is one cycle start.
struct Walk {
    explicit Walk(std::vector<std::string> names) : listing(std::move(names)) {
        std::memset(nameBuffer, '#', sizeof nameBuffer);
        nameBuffer[0] = '\0';
        state.lastPictureName = nameBuffer;
        state.lastPictureSearchDone = &searchDone;
        state.skippedPictures = &skipped;
        state.pictureUnderDecode = &underDecode;
    }

    void remember(const char* name) {
        std::strcpy(nameBuffer, name);
        searchDone = 0;
    }

    // The name handed to the loader, or "" when the cycle accepted nothing.
    std::string cycle() {
        state.pictureStep = 0;
        std::string loaded;
        FolderListing& walked = through ? *through : listing;
        accepted = startCycle(state, walked, settings,
                              [&](const char* file, PictureFormat format, bool cut) {
                                  loaded = file;
                                  formatSeen = format;
                                  cutSeen = cut;
                                  if (onLoad)
                                      onLoad();
                                  return failing.count(file) != 0 ? -1 : 0;
                              });
        EXPECT_EQ(accepted, !loaded.empty()) << "startCycle reports whether it loaded";
        return loaded;
    }

    std::vector<std::string> cycles(int count) {
        std::vector<std::string> shown;
        for (int i = 0; i < count; ++i)
            shown.push_back(cycle());
        return shown;
    }

    std::string lastPictureName() const { return nameBuffer; }

    FakeListing listing;
    // What the walk goes through in place of the listing itself, when set.
    FolderListing* through = nullptr;
    SaverSettings settings = allFormatsEnabled();
    // Room past the 256 bytes to see that nothing is written there.
    char nameBuffer[lastPictureNameSize + 16];
    std::uint8_t searchDone = 1;
    CycleState state;
    std::set<std::string> failing;
    SkippedPictures skipped;
    PictureUnderDecode underDecode;
    std::function<void()> onLoad;
    bool accepted = false;
    bool cutSeen = false;
    PictureFormat formatSeen = FormatBmp;
};

using Names = std::vector<std::string>;

} // namespace

TEST(PictureEndings, EndingsSelectTheirFormatInEitherCaseWithoutADot) {
    const std::map<std::string, PictureFormat> accepted = {
        {"PHOTO.JPEG", FormatJpeg}, {"x.Jpg", FormatJpeg}, {"abmp", FormatBmp},
        {"a.bmp", FormatBmp},       {"b.GiF", FormatGif},  {"drawing.emf", FormatEmf},
        {"bmp", FormatBmp},         {"jpeg", FormatJpeg},
    };
    for (const auto& [name, format] : accepted) {
        std::optional<PictureFormat> found = pictureFormatOf(name.c_str());
        ASSERT_TRUE(found.has_value()) << name;
        EXPECT_EQ(*found, format) << name;
    }
    for (const char* name :
         {"x.png", "x.wmf", "x.tiff", "notes.txt", "mp", "", "a.bmp.", "a.bmp ", "peg", "a.jp"})
        EXPECT_FALSE(pictureFormatOf(name).has_value()) << name;
    EXPECT_FALSE(pictureFormatOf(nullptr).has_value());
}

TEST(FolderWalk, ListingEndingInANonPictureGivesOneCycleWithoutANewPicture) {
    Walk walk({"a.bmp", "b.gif", "notes.txt"});
    EXPECT_EQ(walk.cycles(4), (Names{"a.bmp", "b.gif", "", "a.bmp"}));
    EXPECT_EQ(walk.listing.opens, 2);
    EXPECT_EQ(walk.listing.closes, 1);
}

TEST(FolderWalk, ScanRunningOutWhileLoadingStartsOverWithoutAnEmptyCycle) {
    Walk walk({"a.bmp", "notes.txt", "b.gif"});
    EXPECT_EQ(walk.cycles(5), (Names{"a.bmp", "b.gif", "a.bmp", "b.gif", "a.bmp"}));
    EXPECT_EQ(walk.state.pictureStep, 0) << "no cycle was cut short";
}

TEST(FolderWalk, RememberedPictureIsShownFirstThenTheListingGoesOn) {
    Walk walk({"a.bmp", "b.gif", "c.jpg"});
    walk.remember("b.gif");
    EXPECT_EQ(walk.cycles(4), (Names{"b.gif", "c.jpg", "a.bmp", "b.gif"}));
    EXPECT_EQ(walk.searchDone, 1);
}

TEST(FolderWalk, MissingRememberedPictureEndsTheFirstCycleAtOnce) {
    // B.GIF is not b.gif: the comparison is case-sensitive.
    for (const Names& listing : {Names{"a.bmp", "c.jpg"}, Names{"a.bmp", "B.GIF", "c.jpg"}}) {
        Walk walk(listing);
        walk.remember("b.gif");
        EXPECT_EQ(walk.cycle(), "") << listing[1];
        EXPECT_EQ(walk.state.pictureStep, walk.settings.dropPeriod) << listing[1];
        EXPECT_EQ(walk.searchDone, 1);
        EXPECT_FALSE(walk.listing.isOpen());
        EXPECT_EQ(walk.cycle(), "a.bmp") << listing[1];
    }
}

TEST(FolderWalk, FailedLoadEndsTheCycleAndOnlyAShownPictureIsRemembered) {
    Walk walk({"a.bmp", "b.gif", "c.jpg"});
    walk.failing = {"b.gif"};
    walk.onLoad = [&] {
        EXPECT_EQ(walk.lastPictureName(), walk.listing.position == 0 ? "" : "a.bmp")
            << "the name is recorded only once the picture is on the surface";
    };
    EXPECT_EQ(walk.cycle(), "a.bmp");
    EXPECT_EQ(walk.state.pictureStep, 0);
    EXPECT_EQ(walk.cycle(), "b.gif");
    EXPECT_TRUE(walk.accepted) << "the reveal map is cleared after a failed load too";
    EXPECT_EQ(walk.state.pictureStep, walk.settings.dropPeriod);
    EXPECT_EQ(walk.lastPictureName(), "a.bmp") << "the last picture shown";
    EXPECT_EQ(walk.cycle(), "c.jpg");
    EXPECT_EQ(walk.lastPictureName(), "c.jpg");
}

TEST(FolderWalk, FaultedPictureIsPassedByUntilItIsReplaced) {
    Walk walk({"a.bmp", "b.gif", "c.jpg"});
    walk.listing.stamps["b.gif"] = {4000, 77};
    walk.skipped.add("b.gif", {4000, 77});
    walk.remember("b.gif"); // as a run before the mend left it
    EXPECT_EQ(walk.cycles(3), (Names{"c.jpg", "a.bmp", "c.jpg"}));

    // Another size, or another write time: a new file gets its chance.
    for (PictureStamp replaced : {PictureStamp{4100, 77}, PictureStamp{4000, 78}}) {
        walk.listing.stamps["b.gif"] = replaced;
        walk.listing.closeBehindTheThread();
        EXPECT_EQ(walk.cycles(2), (Names{"a.bmp", "b.gif"}));
    }

    // The record the fault backstop reads names the picture only while it is decoded.
    walk.listing.closeBehindTheThread();
    walk.listing.stamps["a.bmp"] = {12, 34};
    walk.onLoad = [&] {
        EXPECT_TRUE(walk.underDecode.underway.load());
        EXPECT_STREQ(walk.underDecode.picture.name, "a.bmp");
        EXPECT_EQ(walk.underDecode.picture.stamp, (PictureStamp{12, 34}));
    };
    EXPECT_EQ(walk.cycle(), "a.bmp");
    EXPECT_FALSE(walk.underDecode.underway.load());
}

TEST(FolderWalk, DisabledFormatsAreSkippedAndTheCutFlagFollowsTheFormat) {
    Walk walk({"a.bmp", "b.gif", "c.jpg", "d.emf"});
    walk.settings.formats[FormatGif].formatEnabled = 0;
    walk.settings.formats[FormatEmf].formatEnabled = 0;
    walk.settings.formats[FormatJpeg].formatCutBackground = 1;
    EXPECT_EQ(walk.cycle(), "a.bmp");
    EXPECT_FALSE(walk.state.cutBackground);
    EXPECT_EQ(walk.cycle(), "c.jpg");
    EXPECT_TRUE(walk.state.cutBackground);
    EXPECT_TRUE(walk.cutSeen) << "the loader is told about the cut";
    EXPECT_EQ(walk.formatSeen, FormatJpeg) << "the loader is handed the walk's format";
    EXPECT_EQ(walk.cycle(), "");
    EXPECT_TRUE(walk.state.cutBackground) << "kept until another entry is accepted";
    EXPECT_EQ(walk.cycle(), "a.bmp");
    EXPECT_FALSE(walk.state.cutBackground);
}

TEST(FolderWalk, OverlongNameIsStoredCutShortAndTerminated) {
    const std::string longName = std::string(296, 'n') + ".bmp";
    Walk walk({longName});
    EXPECT_EQ(walk.cycle(), longName) << "the loader gets the whole name";
    EXPECT_EQ(walk.lastPictureName(), longName.substr(0, lastPictureNameSize - 1));
    for (std::size_t i = lastPictureNameSize; i < sizeof walk.nameBuffer; ++i)
        EXPECT_EQ(walk.nameBuffer[i], '#') << "byte " << i << " lies beyond lastPictureName";

    // A shorter name afterwards leaves no trace of the long one.
    walk.listing.entries = {"a.bmp"};
    walk.listing.closeBehindTheThread();
    EXPECT_EQ(walk.cycle(), "a.bmp");
    EXPECT_EQ(std::memcmp(walk.nameBuffer, "a.bmp\0\0\0", 8), 0);
    EXPECT_EQ(walk.nameBuffer[lastPictureNameSize - 1], '\0');
}

TEST(FolderWalk, ScanClosedByTheDialogCountsAsTheEndOfTheFolder) {
    Walk walk({"a.bmp", "b.gif", "c.jpg"});
    walk.onLoad = [&] { walk.listing.closeBehindTheThread(); };
    EXPECT_EQ(walk.cycle(), "a.bmp");
    walk.onLoad = nullptr;
    EXPECT_EQ(walk.cycle(), "a.bmp") << "a new scan starts from the first entry";
    EXPECT_EQ(walk.cycle(), "b.gif");

    // Closed between cycles: the next cycle opens a new scan.
    walk.listing.closeBehindTheThread();
    EXPECT_EQ(walk.cycle(), "a.bmp");
    EXPECT_EQ(walk.listing.opens, 3);
}

TEST(FolderWalk, ScanClosedDuringTheRememberedSearchEndsTheSearch) {
    Walk walk({"a.bmp", "b.gif", "c.jpg"});
    walk.remember("c.jpg");
    walk.listing.onName = [&] { walk.listing.closeBehindTheThread(); };
    EXPECT_EQ(walk.cycle(), "");
    EXPECT_EQ(walk.listing.position, 0u) << "a closed scan is never advanced";
    EXPECT_EQ(walk.state.pictureStep, walk.settings.dropPeriod);
    EXPECT_EQ(walk.searchDone, 1);
    walk.listing.onName = nullptr;
    EXPECT_EQ(walk.cycle(), "a.bmp");
}

TEST(FolderWalk, UnopenableOrEmptyFolderTriesAgainEveryCycle) {
    Walk walk({"a.bmp"});
    walk.listing.openable = false;
    walk.settings.blurLevel = 7;
    walk.settings.psychedeliaLevel = 5;
    EXPECT_EQ(walk.cycles(3), (Names{"", "", ""}));
    EXPECT_EQ(walk.listing.opens, 3);
    EXPECT_EQ(walk.listing.closes, 3);
    EXPECT_EQ(walk.state.pictureStep, 0) << "the cycle plays on the old picture";
    EXPECT_EQ(walk.state.scatterCount, 7) << "blur is taken even without a picture";
    EXPECT_EQ(walk.state.channelMap.blueSlot, 2);

    Walk empty({"notes.txt", "folder"});
    EXPECT_EQ(empty.cycles(2), (Names{"", ""}));
    EXPECT_EQ(empty.listing.opens, 2);
}

namespace {
// Plays one cycle's steps from 0 until the restart; the actions in order.
std::vector<StepAction> playCycle(std::uint8_t dropPeriod) {
    std::vector<StepAction> actions;
    std::uint8_t step = 0;
    for (int guard = 0; guard < 300; ++guard) {
        StepAction action = stepActionFor(step, dropPeriod);
        actions.push_back(action);
        step = nextPictureStep(step, action);
        if (action == StepAction::Restart)
            break;
    }
    return actions;
}

int countOf(const std::vector<StepAction>& actions, StepAction wanted) {
    int count = 0;
    for (StepAction action : actions)
        count += action == wanted;
    return count;
}
} // namespace

TEST(StepDispatch, CycleLengthFollowsTheDropPeriod) {
    struct Expected {
        std::uint8_t period;
        int holds, passes, drops;
    };
    // Periods outside the slider play as its nearest end.
    for (Expected e : {Expected{14, 1, 0, 0}, Expected{15, 0, 1, 1}, Expected{50, 0, 1, 36},
                       Expected{0, 1, 0, 0}, Expected{13, 1, 0, 0}, Expected{255, 0, 1, 36}}) {
        std::vector<StepAction> actions = playCycle(e.period);
        ASSERT_EQ(actions.back(), StepAction::Restart) << "period " << int(e.period);
        EXPECT_EQ(countOf(actions, StepAction::Reveal), 13) << "period " << int(e.period);
        EXPECT_EQ(std::vector<StepAction>(actions.begin(), actions.begin() + 13),
                  std::vector<StepAction>(13, StepAction::Reveal))
            << "the reveal comes first";
        EXPECT_EQ(countOf(actions, StepAction::Hold), e.holds) << "period " << int(e.period);
        EXPECT_EQ(countOf(actions, StepAction::Pass), e.passes) << "period " << int(e.period);
        EXPECT_EQ(countOf(actions, StepAction::Drop), e.drops) << "period " << int(e.period);
    }
}

TEST(StepDispatch, StepsAtOrBeyondThePeriodRestartTheCycle) {
    EXPECT_EQ(stepActionFor(15, 15), StepAction::Restart);
    EXPECT_EQ(stepActionFor(40, 20), StepAction::Restart) << "period shortened mid-cycle";
    EXPECT_EQ(stepActionFor(255, 50), StepAction::Restart);
    EXPECT_EQ(nextPictureStep(40, StepAction::Restart), 0);
}

namespace {
// The names screen `index` shows in its first `count` cycles, through its staggered listing.
Names staggeredCycles(Walk& walk, std::uint32_t index, int count) {
    StaggeredListing staggered(walk.listing, index, walk.settings, walk.nameBuffer,
                               &walk.searchDone, &walk.skipped);
    walk.through = &staggered;
    Names shown = walk.cycles(count);
    walk.through = nullptr;
    return shown;
}
} // namespace

TEST(StaggeredStart, ScreenKStartsKShownPicturesOnAndGoesOnInOrder) {
    // Non-pictures, a disabled format and a picture the walk passes by do not count; the
    // folder's end starts it over.
    const Names folder = {"a.bmp", "notes.txt", "b.emf", "c.gif", "x.gif", "d.jpg"};
    const std::map<std::uint32_t, Names> expected = {
        {0, {"a.bmp", "c.gif", "d.jpg"}}, {1, {"c.gif", "d.jpg", "a.bmp"}},
        {2, {"d.jpg", "a.bmp", "c.gif"}}, {3, {"a.bmp", "c.gif", "d.jpg"}},
        {7, {"c.gif", "d.jpg", "a.bmp"}},
    };
    for (const auto& [index, names] : expected) {
        Walk walk(folder);
        walk.settings.formats[FormatEmf].formatEnabled = 0;
        walk.skipped.add("x.gif", {});
        EXPECT_EQ(staggeredCycles(walk, index, 3), names) << "screen " << index;
    }
}

TEST(StaggeredStart, CountsFromTheRememberedPictureOrFromTheStartWhenItIsGone) {
    Walk walk({"a.bmp", "b.gif", "c.jpg"});
    walk.remember("b.gif");
    EXPECT_EQ(staggeredCycles(walk, 1, 3), (Names{"c.jpg", "a.bmp", "b.gif"}));
    EXPECT_EQ(walk.searchDone, 1);

    Walk gone({"a.bmp", "b.gif", "c.jpg"});
    gone.remember("x.bmp");
    EXPECT_EQ(staggeredCycles(gone, 1, 2), (Names{"b.gif", "c.jpg"}))
        << "no empty first cycle on a screen whose remembered picture is gone";
}

TEST(StaggeredStart, FolderWithoutAPictureEndsTheSearchAndTriesAgainLater) {
    Walk walk({"notes.txt", "b.emf"});
    walk.settings.formats[FormatEmf].formatEnabled = 0;
    EXPECT_EQ(staggeredCycles(walk, 2, 2), (Names{"", ""}));
    EXPECT_LE(walk.listing.opens, 6) << "scans of a folder without a picture";

    Walk unopenable({"a.bmp", "b.gif"});
    unopenable.listing.openable = false;
    StaggeredListing staggered(unopenable.listing, 1, unopenable.settings, unopenable.nameBuffer,
                               &unopenable.searchDone);
    unopenable.through = &staggered;
    EXPECT_EQ(unopenable.cycle(), "");
    unopenable.listing.openable = true;
    EXPECT_EQ(unopenable.cycle(), "b.gif") << "the skip waits for a folder that opens";
}

TEST(StaggeredStart, ScreenKsFirstCycleEndsItsShareOfACycleEarly) {
    SaverSettings record = allFormatsEnabled();
    for (std::uint8_t period : {dropPeriodMin, std::uint8_t(15), dropPeriodMax}) {
        record.dropPeriod = period;
        record.waveSize = 2;
        const std::uint32_t cycle = cycleMilliseconds(record);
        // At least the reveal and the hold, or one drop of 360 frames.
        EXPECT_GE(cycle, period == dropPeriodMin ? 2200u : 6200u) << int(period);
        const std::uint32_t reveal = revealStepCount * 1000 / 60;
        EXPECT_EQ(reveal + firstPictureStillMs(0, 3, record), cycle) << int(period);
        EXPECT_EQ(reveal + firstPictureStillMs(2, 2, record), cycle) << "an index past the count";
        for (std::uint32_t screen : {1u, 2u}) {
            const std::uint32_t first = reveal + firstPictureStillMs(screen, 3, record);
            EXPECT_NEAR(first, cycle - screen * cycle / 3, 2)
                << "screen " << screen << " of 3, usage period " << int(period);
        }
    }
    record.dropPeriod = dropPeriodMin;
    EXPECT_EQ(firstPictureStillMs(19, 20, record), 0u) << "a lead beyond the hold stops at 0";
}
