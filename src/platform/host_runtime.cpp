#include "platform/host_runtime.h"

#ifdef _WIN32

#include <windows.h>

namespace isorelink::platform {

namespace {

struct HostHeap {
    void*(__cdecl* allocate)(std::size_t) = nullptr;
    void(__cdecl* release)(void*) = nullptr;
};

HostHeap find_host_heap() noexcept {
    HostHeap heap;
    // Kept loaded for the process's lifetime: blocks outlive any one call.
    if (const HMODULE crt = LoadLibraryA("msvcrt.dll")) {
        const FARPROC allocate = GetProcAddress(crt, "malloc"), release = GetProcAddress(crt, "free");
        if (allocate != nullptr && release != nullptr) {
            heap.allocate = reinterpret_cast<decltype(heap.allocate)>(reinterpret_cast<void*>(allocate));
            heap.release = reinterpret_cast<decltype(heap.release)>(reinterpret_cast<void*>(release));
        }
    }
    return heap;
}

const HostHeap& host_heap() noexcept {
    static const HostHeap heap = find_host_heap();
    return heap;
}

} // namespace

void* host_allocate(std::size_t size) noexcept {
    return host_heap().allocate != nullptr ? host_heap().allocate(size) : nullptr;
}

bool host_free(void* block) noexcept {
    if (host_heap().release == nullptr) return false;
    host_heap().release(block);
    return true;
}

long interlocked_decrement(volatile long* count) noexcept { return InterlockedDecrement(count); }

void raise_no_memory() {
    RaiseException(static_cast<DWORD>(STATUS_NO_MEMORY), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    // A non-continuable exception never returns here.
    for (;;) {
    }
}

} // namespace isorelink::platform

#endif
