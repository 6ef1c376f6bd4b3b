#include "engine/surface_heap.h"

#include <new>

namespace {

// The C++ allocator needs no heap object; any non-null token stands for it. Never written.
const char standardHeapToken = 0;

void* standardCreate() {
    return const_cast<char*>(&standardHeapToken);
}

void* standardAllocate(void*, std::size_t bytes) {
    return ::operator new(bytes, std::nothrow);
}

void standardFree(void*, void* block) {
    ::operator delete(block);
}

void standardDestroy(void*) {}

} // namespace

const SurfaceHeapFunctions standardSurfaceHeap = {standardCreate, standardAllocate, standardFree,
                                                  standardDestroy};

SurfaceHeap::SurfaceHeap(const SurfaceHeapFunctions& functions) : functions_(standardSurfaceHeap) {
    use(functions);
}

SurfaceHeap::~SurfaceHeap() {
    if (heap_)
        functions_.destroy(heap_);
}

bool SurfaceHeap::use(const SurfaceHeapFunctions& functions) {
    if (heap_ != nullptr)
        return false;
    if (!functions.create || !functions.allocate || !functions.free || !functions.destroy)
        return false;
    functions_ = functions;
    return true;
}

bool SurfaceHeap::open() {
    if (heap_ == nullptr)
        heap_ = functions_.create();
    return heap_ != nullptr;
}

void SurfaceHeap::surfaceRemoved() {
    --surfaces_;
    closeIfUnused();
}

void SurfaceHeap::closeIfUnused() {
    if (surfaces_ == 0 && heap_ != nullptr) {
        functions_.destroy(heap_);
        heap_ = nullptr;
    }
}
