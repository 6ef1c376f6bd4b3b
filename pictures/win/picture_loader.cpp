#include "pictures/win/picture_loader.h"

#include <cstdint>
#include <vector>

#include "pictures/step2_check_picture.h"
#include "pictures/step3_decode_bitmap.h"
#include "pictures/step3_decode_jpeg.h"
#include "pictures/step4_orient.h"
#include "pictures/step5_fit_rect.h"
#include "pictures/win/step1_read_file.h"

namespace {

constexpr long pictureFailed = -1;

// Selects a bitmap into a memory context and tells whether that worked: a bitmap that is
// already selected elsewhere cannot be, and drawing from the context would then be garbage.
class SelectedBitmap {
  public:
    SelectedBitmap(HDC dc, HBITMAP bitmap) : dc_(dc), previous_(SelectObject(dc, bitmap)) {}
    ~SelectedBitmap() {
        if (ok())
            SelectObject(dc_, previous_);
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;
    bool ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A memory stream that owns a copy of the bytes, positioned at its start.
bool makeStream(const void* bytes, DWORD size, ComPtr<IStream>& stream) {
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.out())))
        return false;
    ULONG written = 0;
    if (FAILED(stream->Write(bytes, size, &written)) || written != size)
        return false;
    LARGE_INTEGER start{};
    return SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr));
}

// Decodes validated GIF or JPEG bytes through the system picture object.
HBITMAP decodeOleBytes(ComPtr<IPicture>& owner, const unsigned char* data, DWORD size) {
    ComPtr<IStream> stream;
    if (!makeStream(data, size, stream))
        return nullptr;
    // Not in run mode: a picture made in run mode under Wine does not own its bitmap and
    // would leak it on every release; on Windows the picture owns it either way.
    ComPtr<IPicture> picture;
    const HRESULT loaded = OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture, picture.outVoid());
    stream.reset();
    if (FAILED(loaded) || !picture)
        return nullptr;

    // An icon or metafile in disguise has a handle that is no bitmap.
    SHORT type = PICTYPE_NONE;
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
        FAILED(picture->get_Handle(&handle)) || handle == 0)
        return nullptr;
    owner = std::move(picture);
    return reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
}

