#include "platform/image_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <utility>

#include "common/messages.h"
#include "platform/file.h"
#include "platform/progress_bar.h"
#include "common/progress.h"

#if defined(__linux__)
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace isorelink::host {

namespace {

// Streamed copies go in blocks of this size, each ending on a multiple of it
// in the target, so that the page cache gets whole pages to fill.
constexpr std::size_t kStreamBlock = 1u << 20;
// The page size the kernel copies in: copy_file_range is only used when the
// source and target offsets lie equally far into a page (a file moved by
// half a page would otherwise be spliced in pieces of every page, which
// measured half again as slow as a streamed copy).
constexpr std::uint64_t kPage = 4096;
// One copy_file_range call of this size takes a few ms, but the kernel may
// hold a writer back for a while when much of the page cache waits for the
// disk: small steps keep the host from waiting on a whole stretch of them.
constexpr std::uint64_t kKernelStep = 4u << 20;
// An earlier new image of the same name is cut back this much at a time.
constexpr std::uint64_t kTruncateStep = 64u << 20;

JobError write_failure(const std::string& target, int error) {
    return job_error(msg::kCannotWriteBecause, {target, std::strerror(error)});
}

// One stretch of the new image, in file order.
struct Piece {
    enum class From { Source, Local, Zeros };
    From from = From::Source;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    const Overlay* overlay = nullptr;
};

Expected<std::vector<Piece>> lay_out(std::uint64_t source_size, const std::vector<Overlay>& overlays) {
    std::vector<const Overlay*> sorted;
    for (const auto& o : overlays)
        if (o.length > 0) sorted.push_back(&o);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Overlay* a, const Overlay* b) { return a->offset < b->offset; });
    std::vector<Piece> pieces;
    std::uint64_t at = 0;
    for (const auto* o : sorted) {
        if (o->offset < at || o->content_length > o->length)
            return job_error(msg::kOverlappingContents, std::to_string(o->offset));
        const std::uint64_t source_end = std::min(o->offset, source_size);
        if (at < source_end) pieces.push_back({Piece::From::Source, at, source_end - at, nullptr});
        if (o->content_length > 0) pieces.push_back({Piece::From::Local, o->offset, o->content_length, o});
        if (o->length > o->content_length)
            pieces.push_back({Piece::From::Zeros, o->offset + o->content_length, o->length - o->content_length, o});
        at = o->offset + o->length;
    }
    if (at < source_size) pieces.push_back({Piece::From::Source, at, source_size - at, nullptr});
    return pieces;
}

