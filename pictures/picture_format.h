// The picture formats the saver shows.
#pragma once

// In the fixed order of the settings record and of the dialog's check boxes.
enum PictureFormat : int { FormatBmp = 0, FormatGif = 1, FormatJpeg = 2, FormatEmf = 3 };
constexpr int pictureFormatCount = 4;
