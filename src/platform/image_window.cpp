#include "platform/image_window.h"

#include <algorithm>

namespace isorelink {

ImageWindow::ImageWindow(File& image, std::uint64_t image_size, std::size_t block_size)
    : image_(image), image_size_(image_size), block_size_(block_size) {}

ImageWindow::ImageWindow(File& image, std::uint64_t image_size, const std::string& image_path)
    : image_(image), image_size_(image_size), block_size_(kDefaultBlock) {
    static_assert(kDefaultBlock <= platform::MappedFile::kLongestView);
    mapped_ = platform::MappedFile::open(image_path);
    if (mapped_ && mapped_->size() != image_size_) mapped_.reset();
}

std::optional<ByteView> ImageWindow::bytes(std::uint64_t offset, std::size_t length) {
    if (!contains(offset, length) || length > block_size_) return std::nullopt;
    if (mapped_) {
        if (const std::byte* at = mapped_->view(offset, length)) return ByteView(at, length);
        mapped_.reset();  // the mapping failed: read through the stream from here on
    }
    if (block_.size() != block_size_) block_.resize(block_size_);
    const bool inside = offset >= base_ && offset - base_ <= filled_ && length <= filled_ - (offset - base_);
    if (!inside) {
        const std::uint64_t want = std::min<std::uint64_t>(block_.size(), image_size_ - offset);
        base_ = offset;
        filled_ = image_.read_at(offset, std::span(block_).first(static_cast<std::size_t>(want)));
        if (length > filled_) return std::nullopt;
    }
    return ByteView(block_).subspan(static_cast<std::size_t>(offset - base_), length);
}

void ImageWindow::prefetch(std::uint64_t offset, std::size_t length) const {
    if (!mapped_) return;
    const std::byte* at = mapped_->mapped_now(offset, length);
    if (at == nullptr) return;
    constexpr std::size_t kCacheLine = 64;
    for (std::size_t i = 0; i < length; i += kCacheLine) __builtin_prefetch(at + i);
}

} // namespace isorelink
