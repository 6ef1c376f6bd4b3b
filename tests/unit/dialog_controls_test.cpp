#include "settings/dialog_controls.h"

#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

class FakeControls : public ControlReader {
  public:
    std::map<int, long> positions;
    std::set<int> checkedIds;
    long selection = 0;

    long sliderPosition(int id) const override {
        auto found = positions.find(id);
        return found == positions.end() ? 0 : found->second;
    }
    bool checked(int id) const override { return checkedIds.count(id) != 0; }
    long comboSelection() const override { return selection; }
};

TEST(SettingsDialogControls, OkTakesEveryFieldFromItsControl) {
    FakeControls controls;
    controls.positions = {
        {IDC_BLUR, 7}, {IDC_USAGE_PERIOD, 33}, {IDC_WAVE_SIZE, 4}, {IDC_PSYCHEDELIA, 3}};
    controls.checkedIds = {IDC_WALLPAPER_GENERATOR, IDC_FORMAT_GIF, IDC_CUT_GIF, IDC_FORMAT_EMF,
                           IDC_CUT_BMP};
    controls.selection = 2;
    const SaverSettings record = recordFromControls(controls);
    EXPECT_EQ(record.blurLevel, 7);
    EXPECT_EQ(record.dropPeriod, 33);
    EXPECT_EQ(record.waveSize, 4);
    EXPECT_EQ(record.psychedeliaLevel, 3);
    EXPECT_EQ(record.rememberPicture, 0);
    EXPECT_EQ(record.wallpaperGenerator, 1);
    EXPECT_EQ(record.videoMode, 2);
    const std::uint8_t expectedFormats[8] = {0, 1, 1, 1, 0, 0, 1, 0};
    const auto* formats = reinterpret_cast<const std::uint8_t*>(record.formats);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(formats[i], expectedFormats[i]) << "format byte " << i;
}

TEST(SettingsDialogControls, OkWithNoVideoModeSelectedStoresAllOnes) {
    FakeControls controls;
    controls.selection = -1;
    EXPECT_EQ(recordFromControls(controls).videoMode, 0xFFFF);
}

TEST(SettingsDialogControls, EveryCheckBoxWritesItsOwnRecordByte) {
    const int ids[] = {IDC_REMEMBER_PICTURE, IDC_WALLPAPER_GENERATOR,
                       IDC_FORMAT_BMP,       IDC_CUT_BMP,
                       IDC_FORMAT_GIF,       IDC_CUT_GIF,
                       IDC_FORMAT_JPEG,      IDC_CUT_JPEG,
                       IDC_FORMAT_EMF,       IDC_CUT_EMF};
    const std::size_t offsets[] = {3, 4, 8, 9, 10, 11, 12, 13, 14, 15};
    SaverSettings record = {};
    for (std::size_t i = 0; i < sizeof(ids) / sizeof(ids[0]); ++i) {
        std::uint8_t* field = checkBoxField(record, ids[i]);
        ASSERT_NE(field, nullptr) << "check box " << ids[i];
        EXPECT_EQ(field - reinterpret_cast<std::uint8_t*>(&record),
                  static_cast<std::ptrdiff_t>(offsets[i]))
            << "record byte of check box " << ids[i];
    }
    for (int other : {IDC_SETTINGS_OK, IDC_SETTINGS_CANCEL, IDC_VIDEO_MODE, IDC_BLUR, IDC_HOME_PAGE,
                      IDC_SET_IMAGES_FOLDER, IDC_RESTORE_DEFAULTS, 1020, 1021})
        EXPECT_EQ(checkBoxField(record, other), nullptr) << "id " << other;
}

TEST(SettingsDialogControls, SlidersHaveTheirRangesAndFields) {
    struct Expected {
        int id, minimum, maximum;
        std::size_t offset;
    } expected[] = {{IDC_BLUR, 0, 10, 2},
                    {IDC_USAGE_PERIOD, 14, 50, 0},
                    {IDC_WAVE_SIZE, 0, 4, 5},
                    {IDC_PSYCHEDELIA, 0, 5, 1}};
    SaverSettings record = {};
    for (const Expected& e : expected) {
        const SliderControl* slider = sliderFor(e.id);
        ASSERT_NE(slider, nullptr) << "slider " << e.id;
        EXPECT_EQ(slider->minimum, e.minimum) << "slider " << e.id;
        EXPECT_EQ(slider->maximum, e.maximum) << "slider " << e.id;
        EXPECT_EQ(&(record.*slider->field) - reinterpret_cast<std::uint8_t*>(&record),
                  static_cast<std::ptrdiff_t>(e.offset))
            << "record byte of slider " << e.id;
    }
    EXPECT_EQ(sliderFor(IDC_VIDEO_MODE), nullptr);
}