// A 32-bit top-down DIB header of the size.
BITMAPINFO topDownInfo(LONG width, LONG height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A DIB section of 32-bit pixels, rows top-down; `bits` gets its pixels.
HBITMAP pixelBitmap(std::uint32_t width, std::uint32_t height, std::uint32_t*& bits) {
    BITMAPINFO info = topDownInfo(static_cast<LONG>(width), static_cast<LONG>(height));
    void* pixels = nullptr;
    ScopedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    bits = static_cast<std::uint32_t*>(pixels);
    return bits ? bitmap.release() : nullptr;
}

// A decoded picture waiting to be drawn: a bitmap (owned by the picture object or by
// `ownBitmap`) or a metafile.
struct Decoded {
    ComPtr<IPicture> owner;
    ScopedBitmap ownBitmap;
    HBITMAP bitmap = nullptr;
    ScopedEnhMetaFile metafile;
};

// The photo cropped and scaled to the surface's size exactly as the fit would draw it, in
// memory: the slow stretch of a big photo then happens while the thread is detached, and
// the fit itself is a copy. None when that fails; the fit then does all of it.
HBITMAP fittedCopy(HBITMAP source, int width, int height, bool cutBackground) {
    BITMAP shape{};
    if (GetObjectA(source, sizeof(shape), &shape) != sizeof(shape))
        return nullptr;
    const SourceRect from = fitSourceRect(shape.bmWidth, shape.bmHeight, width, height, 0, 0);
    if (from.empty())
        return nullptr;
    ScopedMemoryDC sourceDC(CreateCompatibleDC(nullptr));
    ScopedMemoryDC targetDC(CreateCompatibleDC(nullptr));
    BITMAPINFO info = topDownInfo(width, height);
    void* bits = nullptr;
    ScopedBitmap fitted(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!sourceDC || !targetDC || !fitted)
        return nullptr;
    {
        SelectedBitmap sourceSelected(sourceDC.get(), source);
        ScopedSelect targetSelected(targetDC.get(), fitted.get());
        if (!sourceSelected.ok())
            return nullptr;
        if (cutBackground) {
            SetStretchBltMode(targetDC.get(), COLORONCOLOR);
        } else {
            SetStretchBltMode(targetDC.get(), HALFTONE);
            SetBrushOrgEx(targetDC.get(), 0, 0, nullptr);
        }
        if (!StretchBlt(targetDC.get(), 0, 0, width, height, sourceDC.get(), from.x, from.y,
                        from.width, from.height, SRCCOPY))
            return nullptr;
    }
    return fitted.release();
}

bool decodeGif(const PictureBytes& bytes, int width, int height, bool cutBackground, Decoded& out) {
    out.bitmap = decodeOleBytes(out.owner, bytes.data(), bytes.size);
    if (!out.bitmap)
        return false;
    ScopedBitmap fitted(fittedCopy(out.bitmap, width, height, cutBackground));
    if (fitted) {
        out.owner.reset();
        out.ownBitmap = std::move(fitted);
        out.bitmap = out.ownBitmap.get();
    }
    return true;
}

// Decodes the photo at the scale its fit needs, turns it upright and fits it in memory. The
// file's bytes are given back once decoded, before the copies that follow.
bool decodeJpeg(PictureBytes& bytes, const PictureCheck& check, int width, int height,
                bool cutBackground, Decoded& out) {
    ScopedBitmap decoded;
    std::uint32_t* pixels = nullptr;
    std::uint32_t decodedWidth = 0, decodedHeight = 0;
    {
        JpegDecoder decoder(bytes.data(), bytes.size);
        if (!decoder.plan(check.orientation, static_cast<std::uint32_t>(width),
                          static_cast<std::uint32_t>(height)))
            return false;
        decodedWidth = decoder.width();
        decodedHeight = decoder.height();
        decoded.reset(pixelBitmap(decodedWidth, decodedHeight, pixels));
        if (!decoded || !decoder.decode(pixels))
            return false;
    }
    bytes = PictureBytes();
    if (check.orientation != 1) {
        std::uint32_t turnedWidth = 0, turnedHeight = 0;
        orientedSize(check.orientation, decodedWidth, decodedHeight, turnedWidth, turnedHeight);
        std::uint32_t* turnedPixels = nullptr;
        ScopedBitmap turned(pixelBitmap(turnedWidth, turnedHeight, turnedPixels));
        if (turned) { // else the photo is shown as stored
            orientPixels(pixels, decodedWidth, decodedHeight, check.orientation, turnedPixels);
            decoded = std::move(turned);
        }
    }
    GdiFlush();
    out.ownBitmap.reset(fittedCopy(decoded.get(), width, height, cutBackground));
    if (!out.ownBitmap)
        out.ownBitmap = std::move(decoded); // the fit then does all of it
    out.bitmap = out.ownBitmap.get();
    return true;
}

// Scales the validated bitmap to the surface's size as the system's file loader would: a
// DIB section of the same kind at W x H, filled by a halftoned stretch of the whole bitmap.
bool decodeBitmap(const PictureBytes& bytes, const PictureCheck& check, int width, int height,
                  Decoded& out) {
    PlainDib plain;
    if (!makePlainDib(bytes.data(), bytes.size, check.dib, plain))
        return false;
    std::vector<unsigned char> scaled = plain.info;
    auto* scaledHeader = reinterpret_cast<BITMAPINFOHEADER*>(scaled.data());
    scaledHeader->biWidth = width;
    scaledHeader->biHeight = height;
    scaledHeader->biCompression = BI_RGB; // a DIB section holds plain rows
    const auto* source = reinterpret_cast<const BITMAPINFO*>(plain.info.data());

    ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
    void* bits = nullptr;
    out.ownBitmap.reset(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(scaled.data()),
                                         DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc || !out.ownBitmap)
        return false;
    ScopedSelect selected(dc.get(), out.ownBitmap.get());
    if (source->bmiHeader.biBitCount > 1)
        SetStretchBltMode(dc.get(), HALFTONE);
    const int drawn = StretchDIBits(dc.get(), 0, 0, width, height, 0, 0,
                                    static_cast<int>(check.width), static_cast<int>(check.height),
                                    plain.pixels, source, DIB_RGB_COLORS, SRCCOPY);
    if (drawn == 0 || drawn == static_cast<int>(GDI_ERROR))
        return false;
    out.bitmap = out.ownBitmap.get();
    return true;
}

bool decode(PictureFormat format, PictureBytes& bytes, const PictureCheck& check, int width,
            int height, bool cutBackground, Decoded& out) {
    switch (format) {
    case FormatBmp:
        return decodeBitmap(bytes, check, width, height, out);
    case FormatEmf:
        out.metafile.reset(
            SetEnhMetaFileBits(static_cast<UINT>(check.metafileBytes), bytes.data()));
        return static_cast<bool>(out.metafile);
    case FormatGif:
        return decodeGif(bytes, width, height, cutBackground, out);
    case FormatJpeg:
        return decodeJpeg(bytes, check, width, height, cutBackground, out);
    }
    return false;
}

long playMetafileOnSurface(IDirectDrawSurface3* surface, HENHMETAFILE metafile, int width,
                           int height) {
    ScopedSurfaceDC dc(surface);
    if (!dc)
        return dc.result();
    const RECT whole{0, 0, width, height};
    return PlayEnhMetaFile(dc.get(), metafile, &whole) ? 0 : pictureFailed;
}

// A DIB section with the surface's own pixel layout, so that a copy to it and back changes
// no pixel. Null for palette surfaces and layouts a DIB cannot hold.
HBITMAP surfaceLikeBitmap(IDirectDrawSurface3* surface, int width, int height) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->GetSurfaceDesc(&desc)) || !(desc.ddpfPixelFormat.dwFlags & DDPF_RGB) ||
        (desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8))
        return nullptr;
    const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
    if (bits != 16 && bits != 24 && bits != 32)
        return nullptr;
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{};
    info.header.biSize = sizeof(info.header);
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = bits == 24 ? BI_RGB : BI_BITFIELDS;
    info.masks[0] = desc.ddpfPixelFormat.dwRBitMask;
    info.masks[1] = desc.ddpfPixelFormat.dwGBitMask;
    info.masks[2] = desc.ddpfPixelFormat.dwBBitMask;
    void* pixels = nullptr;
    return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                            nullptr, 0);
}

