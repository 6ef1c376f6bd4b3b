#include "pictures/win/picture_loader.h"

#include <cstring>

#include "pictures/picture_file_check.h"
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

// Reads the whole file into a fresh buffer; false for a file that is missing, empty, too
// large or yields no bytes. `size` is the number of bytes actually delivered.
bool readWholeFile(const char* path, ScopedVirtualMemory& buffer, DWORD& size) {
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart <= 0 ||
        fileSize.QuadPart > static_cast<LONGLONG>(maxPictureFileSize))
        return false;
    const DWORD expected = static_cast<DWORD>(fileSize.QuadPart);
    buffer.reset(VirtualAlloc(nullptr, expected, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!buffer)
        return false;

    // The file may shrink while it is read: keep what was delivered and stop there.
    auto* bytes = static_cast<BYTE*>(buffer.get());
    size = 0;
    while (size < expected) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes + size, expected - size, &got, nullptr) || got == 0)
            break;
        size += got;
    }
    return size > 0;
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

// The system's bitmap loader trusts the headers and reads past the end of a truncated
// file, so the file's start is checked against its length first.
bool bitmapFileLooksWhole(const char* path) {
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER fileSize{};
    if (!file || !GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart <= 0 ||
        fileSize.QuadPart > static_cast<LONGLONG>(maxPictureFileSize))
        return false;
    unsigned char head[bitmapFileHeadBytes] = {};
    DWORD got = 0;
    while (got < sizeof(head)) {
        DWORD more = 0;
        if (!ReadFile(file.get(), head + got, sizeof(head) - got, &more, nullptr) || more == 0)
            break;
        got += more;
    }
    return bitmapFileIsWhole(head, got, static_cast<std::uint64_t>(fileSize.QuadPart));
}

long loadBitmapFile(IDirectDrawSurface3* surface, const char* path, int width, int height,
                    bool cutBackground) {
    if (!bitmapFileLooksWhole(path))
        return pictureFailed;
    ScopedBitmap bitmap(static_cast<HBITMAP>(LoadImageA(nullptr, path, IMAGE_BITMAP, width, height,
                                                        LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!bitmap)
        return pictureFailed;
    return fitBitmapToSurface(surface, bitmap.get(), 0, 0, 0, 0, cutBackground);
}

// Playing garbled records draws garbage and reports success, so the records are walked
// first.
bool metafileLooksWhole(HENHMETAFILE metafile) {
    const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
    if (size == 0 || size > maxPictureFileSize)
        return false;
    ScopedVirtualMemory bits(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!bits)
        return false;
    auto* bytes = static_cast<unsigned char*>(bits.get());
    const UINT got = GetEnhMetaFileBits(metafile, size, bytes);
    return got == size && metafileIsWhole(bytes, got);
}

long playMetafile(IDirectDrawSurface3* surface, const char* path, bool enhanced, int width,
                  int height) {
    // Opened and checked before the surface's context is taken, which is held only to draw.
    ScopedEnhMetaFile metafile;
    if (enhanced) {
        metafile.reset(GetEnhMetaFileA(path));
        if (metafile && !metafileLooksWhole(metafile.get()))
            metafile.reset();
    }
    ScopedSurfaceDC dc(surface);
    if (!dc)
        return dc.result();
    // Old-style metafiles are not shown.
    if (!metafile)
        return pictureFailed;
    const RECT whole{0, 0, width, height};
    return PlayEnhMetaFile(dc.get(), metafile.get(), &whole) ? 0 : pictureFailed;
}

long loadOleFile(IDirectDrawSurface3* surface, const char* path, bool cutBackground) {
    ComPtr<IPicture> owner;
    HBITMAP bitmap = loadOlePicture(owner, path);
    if (!bitmap)
        return pictureFailed;
    return fitBitmapToSurface(surface, bitmap, 0, 0, 0, 0, cutBackground);
}

} // namespace

long loadPictureToSurface(IDirectDrawSurface3* surface, const char* path, bool cutBackground) {
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

    const size_t length = std::strlen(path);
    if (fromEnd(path, length, 1) == 'p')
        return loadBitmapFile(surface, path, width, height, cutBackground);
    if (fromEnd(path, length, 2) == 'm')
        return playMetafile(surface, path, fromEnd(path, length, 3) == 'e', width, height);
    return loadOleFile(surface, path, cutBackground);
}

HBITMAP loadOlePicture(ComPtr<IPicture>& owner, const char* path) {
    if (!path)
        return nullptr;
    ComPtr<IStream> stream;
    {
        ScopedVirtualMemory buffer;
        DWORD size = 0;
        if (!readWholeFile(path, buffer, size) || !makeStream(buffer.get(), size, stream))
            return nullptr;
    }

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
    if (cutBackground) {
        // Source colours stay unmixed, so the background colour can be left out later.
        SetStretchBltMode(dc.get(), COLORONCOLOR);
    } else {
        SetStretchBltMode(dc.get(), HALFTONE);
        SetBrushOrgEx(dc.get(), 0, 0, nullptr);
    }
    if (!StretchBlt(dc.get(), 0, 0, width, height, memoryDC.get(), source.x, source.y, source.width,
                    source.height, SRCCOPY))
        return pictureFailed;
    return 0;
}