TEST(SettingsDialogControls, ScrollValueFollowsTheThumbWhileDraggedAndAsksOtherwise) {
    EXPECT_EQ(sliderValue(sliderThumbTrack, 9, 3), 9);
    EXPECT_EQ(sliderValue(sliderThumbPosition, 12, 3), 12);
    EXPECT_EQ(sliderValue(sliderEndTrack, 0, 3), 3);
    EXPECT_EQ(sliderValue(0 /* line up */, 40, 21), 21);
    EXPECT_EQ(sliderValue(sliderThumbTrack, 0x1FF, 0), 0xFF) << "only the low byte is stored";
}

TEST(SettingsDialogChanges, OnlyTheWaveSizesEndOfTrackRebuildsTheWaterWhileRendering) {
    const std::uint8_t rebuild = SettingsChange::Record | SettingsChange::WaveSurface;
    EXPECT_EQ(sliderChangeFlags(IDC_WAVE_SIZE, sliderEndTrack, true), rebuild);
    EXPECT_EQ(sliderChangeFlags(IDC_WAVE_SIZE, sliderEndTrack, false), SettingsChange::Record)
        << "no render thread to rebuild";
    for (int code : {sliderThumbTrack, sliderThumbPosition, 0, 1, 2, 3, 6, 7})
        EXPECT_EQ(sliderChangeFlags(IDC_WAVE_SIZE, code, true), SettingsChange::Record)
            << "code " << code << " moves the thumb; the water waits for its release";
    for (int id : {IDC_BLUR, IDC_USAGE_PERIOD, IDC_PSYCHEDELIA})
        EXPECT_EQ(sliderChangeFlags(id, sliderEndTrack, true), SettingsChange::Record) << id;
    EXPECT_EQ(sliderChangeFlags(IDC_FORMAT_BMP, sliderEndTrack, true), 0) << "not a slider";
}

TEST(SettingsDialogChanges, RestoreDefaultsResetsTheSlidersAndKeepsThePreviewsWaterSize) {
    SaverSettings shown{};
    shown.blurLevel = 9;
    shown.dropPeriod = 40;
    shown.waveSize = 6;
    shown.psychedeliaLevel = 5;
    shown.rememberPicture = 1;
    shown.wallpaperGenerator = 1;
    shown.videoMode = 3;
    shown.formats[FormatEmf] = {1, 1};
    shown.formats[FormatBmp] = {0, 1};
    const SaverSettings defaults = defaultSettings();
    const SaverSettings restored = restoredDefaults(shown);
    EXPECT_EQ(restored.blurLevel, defaults.blurLevel);
    EXPECT_EQ(restored.dropPeriod, defaults.dropPeriod);
    EXPECT_EQ(restored.waveSize, defaults.waveSize) << "the record holds the default at once";
    EXPECT_EQ(restored.psychedeliaLevel, defaults.psychedeliaLevel);
    // Left for OK to read from the controls; the formats are outside the "Mode" group.
    EXPECT_EQ(restored.rememberPicture, 1);
    EXPECT_EQ(restored.wallpaperGenerator, 1);
    EXPECT_EQ(restored.videoMode, 3);
    EXPECT_EQ(restored.formats[FormatEmf].formatEnabled, 1);
    EXPECT_EQ(restored.formats[FormatBmp].formatCutBackground, 1);
    EXPECT_EQ(restoreDefaultsChange & SettingsChange::WaveSurface, 0)
        << "the preview keeps its water size until the slider is next let go";
}

TEST(SettingsDialogChanges, LaterChangesMergeIntoTheOneWaiting) {
    SettingsChange pending;
    SettingsChange folder;
    folder.imagesFolder = "D:\\pictures";
    folder.what = SettingsChange::ImagesFolder;
    mergeSettingsChange(pending, folder);

    SettingsChange wave;
    wave.record.waveSize = 5;
    wave.what = SettingsChange::Record | SettingsChange::WaveSurface;
    mergeSettingsChange(pending, wave);

    SettingsChange blur;
    blur.record.waveSize = 5;
    blur.record.blurLevel = 4;
    blur.imagesFolder = "ignored: this change carries no folder";
    blur.what = SettingsChange::Record;
    mergeSettingsChange(pending, blur);

    EXPECT_EQ(pending.what,
              SettingsChange::Record | SettingsChange::ImagesFolder | SettingsChange::WaveSurface)
        << "no part of an earlier change is lost";
    EXPECT_EQ(pending.imagesFolder, "D:\\pictures");
    EXPECT_EQ(pending.record.blurLevel, 4) << "the latest record wins";
    EXPECT_EQ(pending.record.waveSize, 5);
}

