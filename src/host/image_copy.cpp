#include "host/image_copy.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/file.h"
#include "host/progress_bar.h"
#include "platform/message_pump.h"

#if defined(__linux__)
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace isorelink::host {

namespace {

constexpr std::size_t kStreamBlock = 8u << 20;
constexpr std::uint64_t kKernelStep = 32u << 20;

JobError copy_failure(const std::string& target, const char* reason) {
    return JobError{"cannot write " + target + ": " + reason};
}

Expected<CopyOutcome> streamed_copy(const std::string& source, const std::string& target, bool quiet) {
    auto in = File::open(source, "rb");
    if (!in) return JobError{"cannot open " + source};
    auto out = File::open(target, "wb");
    if (!out) return copy_failure(target, std::strerror(errno));
    const auto total = in->size().value_or(0);
    ProgressBar bar("copying", total, quiet);
    std::vector<std::byte> block(kStreamBlock);
    std::uint64_t done = 0;
    in->seek(0);
    for (;;) {
        const std::size_t got = in->read(block);
        if (got == 0) break;
        if (!out->write(std::span(block).first(got))) return copy_failure(target, std::strerror(errno));
        done += got;
        bar.update(done);
        platform::yield_after_slow_step();
    }
    if (done != total) return JobError{"cannot read " + source + " to its end"};
    if (!out->close()) return copy_failure(target, std::strerror(errno));
    return CopyOutcome{CopyMethod::Streamed, done};
}

#if defined(__linux__)
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        if (fd_ < 0) return true;
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

// Returns nothing when the kernel offers no in-kernel copy here.
std::optional<Expected<CopyOutcome>> kernel_copy(const std::string& source, const std::string& target, bool quiet) {
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return Expected<CopyOutcome>(JobError{"cannot open " + source});
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) return Expected<CopyOutcome>(JobError{"cannot examine " + source});
    const std::uint64_t total = static_cast<std::uint64_t>(info.st_size);
    Descriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.get() < 0) return Expected<CopyOutcome>(copy_failure(target, std::strerror(errno)));

    if (::ioctl(out.get(), FICLONE, in.get()) == 0) {
        if (!out.close()) return Expected<CopyOutcome>(copy_failure(target, std::strerror(errno)));
        return Expected<CopyOutcome>(CopyOutcome{CopyMethod::Reflink, total});
    }

    ProgressBar bar("copying", total, quiet);
    std::uint64_t done = 0;
    while (done < total) {
        // One call of 1 GiB would keep the host waiting for a second or more.
        const std::uint64_t step = std::min<std::uint64_t>(total - done, kKernelStep);
        const ssize_t copied = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, step, 0);
        if (copied < 0) {
            const int e = errno;
            if (done == 0 && (e == EXDEV || e == ENOSYS || e == EINVAL || e == EOPNOTSUPP || e == EPERM)) return std::nullopt;
            return Expected<CopyOutcome>(copy_failure(target, std::strerror(e)));
        }
        if (copied == 0) return Expected<CopyOutcome>(JobError{"cannot read " + source + " to its end"});
        done += static_cast<std::uint64_t>(copied);
        bar.update(done);
        platform::yield_after_slow_step();
    }
    if (!out.close()) return Expected<CopyOutcome>(copy_failure(target, std::strerror(errno)));
    return Expected<CopyOutcome>(CopyOutcome{CopyMethod::KernelCopy, done});
}
#endif

} // namespace

Expected<CopyOutcome> copy_image(const std::string& source, const std::string& target, bool quiet) {
    auto outcome = [&]() -> Expected<CopyOutcome> {
#if defined(__linux__)
        if (auto fast = kernel_copy(source, target, quiet)) return std::move(*fast);
#endif
        return streamed_copy(source, target, quiet);
    }();
    if (!outcome) {
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
