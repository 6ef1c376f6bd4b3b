#include "engine/picture_show.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the show did, in order.
struct Event {
    enum Kind { Load, Reveal, Refresh, Sleep, Prepare, Release, Drop };
    explicit Event(Kind what, std::string file = {}) : kind(what), name(std::move(file)) {}
    Kind kind;
    std::string name;        // Load: the file
    RevealRequest request{}; // Reveal: what was asked
    bool whole = false;      // Reveal: the step finished
    std::uint8_t waveSize = 0;
    std::uint32_t ms = 0; // Sleep
};

// A listing of one of the fake's folders, in a fixed order.
class FakeFolders : public FolderListing {
  public:
    bool isOpen() const override { return open_; }
    bool open() override {
        open_ = true;
        position_ = 0;
        scanned_ = current;
        ++opens;
        return !entries().empty();
    }
    bool advance() override { return ++position_ < entries().size(); }
    const char* name() const override { return entries().at(position_).c_str(); }
    PictureStamp stamp() const override { return {}; }
    void close() override { open_ = false; }

    std::map<std::string, std::vector<std::string>> folders;
    std::string current;
    int opens = 0;

  private:
    const std::vector<std::string>& entries() const { return folders.at(scanned_); }
    bool open_ = false;
    std::size_t position_ = 0;
    std::string scanned_;
};

// Records every call; a test acts through `after`, which runs once each event is recorded,
// and ends the show with `stopWhen`, asked at every safe point.
class FakeCanvas : public ShowCanvas {
  public:
    FakeCanvas() { folders.folders["pictures"] = {"a.bmp", "b.bmp", "c.bmp"}; }

    std::int32_t width() const override { return targetWidth; }
    std::int32_t height() const override { return 3; }

    bool checkpoint() override { return safePoint(); }
    bool takeSettingsChange(SettingsChange& change) override {
        if (!pending)
            return false;
        change = *pending;
        pending.reset();
        return true;
    }
    FolderListing& listing() override { return folders; }
    void useImagesFolder(const std::string& folder) override { folders.current = folder; }
    std::int32_t loadPicture(const char* fileName, PictureFormat, bool) override {
        record(Event(Event::Load, fileName));
        return failing.count(fileName) != 0 ? 1 : 0;
    }
    void pictureStarted(bool) override {}
    RevealDraw revealStep(const RevealRequest& request, RevealProgress& progress,
                          RandomGenerator& random) override {
        draw(random);
        Event event(Event::Reveal);
        event.request = request;
        if (interruptions > 0) {
            // A hold came halfway through: the rest is left in `progress`.
            --interruptions;
            progress.nextRow += 1;
            record(event);
            return RevealDraw::Interrupted;
        }
        progress = RevealProgress();
        event.whole = true;
        record(event);
        return RevealDraw::Finished;
    }
    bool waitForNextRefresh() override {
        record(Event(Event::Refresh));
        return safePoint();
    }
    bool sleep(std::uint32_t ms) override {
        Event event(Event::Sleep);
        event.ms = ms;
        record(event);
        return safePoint();
    }
    void prepareRipple(std::uint8_t waveSize) override {
        Event event(Event::Prepare);
        event.waveSize = waveSize;
        record(event);
    }
    void releaseRipple() override { record(Event(Event::Release)); }
    void dropStep(RandomGenerator& random) override {
        draw(random);
        record(Event(Event::Drop));
    }
    bool surfacesLost() override { return false; }
    bool restoreSurfaces() override { return safePoint(); }

    // The change the show takes at its next safe point, merged as the mailbox does.
    void send(const SettingsChange& change) {
        if (!pending)
            pending = SettingsChange();
        mergeSettingsChange(*pending, change);
    }
    int count(Event::Kind kind) const {
        int n = 0;
        for (const Event& event : events)
            n += event.kind == kind;
        return n;
    }

