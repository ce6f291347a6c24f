#include "platform/read_handle.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace isorelink::platform {

#ifdef _WIN32

ReadHandle::ReadHandle(ReadHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
ReadHandle& ReadHandle::operator=(ReadHandle&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}
ReadHandle::~ReadHandle() { close(); }

void ReadHandle::close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
}

std::optional<ReadHandle> ReadHandle::open(const std::string& path) {
    // The job's own stream may hold the same file open for update: share both.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    return ReadHandle(h);
}

std::size_t ReadHandle::read_at(std::uint64_t offset, std::span<std::byte> data) const {
    if (handle_ == nullptr) return 0;
    std::size_t done = 0;
    while (done < data.size()) {
        LARGE_INTEGER pos;
        pos.QuadPart = static_cast<LONGLONG>(offset + done);
        if (!SetFilePointerEx(handle_, pos, nullptr, FILE_BEGIN)) break;
        const std::size_t want = data.size() - done;
        const DWORD chunk = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
        DWORD got = 0;
        if (!ReadFile(handle_, data.data() + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

std::optional<std::uint64_t> ReadHandle::size() const {
    LARGE_INTEGER size;
    if (handle_ == nullptr || !GetFileSizeEx(handle_, &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool delete_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

#else

ReadHandle::ReadHandle(ReadHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
ReadHandle& ReadHandle::operator=(ReadHandle&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}
ReadHandle::~ReadHandle() { close(); }

void ReadHandle::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::optional<ReadHandle> ReadHandle::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    return ReadHandle(fd);
}

std::size_t ReadHandle::read_at(std::uint64_t offset, std::span<std::byte> data) const {
    if (fd_ < 0 || offset > static_cast<std::uint64_t>(INT64_MAX)) return 0;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t got = ::pread(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::optional<std::uint64_t> ReadHandle::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool delete_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

#endif

} // namespace isorelink::platform
