#include "plugin/win32/framework_text.h"

#include <windows.h>

#include <cstring>

namespace isorelink::framework {

namespace {

TextHeader* header_of(const char* chars) noexcept {
    return reinterpret_cast<TextHeader*>(const_cast<char*>(chars)) - 1;
}

// msvcrt.dll's own malloc and free, looked up by name: the host frees our
// results to that heap, and a runtime of another name (a toolchain built on
// the universal CRT, say) keeps a heap of its own.
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

bool is_pool_size(std::int32_t allocated) noexcept {
    return allocated == 64 || allocated == 128 || allocated == 256 || allocated == 512;
}

std::string_view read_text(const char* chars) noexcept {
    if (chars == nullptr) return {};
    const std::int32_t length = header_of(chars)->length;
    return length > 0 ? std::string_view(chars, static_cast<std::size_t>(length)) : std::string_view{};
}

void release_text(char* chars) noexcept {
    if (chars == nullptr) return;
    TextHeader* header = header_of(chars);
    // Zero cannot be a live copy's count: decrementing it would hand the
    // block a second free.
    if (header->count <= 0) return;
    if (InterlockedDecrement(&header->count) != 0) return;
    if (is_pool_size(header->allocated)) return;
    // Without msvcrt's free the block stays: a leak, where another heap's
    // free would corrupt both heaps.
    if (host_heap().release != nullptr) host_heap().release(header);
}

char* make_text(std::string_view text) {
    const auto length = static_cast<std::int32_t>(text.size());
    void* block = nullptr;
    if (host_heap().allocate != nullptr) block = host_heap().allocate(sizeof(TextHeader) + text.size() + 1);
    if (block == nullptr) RaiseException(static_cast<DWORD>(STATUS_NO_MEMORY), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    auto* header = static_cast<TextHeader*>(block);
    header->count = 1;
    header->length = length;
    header->allocated = length;
    char* chars = reinterpret_cast<char*>(header + 1);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return chars;
}

} // namespace isorelink::framework