    FakeFolders folders;
    std::vector<Event> events;
    std::function<void(const Event&)> after;
    std::function<bool()> stopWhen;
    std::optional<SettingsChange> pending;
    std::set<std::string> failing;
    int interruptions = 0;
    std::int32_t targetWidth = 4;
    // Each draw's generator state as handed in, and whether it was where the last draw
    // left it.
    std::vector<std::uint32_t> statesSeen;
    bool generatorWentOn = true;
    int safePoints = 0;
    bool stopped = false;

  private:
    void draw(RandomGenerator& random) {
        if (!statesSeen.empty() && random.state != left_)
            generatorWentOn = false;
        statesSeen.push_back(random.state);
        random.next();
        left_ = random.state;
    }
    std::uint32_t left_ = 0;
    bool safePoint() {
        ++safePoints;
        if (!stopped && stopWhen && stopWhen())
            stopped = true;
        // A show that goes on after a refused safe point would never end.
        if (stopped && safePoints > 100000)
            throw std::runtime_error("the show kept going after a stop");
        return !stopped;
    }
    void record(const Event& event) {
        if (stopped)
            ADD_FAILURE() << "event " << event.kind << " came after a refused safe point";
        events.push_back(event);
        if (after)
            after(events.back());
    }
};

SaverSettings showSettings(std::uint8_t dropPeriod) {
    SaverSettings record{};
    record.dropPeriod = dropPeriod;
    record.blurLevel = 1;
    record.waveSize = 2;
    for (FormatSwitches& format : record.formats)
        format.formatEnabled = 1;
    return record;
}

SettingsChange recordChange(const SaverSettings& record, std::uint8_t also = 0) {
    SettingsChange change;
    change.record = record;
    change.what = static_cast<std::uint8_t>(SettingsChange::Record | also);
    return change;
}

// A show over the fake's "pictures" folder that ends once `pictures` pictures have played:
// the safe point after the next picture's load refuses.
struct Show {
    explicit Show(std::uint8_t dropPeriod, int pictures = 2) {
        SettingsChange start;
        start.record = showSettings(dropPeriod);
        start.imagesFolder = "pictures";
        std::memset(name, 0, sizeof name);
        canvas.stopWhen = [this, pictures] { return canvas.count(Event::Load) > pictures; };
        show.emplace(canvas, start, RememberedPicture{name, &searchDone}, 1);
    }
    void run() { EXPECT_NO_THROW(show->run()); }

    // The events of picture `index` (0-based): from its load to the next load.
    std::vector<Event> picture(int index) const {
        std::vector<Event> found;
        int loads = -1;
        for (const Event& event : canvas.events) {
            if (event.kind == Event::Load)
                ++loads;
            if (loads == index)
                found.push_back(event);
        }
        return found;
    }
    static std::vector<RevealRequest> wholeReveals(const std::vector<Event>& events) {
        std::vector<RevealRequest> found;
        for (const Event& event : events)
            if (event.kind == Event::Reveal && event.whole)
                found.push_back(event.request);
        return found;
    }
    static int drops(const std::vector<Event>& events) {
        int n = 0;
        for (const Event& event : events)
            n += event.kind == Event::Drop;
        return n;
    }

    FakeCanvas canvas;
    char name[lastPictureNameSize];
    std::uint8_t searchDone = 1;
    std::optional<PictureShow> show;
};

// Sends `change` once, right after the `n`th event of `kind`.
std::function<void(const Event&)> sendAfter(FakeCanvas& canvas, Event::Kind kind, int n,
                                            SettingsChange change) {
    auto seen = std::make_shared<int>(0);
    return [&canvas, kind, n, change, seen](const Event& event) {
        if (event.kind == kind && ++*seen == n)
            canvas.send(change);
    };
}

} // namespace

