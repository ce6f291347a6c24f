#pragma once
// Memory for a job's large buffers (a relink list's lines, a rebuild plan's
// held sectors). From 512 KiB on it is mapped on a 2 MiB boundary and
// marked for large pages where the system offers them, so that writing it
// first costs one fault per 2 MiB rather than one per 4 KiB page: on Linux
// such faults took more time than filling the pages. Smaller buffers, and
// every buffer on Windows, come from the ordinary heap.
#include <cstddef>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace isorelink::platform {

// Lets the ordinary heap keep up to 64 MiB it was given back at its top
// instead of returning it to the system at once: a walk whose vectors of tens
// of thousands of records grow, are freed and are asked for again would
// otherwise fault the same memory in afresh each time. Large vectors come
// from that heap too, and on Linux its first 64 MiB are marked for large
// pages. For a command that only reads and reports; glibc only, elsewhere
// nothing.
void keep_freed_heap();

// Never nullptr: throws std::bad_alloc as operator new does.
void* allocate_bulk(std::size_t bytes);
// Gives back what allocate_bulk(bytes) handed out.
void free_bulk(void* at, std::size_t bytes) noexcept;

template <typename T>
struct BulkAllocator {
    using value_type = T;

    BulkAllocator() = default;
    template <typename U>
    BulkAllocator(const BulkAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(allocate_bulk(n * sizeof(T)));
    }
    void deallocate(T* at, std::size_t n) noexcept { free_bulk(at, n * sizeof(T)); }

    template <typename U>
    bool operator==(const BulkAllocator<U>&) const noexcept {
        return true;
    }
};

template <typename T>
using BulkVector = std::vector<T, BulkAllocator<T>>;

// Bytes from allocate_bulk, left as they come (the caller fills them).
class BulkBuffer {
public:
    BulkBuffer() = default;
    explicit BulkBuffer(std::size_t size) : data_(static_cast<std::byte*>(allocate_bulk(size))), size_(size) {}
    BulkBuffer(const BulkBuffer&) = delete;
    BulkBuffer& operator=(const BulkBuffer&) = delete;
    BulkBuffer(BulkBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    BulkBuffer& operator=(BulkBuffer&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        return *this;
    }
    ~BulkBuffer() { free_bulk(data_, size_); }

    std::byte* data() { return data_; }
    std::size_t size() const { return size_; }

private:
    std::byte* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace isorelink::platform
