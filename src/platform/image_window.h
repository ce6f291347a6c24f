#pragma once
// A forward-moving window over the image for the scans and the header copy:
// hands out views of the bytes the caller asks for, only when they lie wholly
// inside the image. Given the image's path it reads through a memory mapping
// of bounded windows (the File Entry scans look at a few bytes of each of
// thousands of sectors); otherwise, or when the mapping cannot be made, it
// reads large blocks through the job's stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/endian.h"
#include "platform/file.h"
#include "platform/mapped_file.h"

namespace isorelink {

class ImageWindow {
public:
    static constexpr std::size_t kDefaultBlock = 1u << 20;

    ImageWindow(File& image, std::uint64_t image_size, std::size_t block_size = kDefaultBlock);
    // Maps image_path when its length is image_size.
    ImageWindow(File& image, std::uint64_t image_size, const std::string& image_path);

    std::uint64_t image_size() const { return image_size_; }
    std::size_t block_size() const { return block_size_; }

    // The bytes [offset, offset + length), or nothing when any of them lies
    // outside the image (or the read fails). length must not exceed the
    // block size. The view stays valid until the next call.
    std::optional<ByteView> bytes(std::uint64_t offset, std::size_t length);

    // The bytes [offset, offset + length) straight from the mapping, or
    // nullptr when the image is not mapped or they do not lie inside it (a
    // caller then asks bytes()). Valid until the next call.
    const std::byte* mapped(std::uint64_t offset, std::size_t length) {
        return mapped_ && contains(offset, length) ? mapped_->view(offset, length) : nullptr;
    }

    // The first offset at or after offset that may hold anything but zeros,
    // as far as the file system tells (only of a mapped image; else offset).
    std::uint64_t data_from(std::uint64_t offset) const {
        return mapped_ ? std::min(mapped_->data_from(offset), image_size_) : offset;
    }

    // Asks the processor to fetch bytes the caller will look at soon, when
    // the current mapped window holds them; a hint only, it never reads.
    void prefetch(std::uint64_t offset, std::size_t length) const;

    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= image_size_ && length <= image_size_ - offset;
    }

private:
    File& image_;
    std::uint64_t image_size_;
    std::size_t block_size_;
    std::optional<platform::MappedFile> mapped_;
    std::vector<std::byte> block_;
    std::uint64_t base_ = 0;
    std::size_t filled_ = 0;
};

} // namespace isorelink