// An unbuffered file for positioned reads and writes.
#if defined(__linux__)
class RawFile {
public:
    RawFile(RawFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;
    RawFile& operator=(RawFile&&) = delete;
    ~RawFile() { close(); }

    static std::optional<RawFile> open_read(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return std::nullopt;
        return RawFile(fd);
    }
    // Creates the file or opens it as it is; empty() empties it. An earlier
    // image of this name that is a plain file is dropped first (drop_earlier()).
    static std::optional<RawFile> open_write(const std::string& path) {
        drop_earlier(path);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return std::nullopt;
        return RawFile(fd);
    }

    std::optional<std::uint64_t> size() const {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) return std::nullopt;
        return static_cast<std::uint64_t>(info.st_size);
    }
    // The count read: 0 at the end of the file, -1 on an error.
    long long read_at(std::uint64_t offset, std::span<std::byte> data) {
        for (;;) {
            const ssize_t n = ::pread(fd_, data.data(), data.size(), static_cast<off_t>(offset));
            if (n >= 0 || errno != EINTR) return n;
        }
    }
    bool write_at(std::uint64_t offset, std::span<const std::byte> data) {
        while (!data.empty()) {
            const ssize_t n = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = EIO;
                return false;
            }
            data = data.subspan(static_cast<std::size_t>(n));
            offset += static_cast<std::uint64_t>(n);
        }
        return true;
    }
    bool empty() {
        const auto length = size();
        return length && (*length == 0 || ::ftruncate(fd_, 0) == 0);
    }
    bool clone_from(const RawFile& source) { return ::ioctl(fd_, FICLONE, source.fd_) == 0; }
    // Lengthens the file to `length` bytes (a hole); never shortens it.
    bool extend_to(std::uint64_t length) {
        const auto now = size();
        return now && (*now >= length || ::ftruncate(fd_, static_cast<off_t>(length)) == 0);
    }
    // The first byte at or after `offset` that holds data, and the first
    // that lies in a hole; nothing when the file system cannot say (then
    // everything counts as data).
    std::optional<std::uint64_t> next_data(std::uint64_t offset) const { return seek(offset, SEEK_DATA); }
    std::optional<std::uint64_t> next_hole(std::uint64_t offset) const { return seek(offset, SEEK_HOLE); }
    // Whether both name one file (a link): cutting one back would cut the other.
    bool same_file_as(const RawFile& other) const {
        struct stat a {}, b {};
        return ::fstat(fd_, &a) == 0 && ::fstat(other.fd_, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }
    int fd() const { return fd_; }
    bool close() {
        if (fd_ < 0) return true;
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    explicit RawFile(int fd) : fd_(fd) {}

    std::optional<std::uint64_t> seek(std::uint64_t offset, int whence) const {
        const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
        if (at >= 0) return static_cast<std::uint64_t>(at);
        if (errno == ENXIO) return size();  // no data (or no hole) after offset: the end
        return std::nullopt;
    }

    // Dropping a gigabyte of cached pages keeps one call busy 100 ms and more,
    // and ext4 flushes a file that was emptied to length 0 and written again
    // to the disk when it is closed (half a second for a gigabyte). So a
    // plain file with no other name is cut back a step at a time to one byte,
    // letting the host in between, and unlinked; the image is created anew.
    // Links are left alone: they may name the source.
    static void drop_earlier(const std::string& path) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) return;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) return;
        for (auto left = static_cast<std::uint64_t>(info.st_size); left > 1;) {
            left = left > kTruncateStep + 1 ? left - kTruncateStep : 1;
            if (::ftruncate(fd, static_cast<off_t>(left)) != 0) break;
            progress::slow_step();
        }
        ::close(fd);
        ::unlink(path.c_str());
    }

    int fd_ = -1;
};
#else
class RawFile {
public:
    static std::optional<RawFile> open_read(const std::string& path) {
        auto file = File::open(path, "rb");
        if (!file) return std::nullopt;
        return RawFile(std::move(*file));
    }
    static std::optional<RawFile> open_write(const std::string& path) {
        auto file = File::open(path, "wb");
        if (!file) return std::nullopt;
        return RawFile(std::move(*file));
    }
    std::optional<std::uint64_t> size() { return file_.size(); }
    long long read_at(std::uint64_t offset, std::span<std::byte> data) {
        return static_cast<long long>(file_.read_at(offset, data));
    }
    bool write_at(std::uint64_t offset, std::span<const std::byte> data) { return file_.write_at(offset, data); }
    bool empty() { return true; }  // "wb" has emptied it
    bool clone_from(const RawFile&) { return false; }
    bool same_file_as(const RawFile&) const { return false; }
    bool close() { return file_.close(); }

private:
    explicit RawFile(File file) : file_(std::move(file)) {}
    File file_;
};
#endif

#if defined(__linux__)
// copy_file_range cannot join these two files (another file system, an old
// kernel): read and write instead.
bool kernel_copy_unavailable(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EPERM;
}
#endif

// Writes the pieces into the target, keeping the progress bar and the host
// up to date after every block.
class PieceWriter {
public:
    PieceWriter(RawFile& out, const std::string& target, std::uint64_t total, bool quiet)
        : out_(out), target_(target), bar_("copying", total, quiet) {}

