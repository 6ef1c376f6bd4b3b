#include "host/shutdown_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Writes down the steps in the order they are asked for.
class RecordedSteps : public ShutdownSteps {
  public:
    std::string log;
    void holdRender() override { log += "hold "; }
    void captureFrame(bool install) override { log += install ? "capture+install " : "capture "; }
    void restoreDisplayMode() override { log += "restore "; }
    void stopRenderThread() override { log += "stop "; }
    void writeRememberedPicture() override { log += "fsl "; }
    void minimizeWindow() override { log += "minimize "; }
};

ShutdownFacts fullScreenRun() {
    ShutdownFacts facts;
    facts.mode = RunMode::Saver;
    facts.wallpaperGenerator = 1;
    facts.videoMode = 3;
    facts.displayModeChanged = true;
    facts.hasDirectDraw = true;
    facts.hasPrimarySurface = true;
    facts.hasRenderThread = true;
    return facts;
}

std::string stepsFor(const ShutdownFacts& facts) {
    ShutdownOnce once;
    RecordedSteps steps;
    runShutdown(once, facts, steps);
    return steps.log;
}

TEST(ShutdownPlan, FullScreenRunCapturesBeforeTheModeGoesBackAndStopsTheThreadLast) {
    EXPECT_EQ(stepsFor(fullScreenRun()), "hold capture+install restore stop fsl minimize ");
}

TEST(ShutdownPlan, WallpaperGeneratorOffWritesNoFrame) {
    ShutdownFacts facts = fullScreenRun();
    facts.wallpaperGenerator = 0;
    EXPECT_EQ(stepsFor(facts), "hold restore stop fsl minimize ");
}

TEST(ShutdownPlan, OtherGeneratorValuesCaptureWithoutInstalling) {
    ShutdownFacts facts = fullScreenRun();
    facts.wallpaperGenerator = 2;
    EXPECT_EQ(stepsFor(facts), "hold capture restore stop fsl minimize ");
}

TEST(ShutdownPlan,
     ConfigureAndPreviewCaptureNothingAndLeaveTheModeButRememberASavedFoldersPicture) {
    for (RunMode mode : {RunMode::Configure, RunMode::Preview}) {
        ShutdownFacts facts = fullScreenRun();
        facts.mode = mode;
        if (mode == RunMode::Preview)
            facts.hasRenderThread = false; // the control panel's preview only paints
        const std::string expected =
            mode == RunMode::Preview ? "fsl minimize " : "hold stop fsl minimize ";
        EXPECT_EQ(stepsFor(facts), expected)
            << (mode == RunMode::Preview ? "preview" : "configure");
    }
    // A folder chosen in the dialog and cancelled: its picture is not remembered.
    ShutdownFacts cancelled = fullScreenRun();
    cancelled.mode = RunMode::Configure;
    cancelled.previewFolderSaved = false;
    EXPECT_EQ(stepsFor(cancelled), "hold stop minimize ");
}

TEST(ShutdownPlan, DisplayModeIsPutBackOnlyWhenTheSaverChangedIt) {
    ShutdownFacts facts = fullScreenRun();
    facts.videoMode = 0;
    EXPECT_EQ(stepsFor(facts), "hold capture+install stop fsl minimize ") << "desktop's mode";
    facts = fullScreenRun();
    facts.displayModeChanged = false;
    EXPECT_EQ(stepsFor(facts), "hold capture+install stop fsl minimize ") << "mode refused";
}

TEST(ShutdownPlan, FailedDisplaySetUpSkipsCaptureAndRestore) {
    ShutdownFacts facts = fullScreenRun();
    facts.hasDirectDraw = false;
    facts.hasPrimarySurface = false;
    facts.hasRenderThread = false;
    EXPECT_EQ(stepsFor(facts), "fsl minimize ");
}

TEST(ShutdownPlan, KeyThenDestroyRunsOneShutdown) {
    ShutdownOnce once;
    RecordedSteps steps;
    EXPECT_TRUE(runShutdown(once, fullScreenRun(), steps)) << "the key";
    const std::string first = steps.log;
    EXPECT_FALSE(runShutdown(once, fullScreenRun(), steps)) << "WM_DESTROY";
    EXPECT_EQ(steps.log, first);
}

TEST(ShutdownPlan, EndingsFromSeveralThreadsAtOnceRunOneShutdown) {
    ShutdownOnce once;
    std::vector<int> ran(8, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&once, &ran, i] {
            RecordedSteps steps;
            ran[i] = runShutdown(once, fullScreenRun(), steps) ? 1 : 0;
        });
    for (std::thread& thread : threads)
        thread.join();
    int total = 0;
    for (int r : ran)
        total += r;
    EXPECT_EQ(total, 1);
}

} // namespace
