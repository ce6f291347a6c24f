#include "platform/file.h"

#include <sys/stat.h>

namespace isorelink {

namespace {
int seek64(std::FILE* f, std::uint64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(offset), whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}
long long tell64(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<long long>(ftello(f));
#endif
}
} // namespace

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        stream_ = other.stream_;
        other.stream_ = nullptr;
    }
    return *this;
}

std::optional<File> File::open(const std::string& path, const char* mode) {
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (f == nullptr) return std::nullopt;
    return File(f);
}

bool File::seek(std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    return stream_ != nullptr && seek64(stream_, offset, SEEK_SET) == 0;
}

std::optional<std::uint64_t> File::tell() const {
    if (stream_ == nullptr) return std::nullopt;
    const long long pos = tell64(stream_);
    if (pos < 0) return std::nullopt;
    return static_cast<std::uint64_t>(pos);
}

std::optional<std::uint64_t> File::size() {
    if (stream_ == nullptr) return std::nullopt;
    const auto here = tell();
    if (!here || seek64(stream_, 0, SEEK_END) != 0) return std::nullopt;
    const auto end = tell();
    seek64(stream_, *here, SEEK_SET);
    return end;
}

std::size_t File::read(std::span<std::byte> data) {
    if (stream_ == nullptr || data.empty()) return 0;
    return std::fread(data.data(), 1, data.size(), stream_);
}

std::size_t File::read_at(std::uint64_t offset, std::span<std::byte> data) {
    if (!seek(offset)) return 0;
    return read(data);
}

bool File::write(std::span<const std::byte> data) {
    if (stream_ == nullptr) return false;
    if (data.empty()) return true;
    return std::fwrite(data.data(), 1, data.size(), stream_) == data.size();
}

bool File::write_at(std::uint64_t offset, std::span<const std::byte> data) {
    return seek(offset) && write(data);
}

bool File::write_text(std::string_view text) {
    return write(std::as_bytes(std::span(text.data(), text.size())));
}

bool File::flush() { return stream_ != nullptr && std::fflush(stream_) == 0; }

bool File::close() {
    if (stream_ == nullptr) return true;
    const bool ok = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return ok;
}

std::optional<std::uint64_t> file_size(const std::string& path) {
#ifdef _WIN32
    struct _stati64 st {};
    if (_stati64(path.c_str(), &st) != 0) return std::nullopt;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
#endif
    if (st.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

} // namespace isorelink
