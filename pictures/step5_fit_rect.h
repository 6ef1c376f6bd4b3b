// The part of a bitmap that is stretched over the surface so that the picture keeps its
// aspect ratio and fills the surface without borders.
#pragma once

struct SourceRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

// bitmapWidth x bitmapHeight is the source size (w x h), surfaceWidth x surfaceHeight the
// surface's (W x H). The excess of the picture beyond the surface's shape is cut evenly on
// both sides; sourceX and sourceY shift the rectangle. A degenerate size of either gives
// an empty rectangle.
SourceRect fitSourceRect(int bitmapWidth, int bitmapHeight, int surfaceWidth, int surfaceHeight,
                         int sourceX, int sourceY);
