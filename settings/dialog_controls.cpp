#include "settings/dialog_controls.h"

#include "resources/resource_ids.h"

const SliderControl sliderControls[sliderControlCount] = {
    {IDC_BLUR, &SaverSettings::blurLevel, 0, blurMax},
    {IDC_USAGE_PERIOD, &SaverSettings::dropPeriod, dropPeriodMin, dropPeriodMax},
    {IDC_WAVE_SIZE, &SaverSettings::waveSize, 0, waveSizeMax},
    {IDC_PSYCHEDELIA, &SaverSettings::psychedeliaLevel, 0, psychedeliaMax},
};

const SliderControl* sliderFor(int id) {
    for (const SliderControl& slider : sliderControls)
        if (slider.id == id)
            return &slider;
    return nullptr;
}

std::uint8_t* checkBoxField(SaverSettings& record, int id) {
    switch (id) {
    case IDC_REMEMBER_PICTURE:
        return &record.rememberPicture;
    case IDC_WALLPAPER_GENERATOR:
        return &record.wallpaperGenerator;
    default:
        break;
    }
    if (id >= IDC_FORMAT_BMP && id < IDC_FORMAT_BMP + pictureFormatCount)
        return &record.formats[id - IDC_FORMAT_BMP].formatEnabled;
    if (id >= IDC_CUT_BMP && id < IDC_CUT_BMP + pictureFormatCount)
        return &record.formats[id - IDC_CUT_BMP].formatCutBackground;
    return nullptr;
}

std::uint8_t sliderValue(int code, int carriedPosition, long askedPosition) {
    const long value = (code == sliderThumbTrack || code == sliderThumbPosition)
                           ? static_cast<long>(carriedPosition)
                           : askedPosition;
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t sliderChangeFlags(int id, int code, bool rendering) {
    if (!sliderFor(id))
        return 0;
    if (id == IDC_WAVE_SIZE && code == sliderEndTrack && rendering)
        return SettingsChange::Record | SettingsChange::WaveSurface;
    return SettingsChange::Record;
}

SaverSettings restoredDefaults(const SaverSettings& shown) {
    const SaverSettings defaults = defaultSettings();
    SaverSettings restored = shown;
    for (const SliderControl& slider : sliderControls)
        restored.*slider.field = defaults.*slider.field;
    return restored;
}

SaverSettings recordFromControls(const ControlReader& controls) {
    SaverSettings record = {};
    for (const SliderControl& slider : sliderControls)
        record.*slider.field = static_cast<std::uint8_t>(controls.sliderPosition(slider.id));
    record.rememberPicture = controls.checked(IDC_REMEMBER_PICTURE) ? 1 : 0;
    record.wallpaperGenerator = controls.checked(IDC_WALLPAPER_GENERATOR) ? 1 : 0;
    // No selection reads as -1, which 16 bits keep as 0xFFFF.
    record.videoMode = static_cast<std::uint16_t>(controls.comboSelection());
    for (int i = 0; i < pictureFormatCount; ++i) {
        record.formats[i].formatEnabled = controls.checked(IDC_FORMAT_BMP + i) ? 1 : 0;
        record.formats[i].formatCutBackground = controls.checked(IDC_CUT_BMP + i) ? 1 : 0;
    }
    return record;
}

bool previewWhollyOnScreen(const PreviewRect& preview, std::int32_t screenWidth,
                           std::int32_t screenHeight) {
    return preview.left >= 0 && preview.top >= 0 && preview.right < screenWidth &&
           preview.bottom < screenHeight;
}

int PreviewFreeze::releaseAfterMove(bool whollyOnScreen) {
    if (!whollyOnScreen) {
        if (frozen_)
            return 1;
        frozen_ = true;
        return 0;
    }
    if (frozen_) {
        frozen_ = false;
        return 2;
    }
    return 1;
}