    // Copies up to `length` bytes of `in` from `in_offset` to `out_offset`;
    // returns how many it copied, fewer only when `in` ends first.
    Expected<std::uint64_t> copy(RawFile& in, const std::string& in_name, std::uint64_t in_offset,
                                 std::uint64_t out_offset, std::uint64_t length) {
        std::uint64_t done = 0;
        last_in_kernel_ = false;
#if defined(__linux__)
        bool kernel = in_offset % kPage == out_offset % kPage;
        while (kernel && done < length) {
            auto from = static_cast<loff_t>(in_offset + done);
            auto to = static_cast<loff_t>(out_offset + done);
            // Steps end on multiples of the step in the target.
            const auto step = static_cast<std::size_t>(
                std::min(length - done, kKernelStep - static_cast<std::uint64_t>(to) % kKernelStep));
            const ssize_t n = ::copy_file_range(in.fd(), &from, out_.fd(), &to, step, 0);
            if (n == 0) return done;
            if (n > 0) {
                last_in_kernel_ = true;
                done += static_cast<std::uint64_t>(n);
                advance(static_cast<std::uint64_t>(n));
                continue;
            }
            const int e = errno;
            if (e == EINTR) continue;
            if (!kernel_copy_unavailable(e)) return write_failure(target_, e);
            kernel = false;
        }
#endif
        while (done < length) {
            const std::uint64_t to_boundary = kStreamBlock - (out_offset + done) % kStreamBlock;
            auto block = buffer().first(static_cast<std::size_t>(std::min(length - done, to_boundary)));
            const long long got = in.read_at(in_offset + done, block);
            if (got < 0) return job_error(msg::kCannotRead, in_name);
            if (got == 0) break;
            if (!out_.write_at(out_offset + done, block.first(static_cast<std::size_t>(got))))
                return write_failure(target_, errno);
            done += static_cast<std::uint64_t>(got);
            advance(static_cast<std::uint64_t>(got));
        }
        return done;
    }

    // Copies `length` bytes of the source at `offset` to the same offset of
    // a target that holds nothing there yet, leaving the source's holes as
    // holes: a sparse image stays sparse. Returns how many it accounted for,
    // fewer only when the source ends first.
    Expected<std::uint64_t> copy_keeping_holes(RawFile& in, const std::string& in_name, std::uint64_t offset,
                                               std::uint64_t length) {
#if defined(__linux__)
        const std::uint64_t end = std::min(offset + length, in.size().value_or(offset + length));
        bool kernel = false;
        std::uint64_t at = offset;
        while (at < end) {
            // Where the data around `at` lies. Asked once per stretch of data: some file systems (tmpfs) find
            // a hole by walking every page up to it, so asking again for each piece would walk the whole
            // image once per replaced file.
            if (!(data_begin_ <= at && at < data_end_)) {
                const auto data = in.next_data(at);
                if (!data) break;  // the file system cannot say: copy the rest as it is
                data_begin_ = *data;
                data_end_ = *data >= end ? *data : in.next_hole(*data).value_or(UINT64_MAX);
            }
            if (data_begin_ > at) {  // a hole: the target reads zeros there already
                const std::uint64_t hole_end = std::min(data_begin_, end);
                advance(hole_end - at);
                at = hole_end;
                continue;
            }
            const std::uint64_t data_end = std::min(data_end_, end);
            auto copied = copy(in, in_name, at, at, data_end - at);
            if (!copied) return copied.error();
            kernel = kernel || last_in_kernel_;
            at += *copied;
            if (at != data_end) break;  // the source ended early
        }
        if (at < offset + length) {
            // The file system could not say where the data lies, or the source ends early: a plain copy
            // of the rest (which reports a short source).
            auto rest = copy(in, in_name, at, at, offset + length - at);
            if (!rest) return rest.error();
            kernel = kernel || last_in_kernel_;
            at += *rest;
        }
        last_in_kernel_ = kernel;
        return at - offset;
#else
        return copy(in, in_name, offset, offset, length);
#endif
    }

    // Zeros that a target which holds nothing there yet reads already.
    void skip(std::uint64_t length) { advance(length); }

    Status zeros(std::uint64_t offset, std::uint64_t length) {
        if (zeros_.size() < std::min<std::uint64_t>(length, kStreamBlock))
            zeros_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, kStreamBlock)));
        while (length > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, zeros_.size()));
            if (!out_.write_at(offset, std::span(zeros_).first(n))) return write_failure(target_, errno);
            offset += n;
            length -= n;
            advance(n);
        }
        return ok_status();
    }

    // Whether the last copy() went through copy_file_range.
    bool last_in_kernel() const { return last_in_kernel_; }
    void finish() { bar_.finish(); }

