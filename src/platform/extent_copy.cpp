#include "platform/extent_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "common/messages.h"
#include "common/progress.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#ifdef _WIN32
#include <io.h>
#include <sys/utime.h>
#else
#include <unistd.h>
#endif

namespace isorelink::host {

namespace {

constexpr std::size_t kBlock = 1u << 20;
// Clones share whole file system blocks; 4096 bytes is every Linux file system's usual block.
constexpr std::uint64_t kCloneBlock = 4096;

#ifdef _WIN32
constexpr int kBinary = O_BINARY;
long long read_at(int fd, std::uint64_t offset, void* data, std::size_t size) {
    if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) return -1;
    return _read(fd, data, static_cast<unsigned>(size));
}
long long write_some(int fd, const void* data, std::size_t size) { return _write(fd, data, static_cast<unsigned>(size)); }
int close_fd(int fd) { return _close(fd); }
#else
constexpr int kBinary = 0;
long long read_at(int fd, std::uint64_t offset, void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) return n;
    }
}
long long write_some(int fd, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}
int close_fd(int fd) { return ::close(fd); }
#endif

#if defined(__linux__)
bool kernel_copy_unavailable(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EPERM;
}
#endif

} // namespace

ExtentCopier::ExtentCopier(ExtentCopier&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), source_(std::move(other.source_)) {}

ExtentCopier::~ExtentCopier() {
    if (fd_ >= 0) close_fd(fd_);
}

Expected<ExtentCopier> ExtentCopier::open(const std::string& source) {
#ifdef _WIN32
    const int fd = ::_open(source.c_str(), O_RDONLY | kBinary);
#else
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (fd < 0) return job_error(msg::kCannotOpen, source);
    return ExtentCopier(fd, source);
}

Expected<CopyMethod> ExtentCopier::write_file(const std::vector<ByteRange>& ranges, const std::string& target,
                                              const std::function<void(std::uint64_t)>& progress) {
#ifdef _WIN32
    const int out = ::_open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | kBinary, 0666);
#else
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
    if (out < 0) return job_error(msg::kCannotWriteBecause, {target, std::strerror(errno)});
    const auto failed = [&](const JobError& error) -> Expected<CopyMethod> {
        close_fd(out);
        std::error_code ec;
        std::filesystem::remove(target, ec);
        return error;
    };
    const auto write_failed = [&](int error) { return failed(job_error(msg::kCannotWriteBecause, {target, std::strerror(error)})); };

    CopyMethod best = CopyMethod::Streamed;
    std::uint64_t at = 0;  // bytes of the target written
    for (const auto& range : ranges) {
        std::uint64_t done = 0;
#if defined(__linux__)
        // The block-aligned part, shared with the image where the file system can.
        if (range.offset % kCloneBlock == 0 && at % kCloneBlock == 0 && range.length >= kCloneBlock) {
            file_clone_range clone{};
            clone.src_fd = fd_;
            clone.src_offset = range.offset;
            clone.src_length = range.length - range.length % kCloneBlock;
            clone.dest_offset = at;
            if (::ioctl(out, FICLONERANGE, &clone) == 0) {
                done = clone.src_length;
                best = CopyMethod::Reflink;
                progress(done);
            }
        }
        bool kernel = true;
        while (kernel && done < range.length) {
            auto from = static_cast<loff_t>(range.offset + done);
            auto to = static_cast<loff_t>(at + done);
            const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(range.length - done, 8u << 20));
            const ssize_t n = ::copy_file_range(fd_, &from, out, &to, step, 0);
            if (n == 0) return failed(job_error(msg::kCannotReadToEnd, source_));
            if (n > 0) {
                done += static_cast<std::uint64_t>(n);
                if (best == CopyMethod::Streamed) best = CopyMethod::KernelCopy;
                progress(static_cast<std::uint64_t>(n));
                progress::slow_step();
                continue;
            }
            if (errno == EINTR) continue;
            if (!kernel_copy_unavailable(errno)) return write_failed(errno);
            kernel = false;
        }
        if (done < range.length && ::lseek(out, static_cast<off_t>(at + done), SEEK_SET) < 0) return write_failed(errno);
#endif
        if (buffer_.empty() && done < range.length) buffer_.resize(kBlock);
        while (done < range.length) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(range.length - done, kBlock));
            const long long got = read_at(fd_, range.offset + done, buffer_.data(), want);
            if (got < 0) return failed(job_error(msg::kCannotRead, source_));
            if (got == 0) return failed(job_error(msg::kCannotReadToEnd, source_));
            for (long long written = 0; written < got;) {
                const long long n = write_some(out, buffer_.data() + written, static_cast<std::size_t>(got - written));
                if (n <= 0) return write_failed(n == 0 ? EIO : errno);
                written += n;
            }
            done += static_cast<std::uint64_t>(got);
            progress(static_cast<std::uint64_t>(got));
            progress::slow_step();
        }
        at += range.length;
    }
    if (close_fd(out) != 0) {
        const int error = errno;
        std::error_code ec;
        std::filesystem::remove(target, ec);
        return job_error(msg::kCannotWriteBecause, {target, std::strerror(error)});
    }
    return best;
}

bool set_modification_time(const std::string& path, std::int64_t seconds) {
#ifdef _WIN32
    __utimbuf64 times{seconds, seconds};
    return ::_utime64(path.c_str(), &times) == 0;
#else
    timespec times[2]{};
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
#endif
}

} // namespace isorelink::host
