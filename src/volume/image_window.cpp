#include "volume/image_window.h"

#include <algorithm>

namespace isorelink {

ImageWindow::ImageWindow(File& image, std::uint64_t image_size, std::size_t block_size)
    : image_(image), image_size_(image_size), block_(block_size) {}

std::optional<ByteView> ImageWindow::bytes(std::uint64_t offset, std::size_t length) {
    if (!contains(offset, length) || length > block_.size()) return std::nullopt;
    const bool inside = offset >= base_ && offset - base_ <= filled_ && length <= filled_ - (offset - base_);
    if (!inside) {
        const std::uint64_t want = std::min<std::uint64_t>(block_.size(), image_size_ - offset);
        base_ = offset;
        filled_ = image_.read_at(offset, std::span(block_).first(static_cast<std::size_t>(want)));
        if (length > filled_) return std::nullopt;
    }
    return ByteView(block_).subspan(static_cast<std::size_t>(offset - base_), length);
}

} // namespace isorelink
