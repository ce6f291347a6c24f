#pragma once
// A buffered file stream with 64-bit positions that closes itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

namespace isorelink {

class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : stream_(other.stream_) { other.stream_ = nullptr; }
    File& operator=(File&& other) noexcept;
    ~File() { close(); }

    // Opens with a C stdio mode ("rb", "wb", "r+b", ...). Text modes are not
    // used: our listings write their CR LF themselves so that every platform
    // writes the same bytes.
    static std::optional<File> open(const std::string& path, const char* mode);

    bool is_open() const { return stream_ != nullptr; }
    bool seek(std::uint64_t offset);
    std::optional<std::uint64_t> tell() const;
    std::optional<std::uint64_t> size();

    // Reads up to data.size() bytes at the current position; returns the count.
    std::size_t read(std::span<std::byte> data);
    // Seeks and reads; returns the count read (short at the end of the file).
    std::size_t read_at(std::uint64_t offset, std::span<std::byte> data);
    bool write(std::span<const std::byte> data);
    bool write_at(std::uint64_t offset, std::span<const std::byte> data);
    bool write_text(std::string_view text);
    bool flush();
    // Closes and reports whether every buffered byte reached the file.
    bool close();

    std::FILE* stream() { return stream_; }

private:
    explicit File(std::FILE* stream) : stream_(stream) {}
    std::FILE* stream_ = nullptr;
};

// Length of a file by path, or nothing when it cannot be examined.
std::optional<std::uint64_t> file_size(const std::string& path);

} // namespace isorelink
