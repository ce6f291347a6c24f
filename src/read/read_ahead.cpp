#include "read/read_ahead.h"

#include <algorithm>

namespace isorelink::host {

std::optional<ByteView> ReadAhead::bytes(std::uint64_t offset, std::size_t length) {
    if (!holds(offset, length)) {
        // Forward from the buffer, within the span of the next fill: the run goes on.
        const bool onward = offset >= base_ + filled_ && offset - (base_ + filled_) < span_;
        span_ = onward ? std::min(span_ * 2, kMostBytes) : kLeastBytes;
        buffer_.resize(std::max(span_, length));
        base_ = offset;
        filled_ = image_.read_at(offset, buffer_);
        if (!holds(offset, length)) {
            // A short fill (the image's end, a sector that cannot be read): the bytes asked for, as asked.
            buffer_.resize(length);
            filled_ = image_.read_exact_at(offset, buffer_) ? length : 0;
            if (filled_ != length) return std::nullopt;
        }
    }
    return ByteView(buffer_).subspan(static_cast<std::size_t>(offset - base_), length);
}

} // namespace isorelink::host
