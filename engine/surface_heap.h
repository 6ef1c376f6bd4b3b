#pragma once

#include <cstddef>
#include <cstdint>

// Where the water surfaces take their height buffers from: one private heap shared by
// all surfaces, created by the first init and destroyed by the release that leaves no
// surface holding buffers. The functions are swappable so that the Windows program can
// use a Win32 private heap and tests can make creation or allocation fail.
struct SurfaceHeapFunctions {
    void* (*create)();                                // a heap, or nullptr on failure
    void* (*allocate)(void* heap, std::size_t bytes); // a block, or nullptr on failure
    void (*free)(void* heap, void* block);
    void (*destroy)(void* heap);
};

// The C++ allocator; the default.
extern const SurfaceHeapFunctions standardSurfaceHeap;

// The heap all surfaces share, nullptr while no surface holds buffers.
extern void* surfaceHeap;
// Surfaces that currently hold buffers.
extern int32_t surfaceCount;

const SurfaceHeapFunctions& surfaceHeapFunctions();

// Installs other heap functions. Refused (false) while a heap exists, since its blocks
// must go back to the functions that made them.
bool useSurfaceHeap(const SurfaceHeapFunctions& functions);

// Installs the Win32 private heap (HeapCreate without serialisation). Defined in the
// Windows layer only; the program calls it once at start, before any surface is made.
void useWindowsSurfaceHeap();
