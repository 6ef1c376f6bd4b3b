// Which picture format a file name selects by its last letters.
#pragma once

#include "pictures/picture_format.h"

#include <optional>

// "bmp", "jpeg", "jpg", "gif" or "emf" at the end of the name, letters in either case,
// no dot needed. Anything else, or no name, selects none.
std::optional<PictureFormat> pictureFormatOf(const char* name);