TEST(PictureShowCycle, EachPictureGetsThirteenRevealsThenItsDropsOrTheHold) {
    Show drops(17);
    drops.run();
    EXPECT_EQ(Show::wholeReveals(drops.picture(0)).size(), revealStepCount);
    EXPECT_EQ(Show::drops(drops.picture(0)), 17 - 14);
    EXPECT_EQ(drops.canvas.count(Event::Sleep), 0);
    EXPECT_STREQ(drops.name, "c.bmp") << "the picture on screen is remembered";

    Show hold(14);
    hold.run();
    EXPECT_EQ(Show::wholeReveals(hold.picture(0)).size(), revealStepCount);
    EXPECT_EQ(hold.canvas.count(Event::Sleep), 2) << "one hold per picture";
    EXPECT_EQ(hold.canvas.count(Event::Drop), 0);
}

TEST(PictureShowSettings, PsychedeliaArrangementChangesAtTheNextPictureAndItsLevelAtOnce) {
    Show show(15);
    SaverSettings changed = showSettings(15);
    changed.psychedeliaLevel = 3;
    show.canvas.after = sendAfter(show.canvas, Event::Reveal, 5, recordChange(changed));
    show.run();
    const std::vector<RevealRequest> first = Show::wholeReveals(show.picture(0));
    ASSERT_EQ(first.size(), revealStepCount);
    const ChannelMap identity = channelMapFor(0);
    const ChannelMap third = channelMapFor(3);
    for (std::size_t step = 0; step < first.size(); ++step) {
        EXPECT_EQ(first[step].channelMap.redSlot, identity.redSlot) << "step " << step;
        // The live level switches 16-bit copying at once, with the running cycle's map.
        EXPECT_EQ(first[step].psychedeliaLevel, step < 5 ? 0 : 3) << "step " << step;
    }
    const std::vector<RevealRequest> second = Show::wholeReveals(show.picture(1));
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second[0].channelMap.redSlot, third.redSlot);
    EXPECT_EQ(second[0].channelMap.blueSlot, third.blueSlot);
}

TEST(PictureShowSettings, BlurScatterChangesFromTheNextPicture) {
    Show show(15);
    SaverSettings changed = showSettings(15);
    changed.blurLevel = 6;
    show.canvas.after = sendAfter(show.canvas, Event::Reveal, 2, recordChange(changed));
    show.run();
    for (const RevealRequest& step : Show::wholeReveals(show.picture(0)))
        EXPECT_EQ(step.scatterCount, 1);
    for (const RevealRequest& step : Show::wholeReveals(show.picture(1)))
        EXPECT_EQ(step.scatterCount, 6);
}

TEST(PictureShowSettings, UsagePeriodActsWithinTheRunningCycle) {
    // From 30 to 16 after the first drop: the cycle ends after step 15, with two drops.
    Show shorter(30);
    shorter.canvas.after =
        sendAfter(shorter.canvas, Event::Drop, 1, recordChange(showSettings(16)));
    shorter.run();
    EXPECT_EQ(Show::drops(shorter.picture(0)), 2);
    EXPECT_EQ(Show::drops(shorter.picture(1)), 2);

    // From 14 to 20 during the reveal: the hold becomes a pass and six drops follow.
    Show longer(14);
    longer.canvas.after =
        sendAfter(longer.canvas, Event::Reveal, 3, recordChange(showSettings(20)));
    longer.run();
    EXPECT_EQ(longer.canvas.count(Event::Sleep), 0);
    EXPECT_EQ(Show::drops(longer.picture(0)), 20 - 14);
}

