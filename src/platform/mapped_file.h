#pragma once
// A file read through a memory mapping, one bounded window at a time: the
// scans that look at a few bytes of every sector (the File Entry run of a
// PS2 DVD image) get them without copying every sector into a buffer. Only
// the current window is mapped, so the pages it holds stay few.
//
// Opened for update (Linux only), it also hands out writable bytes, so that
// a rebuild changing a few bytes in each of thousands of sectors dirties
// their pages without copying every sector through a buffer and back.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace isorelink::platform {

class MappedFile {
public:
    // Window size and alignment: a multiple of the Windows allocation
    // granularity, and the size of the large pages the page cache may hold
    // a file in: a window starting at such a boundary maps them whole.
    static constexpr std::size_t kWindow = std::size_t{16} << 20;
    static constexpr std::size_t kAlignment = std::size_t{2} << 20;
    // The longest view one call hands out.
    static constexpr std::size_t kLongestView = kWindow - kAlignment;

    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    ~MappedFile();

    // Opens an existing, non-empty file for reading; nothing when it cannot
    // be opened or mapped (callers then read it the ordinary way).
    static std::optional<MappedFile> open(const std::string& path);

    // Opens an existing, non-empty file for reading and writing; nothing
    // where that is not offered (Windows) or possible.
    static std::optional<MappedFile> open_for_update(const std::string& path);

    std::uint64_t size() const { return size_; }

    // The bytes [offset, offset + length), or nullptr when any of them lies
    // outside the file, length exceeds kLongestView or the window cannot be
    // mapped. Valid until the next call.
    const std::byte* view(std::uint64_t offset, std::size_t length);

    // Writable bytes [offset, offset + length) of a file opened for update,
    // their pages already made writable, so that a failure to make them so
    // (a full disk, say) is this call returning nullptr rather than a fault
    // on the first store. The caller then writes the ordinary way, which
    // reports the failure. Valid until the next call.
    std::byte* update(std::uint64_t offset, std::size_t length);

    // The bytes at offset when the current window already holds all of
    // them, else nullptr; never maps anything.
    const std::byte* mapped_now(std::uint64_t offset, std::size_t length) const {
        const bool inside = window_ != nullptr && offset >= window_offset_ &&
                            offset - window_offset_ <= window_length_ && length <= window_length_ - (offset - window_offset_);
        return inside ? window_ + (offset - window_offset_) : nullptr;
    }

    // The first offset at or after offset that may hold data: before it the
    // file system keeps a hole, which reads as zeros. offset itself where
    // holes cannot be asked about; the file's size when only a hole follows.
    std::uint64_t data_from(std::uint64_t offset) const;

private:
    MappedFile() = default;
#ifndef _WIN32
    // An existing, non-empty regular file, opened for reading or for both.
    static std::optional<MappedFile> open_regular(const std::string& path, bool writable);
#endif
    std::byte* map_window(std::uint64_t offset, std::size_t length);
    void unmap();
    void close();

#ifdef _WIN32
    void* file_ = nullptr;
    void* mapping_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::uint64_t size_ = 0;
    bool writable_ = false;
    std::byte* window_ = nullptr;
    std::uint64_t window_offset_ = 0;
    std::size_t window_length_ = 0;
};

} // namespace isorelink::platform
