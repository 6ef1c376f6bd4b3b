#pragma once

#include <cstddef>
#include <cstdint>

// Where the water surfaces take their height buffers from: one private heap shared by
// the surfaces made with it, created by the first init and destroyed by the release that
// leaves no surface holding buffers. The functions are swappable so that the Windows
// program can use a Win32 private heap and tests can make creation or allocation fail.
struct SurfaceHeapFunctions {
    void* (*create)();                                // a heap, or nullptr on failure
    void* (*allocate)(void* heap, std::size_t bytes); // a block, or nullptr on failure
    void (*free)(void* heap, void* block);
    void (*destroy)(void* heap);
};

// The C++ allocator; the default.
extern const SurfaceHeapFunctions standardSurfaceHeap;

// The Win32 private heap (HeapCreate without serialisation). Defined in the Windows layer
// only.
extern const SurfaceHeapFunctions windowsSurfaceHeap;

// Owned by whoever owns the surfaces (the render thread, a test), and outlives them; used
// from one thread only.
class SurfaceHeap {
  public:
    explicit SurfaceHeap(const SurfaceHeapFunctions& functions = standardSurfaceHeap);
    ~SurfaceHeap();
    SurfaceHeap(const SurfaceHeap&) = delete;
    SurfaceHeap& operator=(const SurfaceHeap&) = delete;

    // Installs other functions. Refused (false) while a heap exists, since its blocks must
    // go back to the functions that made them, or when one is missing.
    bool use(const SurfaceHeapFunctions& functions);
    const SurfaceHeapFunctions& functions() const { return functions_; }

    // The heap, nullptr while no surface holds buffers.
    void* heap() const { return heap_; }
    // Surfaces that currently hold buffers.
    std::int32_t surfaces() const { return surfaces_; }

    // Makes the heap if there is none; false when it cannot be made.
    bool open();
    void* allocate(std::size_t bytes) { return functions_.allocate(heap_, bytes); }
    void free(void* block) { functions_.free(heap_, block); }
    // A surface took buffers, or gave them back; the last to give them back ends the heap.
    void surfaceAdded() { ++surfaces_; }
    void surfaceRemoved();
    // Ends the heap when no surface holds buffers.
    void closeIfUnused();

  private:
    SurfaceHeapFunctions functions_;
    void* heap_ = nullptr;
    std::int32_t surfaces_ = 0;
};