TEST(PictureShowSettings, WaveSizeRebuildComesBetweenTwoDropsAndKeepsTheCycle) {
    Show show(20);
    SaverSettings bigger = showSettings(20);
    bigger.waveSize = 5;
    show.canvas.after =
        sendAfter(show.canvas, Event::Drop, 2, recordChange(bigger, SettingsChange::WaveSurface));
    show.run();
    const std::vector<Event> first = show.picture(0);
    std::vector<Event::Kind> kinds;
    for (const Event& event : first)
        if (event.kind == Event::Drop || event.kind == Event::Release ||
            event.kind == Event::Prepare)
            kinds.push_back(event.kind);
    const std::vector<Event::Kind> expected = {Event::Drop,    Event::Drop, Event::Release,
                                               Event::Prepare, Event::Drop, Event::Drop,
                                               Event::Drop,    Event::Drop};
    EXPECT_EQ(kinds, expected) << "rebuilt once, after the whole second drop";
    EXPECT_EQ(Show::drops(first), 6) << "the cycle went on where it was";
    EXPECT_EQ(Show::wholeReveals(first).size(), revealStepCount);
    for (const Event& event : first) {
        if (event.kind == Event::Prepare) {
            EXPECT_EQ(event.waveSize, 5);
        }
    }
    EXPECT_EQ(show.canvas.count(Event::Load), 3) << "no picture loaded again";
}

TEST(PictureShowSettings, WaveSizeRebuildDuringTheRevealDoesNotRestartTheCycle) {
    Show show(15);
    SaverSettings bigger = showSettings(15);
    bigger.waveSize = 4;
    show.canvas.after =
        sendAfter(show.canvas, Event::Reveal, 6, recordChange(bigger, SettingsChange::WaveSurface));
    show.run();
    EXPECT_EQ(Show::wholeReveals(show.picture(0)).size(), revealStepCount);
    EXPECT_EQ(show.canvas.count(Event::Release), 1);
    EXPECT_EQ(show.canvas.folders.opens, 1) << "the scan went on";
}

TEST(PictureShowSettings, WaveSizeWithoutARebuildKeepsTheWaterAsItIs) {
    // A thumb dragged, or "Restore defaults": the record changes, the water does not.
    Show show(16);
    SaverSettings moved = showSettings(16);
    moved.waveSize = 7;
    show.canvas.after = sendAfter(show.canvas, Event::Drop, 1, recordChange(moved));
    show.run();
    EXPECT_EQ(show.canvas.count(Event::Prepare), 1) << "only the first preparation";
    EXPECT_EQ(show.canvas.count(Event::Release), 0);
    EXPECT_EQ(show.show->settings().waveSize, 7);
}

TEST(PictureShowSettings, NewFolderIsScannedFromTheNextPicture) {
    Show show(14, 3);
    show.canvas.folders.folders["other"] = {"x.bmp", "y.bmp"};
    SettingsChange change;
    change.imagesFolder = "other";
    change.what = SettingsChange::ImagesFolder;
    show.canvas.after = sendAfter(show.canvas, Event::Reveal, 4, change);
    show.run();
    std::vector<std::string> loads;
    for (const Event& event : show.canvas.events)
        if (event.kind == Event::Load)
            loads.push_back(event.name);
    EXPECT_EQ(loads, (std::vector<std::string>{"a.bmp", "x.bmp", "y.bmp", "x.bmp"}));
    EXPECT_EQ(Show::wholeReveals(show.picture(0)).size(), revealStepCount);
}

TEST(PictureShowHold, InterruptedRevealStepsAreResumedAndCountedOnceEvenThePicturesFirst) {
    for (int interruptions : {1, 5, 40}) {
        Show show(14, 1);
        show.canvas.interruptions = interruptions;
        show.run();
        const std::vector<Event> first = show.picture(0);
        int parts = 0;
        for (const Event& event : first)
            parts += event.kind == Event::Reveal && !event.whole;
        EXPECT_EQ(parts, interruptions);
        EXPECT_EQ(Show::wholeReveals(first).size(), revealStepCount)
            << interruptions << " interruptions: every step is whole before the hold";
        // Each step waits for its refresh only once it is whole.
        EXPECT_EQ(show.canvas.count(Event::Refresh), revealStepCount);
    }
}

