#include "platform/mapped_file.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace isorelink::platform {

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this == &other) return *this;
    close();
#ifdef _WIN32
    file_ = std::exchange(other.file_, nullptr);
    mapping_ = std::exchange(other.mapping_, nullptr);
#else
    fd_ = std::exchange(other.fd_, -1);
#endif
    size_ = std::exchange(other.size_, 0);
    window_ = std::exchange(other.window_, nullptr);
    window_offset_ = std::exchange(other.window_offset_, 0);
    window_length_ = std::exchange(other.window_length_, 0);
    return *this;
}

MappedFile::~MappedFile() { close(); }

const std::byte* MappedFile::view(std::uint64_t offset, std::size_t length) {
    if (offset > size_ || length > size_ - offset || length > kLongestView) return nullptr;
    const bool inside = window_ != nullptr && offset >= window_offset_ &&
                        offset - window_offset_ + length <= window_length_;
    if (!inside) {
        unmap();
        const std::uint64_t base = offset / kAlignment * kAlignment;
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - base));
#ifdef _WIN32
        void* at = MapViewOfFile(mapping_, FILE_MAP_READ, static_cast<DWORD>(base >> 32),
                                 static_cast<DWORD>(base & 0xFFFFFFFFu), wanted);
        if (at == nullptr) return nullptr;
#else
        void* at = ::mmap(nullptr, wanted, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(base));
        if (at == MAP_FAILED) return nullptr;
#endif
        window_ = static_cast<const std::byte*>(at);
        window_offset_ = base;
        window_length_ = wanted;
    }
    return window_ + (offset - window_offset_);
}

#ifdef _WIN32

std::optional<MappedFile> MappedFile::open(const std::string& path) {
    MappedFile file;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    file.file_ = h;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size) || size.QuadPart <= 0) return std::nullopt;
    file.size_ = static_cast<std::uint64_t>(size.QuadPart);
    file.mapping_ = CreateFileMappingA(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (file.mapping_ == nullptr) return std::nullopt;
    return file;
}

void MappedFile::unmap() {
    if (window_ != nullptr) UnmapViewOfFile(window_);
    window_ = nullptr;
    window_length_ = 0;
}

void MappedFile::close() {
    unmap();
    if (mapping_ != nullptr) CloseHandle(mapping_);
    if (file_ != nullptr) CloseHandle(file_);
    mapping_ = nullptr;
    file_ = nullptr;
}

#else

std::optional<MappedFile> MappedFile::open(const std::string& path) {
    MappedFile file;
    file.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd_ < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(file.fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return std::nullopt;
    file.size_ = static_cast<std::uint64_t>(st.st_size);
    return file;
}

void MappedFile::unmap() {
    if (window_ != nullptr) ::munmap(const_cast<std::byte*>(window_), window_length_);
    window_ = nullptr;
    window_length_ = 0;
}

void MappedFile::close() {
    unmap();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

#endif

} // namespace isorelink::platform
