#include "pictures/win/picture_loader.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "pictures/picture_validation.h"

#include "pictures/fit_rect.h"

namespace {

constexpr long pictureFailed = -1;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The character `back` places before the end of the path, lower-cased; 0 past its start.
char fromEnd(const char* path, size_t length, size_t back) {
    return back <= length ? lowerAscii(path[length - back]) : '\0';
}

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

// The bytes of one picture file, read once: every check and the decoder see these bytes
// and no others, so a file rewritten meanwhile cannot slip past the checks.
struct PictureBytes {
    ScopedVirtualMemory buffer;
    DWORD size = 0;
    const unsigned char* data() const { return static_cast<const unsigned char*>(buffer.get()); }
};

// False for a file that is missing, no plain disk file (a device such as con.jpg, a
// folder), empty or too large. `size` is the number of bytes actually delivered.
bool readPictureOnce(const char* path, PictureBytes& bytes) {
    if (isReservedDeviceName(path))
        return false;
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK)
        return false;
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart <= 0 ||
        fileSize.QuadPart > static_cast<LONGLONG>(maxPictureFileSize))
        return false;
    const DWORD expected = static_cast<DWORD>(fileSize.QuadPart);
    bytes.buffer.reset(VirtualAlloc(nullptr, expected, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!bytes.buffer)
        return false;

    // The file may shrink while it is read: keep what was delivered and stop there.
    auto* at = static_cast<BYTE*>(bytes.buffer.get());
    bytes.size = 0;
    while (bytes.size < expected) {
        DWORD got = 0;
        if (!ReadFile(file.get(), at + bytes.size, expected - bytes.size, &got, nullptr) ||
            got == 0)
            break;
        bytes.size += got;
    }
    return bytes.size > 0;
}

// The format the name's ending chose for the system picture decoder: "gif", else JPEG.
PictureContent oleContentOf(const char* path) {
    const size_t length = std::strlen(path);
    return fromEnd(path, length, 1) == 'f' ? PictureContent::Gif : PictureContent::Jpeg;
}

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

// The decoded photo turned upright as its EXIF orientation says; none when that fails, in
// which case the photo is shown as stored.
HBITMAP orientedCopy(HBITMAP source, std::uint32_t orientation) {
    BITMAP shape{};
    if (GetObjectA(source, sizeof(shape), &shape) != sizeof(shape) || shape.bmWidth <= 0 ||
        shape.bmHeight <= 0)
        return nullptr;
    const auto width = static_cast<std::uint32_t>(shape.bmWidth);
    const auto height = static_cast<std::uint32_t>(shape.bmHeight);
    const SIZE_T bytes = static_cast<SIZE_T>(width) * height * 4;
    ScopedVirtualMemory stored(
        VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
    if (!stored || !dc)
        return nullptr;
    BITMAPINFO sourceInfo = topDownInfo(shape.bmWidth, shape.bmHeight);
    if (GetDIBits(dc.get(), source, 0, height, stored.get(), &sourceInfo, DIB_RGB_COLORS) !=
        static_cast<int>(height))
        return nullptr;
    std::uint32_t outWidth = 0, outHeight = 0;
    orientedSize(orientation, width, height, outWidth, outHeight);
    BITMAPINFO outInfo = topDownInfo(static_cast<LONG>(outWidth), static_cast<LONG>(outHeight));
    void* bits = nullptr;
    ScopedBitmap turned(CreateDIBSection(nullptr, &outInfo, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!turned || !bits)
        return nullptr;
    orientPixels(static_cast<const std::uint32_t*>(stored.get()), width, height, orientation,
                 static_cast<std::uint32_t*>(bits));
    GdiFlush();
    return turned.release();
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

bool decodeOle(const PictureBytes& bytes, const PictureCheck& check, int width, int height,
               bool cutBackground, Decoded& out) {
    out.bitmap = decodeOleBytes(out.owner, bytes.data(), bytes.size);
    if (!out.bitmap)
        return false;
    if (check.orientation != 1) {
        out.ownBitmap.reset(orientedCopy(out.bitmap, check.orientation));
        if (out.ownBitmap) {
            out.owner.reset(); // the photo as stored is no longer needed
            out.bitmap = out.ownBitmap.get();
        }
    }
    ScopedBitmap fitted(fittedCopy(out.bitmap, width, height, cutBackground));
    if (fitted) {
        out.owner.reset();
        out.ownBitmap = std::move(fitted);
        out.bitmap = out.ownBitmap.get();
    }
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

bool decode(PictureContent format, const PictureBytes& bytes, const PictureCheck& check, int width,
            int height, bool cutBackground, Decoded& out) {
    switch (format) {
    case PictureContent::Bitmap:
        return decodeBitmap(bytes, check, width, height, out);
    case PictureContent::Metafile:
        out.metafile.reset(
            SetEnhMetaFileBits(static_cast<UINT>(check.metafileBytes), bytes.data()));
        return static_cast<bool>(out.metafile);
    case PictureContent::Gif:
    case PictureContent::Jpeg:
        break;
    }
    return decodeOle(bytes, check, width, height, cutBackground, out);
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

// The way a file's ending chooses; false for an old-style metafile, which is not shown.
bool formatByEnding(const char* path, PictureContent& format) {
    const size_t length = std::strlen(path);
    format = oleContentOf(path);
    if (fromEnd(path, length, 1) == 'p') {
        format = PictureContent::Bitmap;
    } else if (fromEnd(path, length, 2) == 'm') {
        if (fromEnd(path, length, 3) != 'e')
            return false;
        format = PictureContent::Metafile;
    }
    return true;
}

// Reads, checks and decodes the file for a target of width x height, touching no target:
// detached for all of it. False for a picture that cannot be shown, or when the thread was
// asked to end meanwhile.
bool decodeDetached(const char* path, PictureContent format, int width, int height,
                    bool cutBackground, const DecodeFence& fence, Decoded& decoded) {
    DetachedStretch detached(fence);
    // The ending chose the format; a file whose content is another one is broken.
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

long loadPictureToSurface(IDirectDrawSurface3* surface, const char* path, bool cutBackground) {
    return loadPictureToSurface(surface, path, cutBackground, NoFence());
}

long loadPictureToSurface(IDirectDrawSurface3* surface, const char* path, bool cutBackground,
                          const DecodeFence& fence) {
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

    PictureContent format;
    if (!formatByEnding(path, format)) {
        ScopedSurfaceDC dc(surface);
        return dc ? pictureFailed : dc.result();
    }
    Decoded decoded;
    if (!decodeDetached(path, format, width, height, cutBackground, fence, decoded))
        return pictureFailed;
    if (decoded.metafile)
        return playMetafile(surface, decoded.metafile.get(), width, height, fence);
    return fitBitmapToSurface(surface, decoded.bitmap, 0, 0, 0, 0, cutBackground);
}

long loadPictureToBitmap(HDC target, int width, int height, const char* path, bool cutBackground,
                         const DecodeFence& fence) {
    if (!target || width <= 0 || height <= 0)
        return E_FAIL;
    PictureContent format;
    if (!path || !formatByEnding(path, format))
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

HBITMAP loadOlePicture(ComPtr<IPicture>& owner, const char* path) {
    if (!path)
        return nullptr;
    PictureBytes bytes;
    if (!readPictureOnce(path, bytes) ||
        !checkPicture(oleContentOf(path), bytes.data(), bytes.size).valid)
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
