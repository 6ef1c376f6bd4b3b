#include "engine/surface_heap.h"

#include <windows.h>

namespace {

// Growable and unserialised: only the render thread touches the water surfaces.
void* win32Create() {
    return HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
}

void* win32Allocate(void* heap, std::size_t bytes) {
    return HeapAlloc(heap, 0, bytes);
}

void win32Free(void* heap, void* block) {
    HeapFree(heap, 0, block);
}

void win32Destroy(void* heap) {
    HeapDestroy(heap);
}

} // namespace

const SurfaceHeapFunctions windowsSurfaceHeap = {win32Create, win32Allocate, win32Free,
                                                 win32Destroy};
