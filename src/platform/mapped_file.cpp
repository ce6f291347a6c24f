#include "platform/mapped_file.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
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
    writable_ = std::exchange(other.writable_, false);
    window_ = std::exchange(other.window_, nullptr);
    window_offset_ = std::exchange(other.window_offset_, 0);
    window_length_ = std::exchange(other.window_length_, 0);
    return *this;
}

MappedFile::~MappedFile() { close(); }

std::byte* MappedFile::map_window(std::uint64_t offset, std::size_t length) {
    if (offset > size_ || length > size_ - offset || length > kLongestView) return nullptr;
    if (mapped_now(offset, length) == nullptr) {
        unmap();
        const std::uint64_t base = offset / kAlignment * kAlignment;
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - base));
#ifdef _WIN32
        void* at = MapViewOfFile(mapping_, writable_ ? FILE_MAP_WRITE : FILE_MAP_READ, static_cast<DWORD>(base >> 32),
                                 static_cast<DWORD>(base & 0xFFFFFFFFu), wanted);
        if (at == nullptr) return nullptr;
#else
        const int protection = writable_ ? PROT_READ | PROT_WRITE : PROT_READ;
        void* at = ::mmap(nullptr, wanted, protection, MAP_SHARED, fd_, static_cast<off_t>(base));
        if (at == MAP_FAILED) return nullptr;
#endif
        window_ = static_cast<std::byte*>(at);
        window_offset_ = base;
        window_length_ = wanted;
    }
    return window_ + (offset - window_offset_);
}

const std::byte* MappedFile::view(std::uint64_t offset, std::size_t length) { return map_window(offset, length); }

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

std::optional<MappedFile> MappedFile::open_for_update(const std::string&) { return std::nullopt; }

std::byte* MappedFile::update(std::uint64_t, std::size_t) { return nullptr; }

std::uint64_t MappedFile::data_from(std::uint64_t offset) const { return offset; }

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

std::optional<MappedFile> MappedFile::open_regular(const std::string& path, bool writable) {
    MappedFile file;
    file.fd_ = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (file.fd_ < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(file.fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return std::nullopt;
    file.size_ = static_cast<std::uint64_t>(st.st_size);
    file.writable_ = writable;
    return file;
}

std::optional<MappedFile> MappedFile::open(const std::string& path) { return open_regular(path, false); }

std::optional<MappedFile> MappedFile::open_for_update(const std::string& path) {
#ifdef MADV_POPULATE_WRITE
    return open_regular(path, true);
#else
    (void)path;
    return std::nullopt;
#endif
}

std::byte* MappedFile::update(std::uint64_t offset, std::size_t length) {
#ifdef MADV_POPULATE_WRITE
    if (!writable_) return nullptr;
    std::byte* at = map_window(offset, length);
    if (at == nullptr || length == 0) return at;
    // Fault the pages in writable now: should the file system refuse (no
    // room for a copy-on-write block, an I/O error), madvise says so, where
    // a store would have raised SIGBUS.
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t within = offset - window_offset_;
    const std::uint64_t first = within / page * page;
    const std::uint64_t end = std::min<std::uint64_t>(window_length_, (within + length + page - 1) / page * page);
    if (::madvise(window_ + first, static_cast<std::size_t>(end - first), MADV_POPULATE_WRITE) != 0) return nullptr;
    return at;
#else
    (void)offset;
    (void)length;
    return nullptr;
#endif
}

std::uint64_t MappedFile::data_from(std::uint64_t offset) const {
#ifdef SEEK_DATA
    if (offset >= size_) return offset;
    // The descriptor's own position serves nothing else: the windows are mapped at explicit offsets.
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
    if (at >= 0) return std::clamp<std::uint64_t>(static_cast<std::uint64_t>(at), offset, size_);
    if (errno == ENXIO) return size_;
#endif
    return offset;
}

void MappedFile::unmap() {
    if (window_ != nullptr) ::munmap(window_, window_length_);
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
