// Task memory: the allocator through which COM servers hand strings to their callers.
#include <atomic>
#include <cstdlib>

#include "ole32/ole32.h"

namespace {

std::atomic<size_t> outstandingBlocks{0};

}  // namespace

namespace platform::ole32 {

size_t OutstandingTaskMemory() { return outstandingBlocks.load(); }

}  // namespace platform::ole32

extern "C" LPVOID WINAPI CoTaskMemAlloc(size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) outstandingBlocks.fetch_add(1);
    return block;
}

extern "C" void WINAPI CoTaskMemFree(LPVOID block) {
    if (block == nullptr) return;
    outstandingBlocks.fetch_sub(1);
    std::free(block);
}
