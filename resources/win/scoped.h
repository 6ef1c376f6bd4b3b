// Move-only owners for Windows handles, GDI objects, device contexts and COM pointers, so
// that every object taken on a path is given back on that path, success or failure.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <utility>

// One owner type per kind of handle: Traits gives the empty value and the release call.
template <typename Traits> class Scoped {
  public:
    using Handle = typename Traits::Handle;

    Scoped() = default;
    explicit Scoped(Handle handle) : handle_(handle) {}
    ~Scoped() { reset(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& other) noexcept : handle_(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    bool valid() const { return Traits::valid(handle_); }
    explicit operator bool() const { return valid(); }
    Handle release() { return std::exchange(handle_, Traits::empty()); }
    void reset(Handle handle = Traits::empty()) {
        Handle old = std::exchange(handle_, handle);
        if (Traits::valid(old))
            Traits::close(old);
    }

  private:
    Handle handle_ = Traits::empty();
};

template <typename H, H Empty> struct PlainTraits {
    using Handle = H;
    static Handle empty() { return Empty; }
    static bool valid(Handle h) { return h != Empty; }
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) { CloseHandle(h); }
};
using ScopedHandle = Scoped<KernelHandleTraits>;

struct FindHandleTraits : KernelHandleTraits {
    static void close(Handle h) { FindClose(h); }
};
using ScopedFind = Scoped<FindHandleTraits>;

struct RegKeyTraits : PlainTraits<HKEY, nullptr> {
    static void close(HKEY h) { RegCloseKey(h); }
};
using ScopedRegKey = Scoped<RegKeyTraits>;

struct MemoryDCTraits : PlainTraits<HDC, nullptr> {
    static void close(HDC h) { DeleteDC(h); }
};
using ScopedMemoryDC = Scoped<MemoryDCTraits>;

template <typename T> struct GdiObjectTraits : PlainTraits<T, nullptr> {
    static void close(T h) { DeleteObject(h); }
};
using ScopedBitmap = Scoped<GdiObjectTraits<HBITMAP>>;
using ScopedFont = Scoped<GdiObjectTraits<HFONT>>;

struct WindowTraits : PlainTraits<HWND, nullptr> {
    static void close(HWND h) { DestroyWindow(h); }
};
using ScopedWindow = Scoped<WindowTraits>;

struct EnhMetaFileTraits : PlainTraits<HENHMETAFILE, nullptr> {
    static void close(HENHMETAFILE h) { DeleteEnhMetaFile(h); }
};
using ScopedEnhMetaFile = Scoped<EnhMetaFileTraits>;

struct LibraryTraits : PlainTraits<HMODULE, nullptr> {
    static void close(HMODULE h) { FreeLibrary(h); }
};
using ScopedLibrary = Scoped<LibraryTraits>;

struct GlobalMemoryTraits : PlainTraits<HGLOBAL, nullptr> {
    static void close(HGLOBAL h) { GlobalFree(h); }
};
using ScopedGlobal = Scoped<GlobalMemoryTraits>;

struct VirtualMemoryTraits : PlainTraits<void*, nullptr> {
    static void close(void* p) { VirtualFree(p, 0, MEM_RELEASE); }
};
using ScopedVirtualMemory = Scoped<VirtualMemoryTraits>;

struct HeapTraits : PlainTraits<HANDLE, nullptr> {
    static void close(HANDLE h) { HeapDestroy(h); }
};
// A private heap, destroyed with every block it holds.
using ScopedHeap = Scoped<HeapTraits>;

// A critical section, made and deleted with its owner.
class CriticalSection {
  public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }
    // For the condition variables that wait on it.
    CRITICAL_SECTION* native() { return &section_; }

  private:
    CRITICAL_SECTION section_;
};

// A critical section held for one scope.
class CriticalSectionLock {
  public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.enter(); }
    ~CriticalSectionLock() { section_.leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  private:
    CriticalSection& section_;
};

// A device context of a window, given back with ReleaseDC.
class ScopedWindowDC {
  public:
    explicit ScopedWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedWindowDC() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelect() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// COM, or OLE for the shell's dialogs, on the calling thread; balanced on every way out and
// harmless where the thread already has it.
class ScopedComApartment {
  public:
    enum Kind { Com, Ole };
    explicit ScopedComApartment(Kind kind = Com)
        : kind_(kind),
          initialised_(SUCCEEDED(kind == Ole ? OleInitialize(nullptr) : CoInitialize(nullptr))) {}
    ~ScopedComApartment() {
        if (!initialised_)
            return;
        if (kind_ == Ole)
            OleUninitialize();
        else
            CoUninitialize();
    }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;

  private:
    Kind kind_;
    bool initialised_;
};

// A COM interface pointer, released once.
template <typename T> class ComPtr {
  public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.p_, nullptr));
        return *this;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For calls that hand out a new reference: the old one is released first.
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    T* release() { return std::exchange(p_, nullptr); }
    void reset(T* p = nullptr) {
        T* old = std::exchange(p_, p);
        if (old)
            old->Release();
    }

  private:
    T* p_ = nullptr;
};