bool copyBetween(HDC to, HDC from, int width, int height) {
    return BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY) != 0;
}

// A metafile plays for as long as its records take, seconds for a big one, so it plays
// detached into a copy of the surface (it draws over what the surface holds) and the copy
// goes back once the thread is attached again. Palette surfaces play on the surface itself.
long playMetafile(IDirectDrawSurface3* surface, HENHMETAFILE metafile, int width, int height,
                  const DecodeFence& fence) {
    ScopedBitmap copy(surfaceLikeBitmap(surface, width, height));
    ScopedMemoryDC copyDC(CreateCompatibleDC(nullptr));
    if (!copy || !copyDC)
        return playMetafileOnSurface(surface, metafile, width, height);
    SelectedBitmap selected(copyDC.get(), copy.get());
    if (!selected.ok())
        return playMetafileOnSurface(surface, metafile, width, height);
    {
        ScopedSurfaceDC dc(surface);
        if (!dc)
            return dc.result();
        if (!copyBetween(copyDC.get(), dc.get(), width, height))
            return pictureFailed;
    }
    fence.detach();
    const RECT whole{0, 0, width, height};
    const bool played = PlayEnhMetaFile(copyDC.get(), metafile, &whole) != 0;
    GdiFlush();
    if (!fence.attach())
        return pictureFailed; // the thread is asked to end: the surface stays as it is
    if (!played)
        return pictureFailed;
    ScopedSurfaceDC dc(surface);
    if (!dc)
        return dc.result();
    return copyBetween(dc.get(), copyDC.get(), width, height) ? 0 : pictureFailed;
}

// Nobody waits for the thread while it decodes.
class NoFence : public DecodeFence {
  public:
    void detach() const override {}
    bool attach() const override { return true; }
};

// Detached for its lifetime unless attached earlier; attaching again on every way out.
class DetachedStretch {
  public:
    explicit DetachedStretch(const DecodeFence& fence) : fence_(fence) { fence_.detach(); }
    ~DetachedStretch() {
        if (!attached_)
            fence_.attach();
    }
    DetachedStretch(const DetachedStretch&) = delete;
    DetachedStretch& operator=(const DetachedStretch&) = delete;
    bool attach() {
        attached_ = true;
        return fence_.attach();
    }

  private:
    const DecodeFence& fence_;
    bool attached_ = false;
};

// Reads, checks and decodes the file for a target of width x height, touching no target:
// detached for all of it. False for a picture that cannot be shown, or when the thread was
// asked to end meanwhile.
bool decodeDetached(const char* path, PictureFormat format, int width, int height,
                    bool cutBackground, const DecodeFence& fence, Decoded& decoded) {
    DetachedStretch detached(fence);
    // The walk chose the format from the name; content of another one is a broken file.
    PictureBytes bytes;
    if (!readPictureOnce(path, bytes))
        return false;
    const PictureCheck check = checkPicture(format, bytes.data(), bytes.size);
    if (!check.valid || !decode(format, bytes, check, width, height, cutBackground, decoded))
        return false;
    return detached.attach();
}

// Stretches `from` of the bitmap selected into `source` over width x height of `target`.
long stretchOver(HDC target, int width, int height, HDC source, const SourceRect& from,
                 bool cutBackground) {
    if (from.empty())
        return pictureFailed;
    if (cutBackground) {
        // Source colours stay unmixed, so the background colour can be left out later.
        SetStretchBltMode(target, COLORONCOLOR);
    } else {
        SetStretchBltMode(target, HALFTONE);
        SetBrushOrgEx(target, 0, 0, nullptr);
    }
    return StretchBlt(target, 0, 0, width, height, source, from.x, from.y, from.width, from.height,
                      SRCCOPY)
               ? 0
               : pictureFailed;
}

} // namespace