private:
    std::span<std::byte> buffer() {
        if (buffer_.empty()) buffer_.resize(kStreamBlock);
        return buffer_;
    }
    void advance(std::uint64_t bytes) {
        done_ += bytes;
        bar_.update(done_);
        progress::slow_step();
    }

    RawFile& out_;
    const std::string& target_;
    ProgressBar bar_;
    std::uint64_t done_ = 0;
    // copy_keeping_holes: the source's stretch of data last asked about, [begin, end).
    std::uint64_t data_begin_ = 0;
    std::uint64_t data_end_ = 0;
    bool last_in_kernel_ = false;
    std::vector<std::byte> buffer_;
    std::vector<std::byte> zeros_;
};

// `opened` tells whether the target was opened for writing, so that a
// failure before that leaves a file of that name alone.
Expected<CopyOutcome> write_pieces(const std::string& source, const std::string& target,
                                   const std::vector<Overlay>& overlays, bool quiet, bool& opened) {
    auto in = RawFile::open_read(source);
    if (!in) return job_error(msg::kCannotOpen, source);
    const auto source_size = in->size();
    if (!source_size) return job_error(msg::kCannotReadLength, source);
    auto pieces = lay_out(*source_size, overlays);
    if (!pieces) return pieces.error();
    auto out = RawFile::open_write(target);
    if (!out) return write_failure(target, errno);
    if (out->same_file_as(*in)) return job_error(msg::kTargetIsSource, {target, source});
    opened = true;
    if (!out->empty()) return write_failure(target, errno);

    // A clone holds the source's bytes already: only the overlays remain.
    const bool cloned = out->clone_from(*in);
    std::uint64_t total = 0;
    for (const auto& p : *pieces)
        if (!cloned || p.from != Piece::From::Source) total += p.length;

    PieceWriter writer(*out, target, total, quiet);
    bool source_in_kernel = false;
    for (const auto& p : *pieces) {
        switch (p.from) {
        case Piece::From::Source: {
            if (cloned) break;
            auto copied = writer.copy_keeping_holes(*in, source, p.offset, p.length);
            if (!copied) return copied.error();
            if (*copied != p.length) return job_error(msg::kCannotReadToEnd, source);
            source_in_kernel = source_in_kernel || writer.last_in_kernel();
            break;
        }
        case Piece::From::Local: {
            const auto& path = p.overlay->local_path;
            auto local = RawFile::open_read(path);
            if (!local) return job_error(msg::kCannotRead, path);
            auto copied = writer.copy(*local, path, 0, p.offset, p.length);
            if (!copied) return copied.error();
            if (*copied != p.length) return job_error(msg::kChangedWhileRead, path);
            break;
        }
        case Piece::From::Zeros:
#if defined(__linux__)
            if (!cloned) {  // the emptied target holds nothing there: it reads zeros
                writer.skip(p.length);
                break;
            }
#endif
            if (auto written = writer.zeros(p.offset, p.length); !written) return written.error();
            break;
        }
    }
    writer.finish();
#if defined(__linux__)
    // Holes at the end are written by no piece: the length says them.
    const std::uint64_t length = pieces->empty() ? 0 : pieces->back().offset + pieces->back().length;
    if (!out->extend_to(length)) return write_failure(target, errno);
#endif
    if (!out->close()) return write_failure(target, errno);
    const CopyMethod method = cloned ? CopyMethod::Reflink
                              : source_in_kernel ? CopyMethod::KernelCopy
                                                     : CopyMethod::Streamed;
    return CopyOutcome{method, total};
}

} // namespace

Expected<CopyOutcome> write_overlaid_copy(const std::string& source, const std::string& target,
                                          const std::vector<Overlay>& overlays, bool quiet) {
    bool opened = false;
    auto outcome = write_pieces(source, target, overlays, quiet, opened);
    if (!outcome && opened) {
        std::error_code ec;
        std::filesystem::remove(target, ec);
    }
    return outcome;
}

const char* to_string(CopyMethod method) {
    switch (method) {
    case CopyMethod::Reflink: return "reflink";
    case CopyMethod::KernelCopy: return "copy_file_range";
    case CopyMethod::Streamed: return "sequential copy";
    }
    return "copy";
}

} // namespace isorelink::host
