#pragma once
// The new image's sectors as the relink list will leave them. Every line is
// applied here first, in memory, sector by sector as it is first touched; only
// when the whole list has been accepted does commit() write the changed
// sectors back, in ascending order. A refused list leaves the file untouched.
#include <cstdint>
#include <map>
#include <vector>

#include "common/endian.h"
#include "common/file.h"

namespace isorelink {

class PatchPlan {
public:
    PatchPlan(File& image, std::uint64_t image_size) : image_(image), image_size_(image_size) {}

    std::uint64_t image_size() const { return image_size_; }

    // The sector's bytes as planned so far: 2048, or fewer for a trailing
    // partial sector. Empty beyond the image.
    MutableByteView sector(std::uint64_t index);

    // Plans bytes at an image offset; false (nothing planned) when they do
    // not lie inside the image.
    bool write(std::uint64_t offset, ByteView bytes);

    std::size_t sectors_touched() const { return sectors_.size(); }

    // Writes every planned sector; false when a read or a write failed.
    bool commit();

private:
    File& image_;
    std::uint64_t image_size_;
    std::map<std::uint64_t, std::vector<std::byte>> sectors_;
    bool read_failed_ = false;
};

} // namespace isorelink
