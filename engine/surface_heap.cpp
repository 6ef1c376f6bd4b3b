#include "engine/surface_heap.h"

#include <new>

namespace {

// The C++ allocator needs no heap object; any non-null token stands for it.
char standardHeapToken;

void* standardCreate() {
    return &standardHeapToken;
}

void* standardAllocate(void*, std::size_t bytes) {
    return ::operator new(bytes, std::nothrow);
}

void standardFree(void*, void* block) {
    ::operator delete(block);
}

void standardDestroy(void*) {}

SurfaceHeapFunctions installed = {standardCreate, standardAllocate, standardFree, standardDestroy};

} // namespace

const SurfaceHeapFunctions standardSurfaceHeap = {standardCreate, standardAllocate, standardFree,
                                                  standardDestroy};

void* surfaceHeap = nullptr;
int32_t surfaceCount = 0;

const SurfaceHeapFunctions& surfaceHeapFunctions() {
    return installed;
}

bool useSurfaceHeap(const SurfaceHeapFunctions& functions) {
    if (surfaceHeap != nullptr)
        return false;
    if (!functions.create || !functions.allocate || !functions.free || !functions.destroy)
        return false;
    installed = functions;
    return true;
}
