#include "platform/bulk_memory.h"

#include <cstdint>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace isorelink::platform {

namespace {
[[maybe_unused]] constexpr std::uintptr_t kLargePageBytes = std::uintptr_t{2} << 20;
} // namespace

void keep_freed_heap() {
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, 64 << 20);
    // Large vectors too come from the heap, where what one growth frees is the next one's memory; mapped
    // afresh, each growth would fault its pages in again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // The probe makes the heap grow by the pad at once; large pages over it cost a fault per 2 MiB instead of
    // one per 4 KiB, which were a third of a 50,000-file listing's time.
    void* probe = malloc(std::size_t{1} << 20);
    const auto first = (reinterpret_cast<std::uintptr_t>(probe) + kLargePageBytes - 1) & ~(kLargePageBytes - 1);
    const auto top = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Only over the heap the break bounds: a probe mapped elsewhere (another allocator) is left alone.
    if (probe != nullptr && top > first && top - first <= (std::uintptr_t{256} << 20))
        madvise(reinterpret_cast<void*>(first), (top - first) & ~(kLargePageBytes - 1), MADV_HUGEPAGE);
    free(probe);
#endif
#endif
}

#ifdef _WIN32

void* allocate_bulk(std::size_t bytes) { return ::operator new(bytes); }
void free_bulk(void* at, std::size_t) noexcept { ::operator delete(at); }

#else

namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
// From here on one large page costs less than the small ones' faults.
constexpr std::size_t kBulkFrom = std::size_t{512} << 10;

bool is_bulk(std::size_t bytes) { return bytes >= kBulkFrom; }

std::size_t whole_large_pages(std::size_t bytes) { return (bytes + kLargePage - 1) / kLargePage * kLargePage; }
} // namespace

void* allocate_bulk(std::size_t bytes) {
    if (!is_bulk(bytes)) return ::operator new(bytes);
    if (bytes > SIZE_MAX - 2 * kLargePage) throw std::bad_alloc();
    const std::size_t length = whole_large_pages(bytes);
    // Mapped one large page longer than needed, then trimmed to a boundary.
    const std::size_t mapped = length + kLargePage;
    void* at = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(at);
    const std::uintptr_t aligned = (start + kLargePage - 1) / kLargePage * kLargePage;
    if (aligned > start) ::munmap(at, aligned - start);
    if (const std::uintptr_t tail = start + mapped - (aligned + length); tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* const buffer = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(buffer, length, MADV_HUGEPAGE);  // a hint: without it the buffer still works
#endif
    return buffer;
}

void free_bulk(void* at, std::size_t bytes) noexcept {
    if (at == nullptr) return;
    if (!is_bulk(bytes)) {
        ::operator delete(at);
        return;
    }
    ::munmap(at, whole_large_pages(bytes));
}

#endif

} // namespace isorelink::platform
