#pragma once
// Writes files made of stretches of an image: unpack writes each file of an
// image this way, the extents of a file in several joined in order.
//
// Each stretch goes as fast as the file system allows: a reflink clone of
// the block-aligned part (FICLONERANGE) where blocks can be shared,
// copy_file_range inside the kernel otherwise, reads and writes as the
// fallback.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "platform/image_copy.h"

namespace isorelink::host {

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

class ExtentCopier {
public:
    ExtentCopier(ExtentCopier&& other) noexcept;
    ExtentCopier(const ExtentCopier&) = delete;
    ExtentCopier& operator=(const ExtentCopier&) = delete;
    ExtentCopier& operator=(ExtentCopier&&) = delete;
    ~ExtentCopier();

    static Expected<ExtentCopier> open(const std::string& source);

    // Creates `target`, which must not exist (a link there is never followed), and writes the ranges into it
    // one after the other. `progress` hears of every block written. A failed write removes the target.
    // Returns the fastest method any range went by.
    Expected<CopyMethod> write_file(const std::vector<ByteRange>& ranges, const std::string& target,
                                    const std::function<void(std::uint64_t)>& progress);

private:
    ExtentCopier(int fd, std::string source) : fd_(fd), source_(std::move(source)) {}
    int fd_ = -1;
    std::string source_;
    std::vector<std::byte> buffer_;
};

// Sets a file's or folder's modification (and access) time, in seconds since
// 1970 UTC, without following a link.
bool set_modification_time(const std::string& path, std::int64_t seconds);

} // namespace isorelink::host
