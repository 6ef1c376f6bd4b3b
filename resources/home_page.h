// The product's home page, opened by the preview, the settings dialog and its link.
#pragma once

constexpr const char* homePageUrl = "https://vellutor.github.io/";