TEST(SettingsDialogChanges, EachChangeIsTakenOnceWithTheLatestRecordAndEveryFlag) {
    SettingsChanges changes;
    SaverSettings loaded{};
    loaded.blurLevel = 1;
    changes.seed(loaded, "images");
    SettingsChange taken;
    EXPECT_FALSE(changes.take(taken)) << "nothing changed since the load";

    SettingsChange folder;
    folder.imagesFolder = "D:\\other";
    folder.what = SettingsChange::ImagesFolder;
    changes.post(folder);
    SettingsChange blur;
    blur.record = loaded;
    blur.record.blurLevel = 5;
    blur.what = SettingsChange::Record;
    changes.post(blur);

    ASSERT_TRUE(changes.take(taken));
    EXPECT_EQ(taken.what, SettingsChange::Record | SettingsChange::ImagesFolder);
    EXPECT_EQ(taken.record.blurLevel, 5);
    EXPECT_EQ(taken.imagesFolder, "D:\\other");
    EXPECT_FALSE(changes.take(taken)) << "a change is taken once";
}

TEST(SettingsDialogChanges, AShowStartedAnewBeginsWithEveryChangeMadeSoFar) {
    // A preview of a new size starts a new render thread after the old one took changes.
    SettingsChanges changes;
    changes.seed(SaverSettings{}, "images");
    SettingsChange wave;
    wave.record.waveSize = 4;
    wave.record.psychedeliaLevel = 2;
    wave.what = SettingsChange::Record | SettingsChange::WaveSurface;
    changes.post(wave);
    SettingsChange taken;
    ASSERT_TRUE(changes.take(taken));

    const SettingsChange start = changes.latest();
    EXPECT_EQ(start.record.waveSize, 4);
    EXPECT_EQ(start.record.psychedeliaLevel, 2);
    EXPECT_EQ(start.imagesFolder, "images") << "a folder never changed stays the loaded one";
    EXPECT_EQ(start.what, 0) << "the new show builds its water for the latest size anyway";
}

TEST(SettingsDialogPreview, WhollyOnScreenNeedsEveryEdgeInsideAndStrictlyBeforeTheFarEdges) {
    const int w = 1024, h = 768;
    EXPECT_TRUE(previewWhollyOnScreen({0, 0, 400, 230}, w, h));
    EXPECT_TRUE(previewWhollyOnScreen({600, 500, 1023, 767}, w, h));
    EXPECT_FALSE(previewWhollyOnScreen({-1, 10, 399, 240}, w, h)) << "crosses the left edge";
    EXPECT_FALSE(previewWhollyOnScreen({10, -1, 410, 229}, w, h)) << "crosses the top edge";
    EXPECT_FALSE(previewWhollyOnScreen({624, 10, 1024, 240}, w, h)) << "touches the right edge";
    EXPECT_FALSE(previewWhollyOnScreen({10, 538, 410, 768}, w, h)) << "touches the bottom edge";
    EXPECT_FALSE(previewWhollyOnScreen({900, 10, 1300, 240}, w, h)) << "crosses the right edge";
}

TEST(SettingsDialogPreview, OffScreenFreezeKeepsExactlyOneHoldUntilThePreviewIsBack) {
    PreviewFreeze freeze;
    int holds = 0;
    // Every move takes one hold while it measures, then gives back what it is told to.
    auto move = [&](bool onScreen) {
        ++holds;
        holds -= freeze.releaseAfterMove(onScreen);
        return holds;
    };
    EXPECT_EQ(move(true), 0) << "a move on the screen leaves nothing held";
    EXPECT_EQ(move(false), 1) << "moving off the screen freezes with one hold";
    EXPECT_TRUE(freeze.frozen());
    EXPECT_EQ(move(false), 1) << "further moves off the screen add nothing";
    EXPECT_EQ(move(false), 1);
    EXPECT_EQ(move(true), 0) << "the first move wholly back releases the freeze";
    EXPECT_FALSE(freeze.frozen());
    EXPECT_EQ(move(true), 0);
    EXPECT_EQ(move(false), 1) << "a second trip off the screen freezes again";
}

} // namespace
