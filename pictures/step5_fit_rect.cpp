#include "pictures/step5_fit_rect.h"

#include <climits>

namespace {

// Truncates towards zero, held inside int so that a far shift cannot overflow.
int truncateToInt(double value) {
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

} // namespace

SourceRect fitSourceRect(int bitmapWidth, int bitmapHeight, int surfaceWidth, int surfaceHeight,
                         int sourceX, int sourceY) {
    // A zero or negative size would divide by zero or give a meaningless stretch.
    if (bitmapWidth <= 0 || bitmapHeight <= 0 || surfaceWidth <= 0 || surfaceHeight <= 0)
        return {};

    const double w = bitmapWidth;
    const double h = bitmapHeight;
    const double surfaceW = surfaceWidth;
    const double surfaceH = surfaceHeight;
    double excessWidth = w - h * (surfaceW / surfaceH);
    double excessHeight = h - w * (surfaceH / surfaceW);
    if (excessWidth < 0)
        excessWidth = 0;
    if (excessHeight < 0)
        excessHeight = 0;

    SourceRect rect;
    rect.x = truncateToInt(0.5 * excessWidth + sourceX);
    rect.y = truncateToInt(0.5 * excessHeight + sourceY);
    rect.width = truncateToInt(w - excessWidth);
    rect.height = truncateToInt(h - excessHeight);
    // A sliver of a picture (one pixel wide and very tall, say) would truncate to nothing
    // and leave the surface undrawn; its one row or column is still worth showing.
    if (rect.width < 1)
        rect.width = 1;
    if (rect.height < 1)
        rect.height = 1;
    return rect;
}
