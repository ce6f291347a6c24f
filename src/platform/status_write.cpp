#include "platform/status_write.h"

#ifdef _WIN32
#include <cstdio>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace isorelink::platform {

#ifdef _WIN32

StatusWriteResult write_status_bytes(const std::string& path, std::span<const std::byte> bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return {StatusWrite::CannotCreate, {}};
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return {};
}

#else

namespace {

// Why the file open as fd must not be written, or empty when it may be.
std::string refusal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return "a file that cannot be examined";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (st.st_uid != ::geteuid()) return "a file owned by another user";
    if (st.st_nlink != 1) return "a file with several links";
    return {};
}

} // namespace

StatusWriteResult write_status_bytes(const std::string& path, std::span<const std::byte> bytes) {
    // O_NONBLOCK: a FIFO planted at the path must not stall the job until
    // someone reads it; it is refused below like any other non-file.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        if (errno == ELOOP) return {StatusWrite::Unsafe, "a symbolic link"};
        if (errno == ENXIO) return {StatusWrite::Unsafe, "not a regular file"};
        return {StatusWrite::CannotCreate, {}};
    }
    if (auto why = refusal(fd); !why.empty()) {
        ::close(fd);
        return {StatusWrite::Unsafe, why};
    }
    bool written = ::ftruncate(fd, 0) == 0;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) written = false;
        else done += static_cast<std::size_t>(put);
    }
    ::close(fd);
    return written ? StatusWriteResult{} : StatusWriteResult{StatusWrite::CannotCreate, {}};
}

#endif

} // namespace isorelink::platform
