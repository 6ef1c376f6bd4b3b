// How the settings dialog's controls map onto the settings record, and the rules the
// dialog applies to them. Portable, so that the rules are tested natively.
#pragma once

#include "engine/settings_change.h"
#include "settings/settings_record.h"

#include <cstdint>

struct SliderControl {
    int id;
    std::uint8_t SaverSettings::*field;
    int minimum;
    int maximum;
};

// In the order OK reads them: blur, usage period, wave size, psychedelia.
constexpr int sliderControlCount = 4;
extern const SliderControl sliderControls[sliderControlCount];

// The slider with this control id, or null.
const SliderControl* sliderFor(int id);
// The record byte behind a check box, or null for an id that is none of them.
std::uint8_t* checkBoxField(SaverSettings& record, int id);

// Trackbar notification codes that carry the thumb's position themselves.
constexpr int sliderThumbPosition = 4;
constexpr int sliderThumbTrack = 5;
constexpr int sliderEndTrack = 8;
// The value a scroll notification stands for: the carried position while the thumb is
// dragged or dropped, the slider's own position for every other code. Only the low byte
// reaches the record.
std::uint8_t sliderValue(int code, int carriedPosition, long askedPosition);

// What a slider's scroll notification sends to the preview: the record, and for the wave
// size's end of track while a render thread runs also a rebuild of the water surface, so
// that it is rebuilt once per finished change, not on every step of the thumb.
std::uint8_t sliderChangeFlags(int id, int code, bool rendering);

// "Restore defaults": the sliders' fields of `shown` set to the defaults, every other field
// left as it is (OK reads those from the controls). The change it sends carries no rebuild
// of the water surface, so the preview keeps its water size until the slider is next let go.
SaverSettings restoredDefaults(const SaverSettings& shown);
constexpr std::uint8_t restoreDefaultsChange = SettingsChange::Record;

// What OK asks of the controls.
class ControlReader {
  public:
    virtual ~ControlReader() = default;
    virtual long sliderPosition(int id) const = 0;
    virtual bool checked(int id) const = 0;
    // -1 when nothing is selected.
    virtual long comboSelection() const = 0;
};
// The record as the controls show it: every field from its control, whatever the live
// handlers did before. The images folder is not part of it.
SaverSettings recordFromControls(const ControlReader& controls);

// The preview freezes while any part of it lies off the primary screen; an edge that
// touches the screen's right or bottom edge counts as off.
struct PreviewRect {
    std::int32_t left, top, right, bottom;
};
bool previewWhollyOnScreen(const PreviewRect& preview, std::int32_t screenWidth,
                           std::int32_t screenHeight);

// Keeps one hold on the render thread for as long as the preview is off the screen. Every
// move takes a hold while it measures the preview; releaseAfterMove says how many holds the
// move must then give back: 0 when it keeps its own as the freeze, 2 when the preview
// came back and the freeze ends too, 1 otherwise.
class PreviewFreeze {
  public:
    int releaseAfterMove(bool whollyOnScreen);
    bool frozen() const { return frozen_; }

  private:
    bool frozen_ = false;
};
