// Decoding a picture file and fitting it over the off-screen DirectDraw surface.
#pragma once

#include <windows.h>

#include <ddraw.h>
#include <olectl.h>

#include "pictures/picture_format.h"
#include "resources/win/scoped.h"
#include "resources/win/surface_dc.h"

// A picture's road: the file at path is read once and checked as the format the folder walk
// chose, decoded (a JPEG at the scale the surface needs), turned upright and drawn over the
// whole surface: BMP scaled to the surface, EMF played into it, GIF and JPEG centre-cropped
// to its shape. Returns 0, -1 for a picture that cannot be loaded, or the failing call's
// HRESULT.
long loadPictureToSurface(IDirectDrawSurface3* surface, const char* path, PictureFormat format,
                          bool cutBackground);

// Lets the calling thread be left alone while it reads and decodes, which may take seconds:
// `detach` is called once the surface's size is known, before the file is read; `attach`
// before the surface is touched again. When `attach` returns false the picture is given up
// (-1) without touching the surface.
class DecodeFence {
  public:
    virtual ~DecodeFence() = default;
    virtual void detach() const = 0;
    virtual bool attach() const = 0;
};
long loadPictureToSurface(IDirectDrawSurface3* surface, const char* path, PictureFormat format,
                          bool cutBackground, const DecodeFence& fence);

// As above, onto the bitmap selected into the memory context `target`, width x height
// pixels, which only the calling thread uses: a metafile plays on it detached.
long loadPictureToBitmap(HDC target, int width, int height, const char* path, PictureFormat format,
                         bool cutBackground, const DecodeFence& fence);

// Decodes a whole GIF or JPEG file through the system picture object, as GIFs are shown.
// On success owner holds the picture, which owns the returned bitmap; on failure returns
// nullptr.
HBITMAP loadOlePicture(ComPtr<IPicture>& owner, const char* path, PictureFormat format);

// Stretches the bitmap over the whole surface, cropping it evenly to the surface's shape.
// A sourceWidth or sourceHeight of 0 stands for the bitmap's own size.
long fitBitmapToSurface(IDirectDrawSurface3* surface, HBITMAP bitmap, int sourceX, int sourceY,
                        int sourceWidth, int sourceHeight, bool cutBackground);
