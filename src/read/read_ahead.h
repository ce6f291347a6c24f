#pragma once
// Small reads that mostly move forward through an image (a directory's File
// Entries, one sector after another) answered from one buffer, so that a
// run of them costs a few large reads instead of one read each. A read just
// past what the buffer holds doubles the next fill, up to kMostBytes; a read
// elsewhere starts again at one sector. The bytes handed out are the ones
// read_exact_at would give; what the buffer cannot answer is read as asked.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "format/endian.h"
#include "read/image_source.h"

namespace isorelink::host {

class ReadAhead {
public:
    static constexpr std::size_t kLeastBytes = 2048;
    static constexpr std::size_t kMostBytes = 256 * 1024;

    explicit ReadAhead(const ImageSource& image) : image_(image) {}

    // The bytes [offset, offset + length), or nothing when the image does not
    // hold them all. Valid until the next call.
    std::optional<ByteView> bytes(std::uint64_t offset, std::size_t length);

private:
    bool holds(std::uint64_t offset, std::size_t length) const {
        return offset >= base_ && offset - base_ <= filled_ && length <= filled_ - (offset - base_);
    }

    const ImageSource& image_;
    std::vector<std::byte> buffer_;
    std::uint64_t base_ = 0;
    std::size_t filled_ = 0;
    std::size_t span_ = kLeastBytes;
};

} // namespace isorelink::host
