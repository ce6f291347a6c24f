#pragma once
// The platform's own read-only file handle: a Win32 HANDLE on Windows, a
// POSIX descriptor elsewhere. The path table reader and the directory walker
// read the image through it, apart from the buffered stream the job holds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace isorelink::platform {

class ReadHandle {
public:
    ReadHandle() = default;
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    ReadHandle(ReadHandle&& other) noexcept;
    ReadHandle& operator=(ReadHandle&& other) noexcept;
    ~ReadHandle();

    // Opens an existing file for reading, shared for reading with others.
    static std::optional<ReadHandle> open(const std::string& path);

    // Reads up to data.size() bytes at an absolute offset; returns the count
    // read, short at the end of the file (0 beyond it or on error).
    std::size_t read_at(std::uint64_t offset, std::span<std::byte> data) const;

    // Reads exactly data.size() bytes or reports false.
    bool read_exact_at(std::uint64_t offset, std::span<std::byte> data) const {
        return read_at(offset, data) == data.size();
    }

    std::optional<std::uint64_t> size() const;

private:
#ifdef _WIN32
    void* handle_ = nullptr;
    explicit ReadHandle(void* handle) : handle_(handle) {}
#else
    int fd_ = -1;
    explicit ReadHandle(int fd) : fd_(fd) {}
#endif
    void close();
};

// Deletes a file; failures are ignored (returns whether it succeeded).
bool delete_file(const std::string& path);

} // namespace isorelink::platform