TEST(PictureShowStop, EverySafePointEndsTheShowWithoutAnotherDraw) {
    // Count the safe points of two pictures with drops and one with the hold.
    int total = 0;
    for (std::uint8_t period : {std::uint8_t(14), std::uint8_t(16)}) {
        Show probe(period);
        probe.run();
        total += probe.canvas.safePoints;
    }
    ASSERT_GT(total, 40);
    for (std::uint8_t period : {std::uint8_t(14), std::uint8_t(16)}) {
        for (int stopAt = 1; stopAt <= total; ++stopAt) {
            Show show(period);
            show.canvas.stopWhen = [&show, stopAt] { return show.canvas.safePoints >= stopAt; };
            show.run();
            EXPECT_TRUE(show.canvas.stopped || show.canvas.safePoints < stopAt);
            EXPECT_FALSE(show.canvas.folders.isOpen()) << "the scan is closed on the way out";
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << "period " << int(period) << ", stopped at safe point " << stopAt;
                return;
            }
        }
    }
}

TEST(PictureShowStop, TargetWithoutPixelsEndsTheShowBeforeAnyDraw) {
    Show show(14);
    show.canvas.targetWidth = 0;
    show.run();
    EXPECT_TRUE(show.canvas.events.empty());
}

TEST(PictureShowRandom, OneGeneratorFromTheSeedGoesOnThroughRevealsDropsAndPictures) {
    Show show(16, 2);
    show.run();
    ASSERT_EQ(show.canvas.statesSeen.size(), 2u * (revealStepCount + 2)) << "two pictures";
    EXPECT_EQ(show.canvas.statesSeen.front(), 1u) << "the first draw starts from the seed";
    EXPECT_TRUE(show.canvas.generatorWentOn)
        << "every reveal step and drop goes on from the draws of the one before";
}

TEST(PictureShowFruitlessPass, NothingShownWaitsLongerEachPassUntilAPictureLoads) {
    // Drops instead of the hold, so that every sleep is a wait between passes.
    Show show(15);
    FakeCanvas& canvas = show.canvas;
    canvas.failing = {"a.bmp", "b.bmp", "c.bmp"};
    std::vector<std::uint32_t> waits;
    std::vector<int> loadsBeforeWait;
    canvas.after = [&](const Event& event) {
        if (event.kind == Event::Sleep) {
            waits.push_back(event.ms);
            loadsBeforeWait.push_back(canvas.count(Event::Load));
            if (waits.size() == 7)
                canvas.failing.erase("b.bmp"); // mended while the show waits
            if (waits.size() == 8)
                canvas.folders.folders["pictures"].push_back("d.bmp"); // a new file
        }
        if (event.kind == Event::Drop && canvas.count(Event::Drop) == 1)
            canvas.failing.insert("b.bmp"); // broken again once it has shown
    };
    canvas.stopWhen = [&] {
        return canvas.count(Event::Load) > 200 ||
               (!canvas.events.empty() && canvas.events.back().name == "d.bmp");
    };
    show.run();
    EXPECT_EQ(waits, (std::vector<std::uint32_t>{250, 500, 1000, 2000, 4000, 4000, 4000, 250}))
        << "backing off to a few seconds, and from the start again after a picture showed";
    EXPECT_EQ(loadsBeforeWait, (std::vector<int>{3, 6, 9, 12, 15, 18, 21, 27}))
        << "one whole pass between two waits; none after the pass that showed b.bmp";
    EXPECT_EQ(canvas.events.back().name, "d.bmp") << "the new file at the next scan";
    EXPECT_EQ(canvas.count(Event::Reveal), revealStepCount) << "only b.bmp was revealed";

    // A key during the wait ends the show there.
    Show stopped(15);
    stopped.canvas.failing = {"a.bmp", "b.bmp", "c.bmp"};
    stopped.canvas.stopWhen = [&] {
        return stopped.canvas.count(Event::Sleep) > 0 || stopped.canvas.count(Event::Load) > 50;
    };
    stopped.run();
    EXPECT_EQ(stopped.canvas.count(Event::Load), 3);
}