long loadPictureToSurface(IDirectDrawSurface3* surface, const char* path, PictureFormat format,
                          bool cutBackground) {
    return loadPictureToSurface(surface, path, format, cutBackground, NoFence());
}

long loadPictureToSurface(IDirectDrawSurface3* surface, const char* path, PictureFormat format,
                          bool cutBackground, const DecodeFence& fence) {
    if (!surface)
        return E_FAIL;
    if (!path)
        return pictureFailed;

    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    const HRESULT locked = surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    if (FAILED(locked))
        return locked;
    surface->Unlock(desc.lpSurface);
    const int width = static_cast<int>(desc.dwWidth);
    const int height = static_cast<int>(desc.dwHeight);

    Decoded decoded;
    if (!decodeDetached(path, format, width, height, cutBackground, fence, decoded))
        return pictureFailed;
    if (decoded.metafile)
        return playMetafile(surface, decoded.metafile.get(), width, height, fence);
    return fitBitmapToSurface(surface, decoded.bitmap, 0, 0, 0, 0, cutBackground);
}

long loadPictureToBitmap(HDC target, int width, int height, const char* path, PictureFormat format,
                         bool cutBackground, const DecodeFence& fence) {
    if (!target || width <= 0 || height <= 0)
        return E_FAIL;
    if (!path)
        return pictureFailed;
    Decoded decoded;
    if (!decodeDetached(path, format, width, height, cutBackground, fence, decoded))
        return pictureFailed;
    if (decoded.metafile) {
        // The bitmap belongs to the calling thread alone: the records play on it detached.
        DetachedStretch detached(fence);
        const RECT whole{0, 0, width, height};
        const bool played = PlayEnhMetaFile(target, decoded.metafile.get(), &whole) != 0;
        GdiFlush();
        return detached.attach() && played ? 0 : pictureFailed;
    }
    ScopedMemoryDC memoryDC(CreateCompatibleDC(nullptr));
    if (!memoryDC)
        return E_FAIL;
    SelectedBitmap selected(memoryDC.get(), decoded.bitmap);
    if (!selected.ok())
        return pictureFailed;
    BITMAP shape{};
    if (GetObjectA(decoded.bitmap, sizeof(shape), &shape) != sizeof(shape))
        return pictureFailed;
    const long drawn = stretchOver(
        target, width, height, memoryDC.get(),
        fitSourceRect(shape.bmWidth, shape.bmHeight, width, height, 0, 0), cutBackground);
    GdiFlush();
    return drawn;
}

HBITMAP loadOlePicture(ComPtr<IPicture>& owner, const char* path, PictureFormat format) {
    if (!path || (format != FormatGif && format != FormatJpeg))
        return nullptr;
    PictureBytes bytes;
    if (!readPictureOnce(path, bytes))
        return nullptr;
    // The system decodes the whole picture: the budget holds for its full size.
    const PictureCheck check = checkPicture(format, bytes.data(), bytes.size);
    if (!check.valid || !withinDecodeBudget(check.width, check.height))
        return nullptr;
    return decodeOleBytes(owner, bytes.data(), bytes.size);
}

long fitBitmapToSurface(IDirectDrawSurface3* surface, HBITMAP bitmap, int sourceX, int sourceY,
                        int sourceWidth, int sourceHeight, bool cutBackground) {
    if (!bitmap || !surface)
        return E_FAIL;
    // Gives a surface lost through a display change its memory back.
    surface->Restore();

    ScopedMemoryDC memoryDC(CreateCompatibleDC(nullptr));
    if (!memoryDC)
        return E_FAIL;
    BITMAP info{};
    if (GetObjectA(bitmap, sizeof(info), &info) != sizeof(info))
        return pictureFailed;
    SelectedBitmap selected(memoryDC.get(), bitmap);
    if (!selected.ok())
        return pictureFailed;
    if (sourceWidth == 0)
        sourceWidth = info.bmWidth;
    if (sourceHeight == 0)
        sourceHeight = info.bmHeight;

    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_HEIGHT | DDSD_WIDTH;
    const HRESULT described = surface->GetSurfaceDesc(&desc);
    if (FAILED(described))
        return described;
    const int width = static_cast<int>(desc.dwWidth);
    const int height = static_cast<int>(desc.dwHeight);

    const SourceRect source =
        fitSourceRect(sourceWidth, sourceHeight, width, height, sourceX, sourceY);
    if (source.empty())
        return pictureFailed;

    ScopedSurfaceDC dc(surface);
    if (!dc)
        return dc.result();
    return stretchOver(dc.get(), width, height, memoryDC.get(), source, cutBackground);
}
