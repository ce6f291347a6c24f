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

    // Reads these sectors (any order, repeats allowed) ahead, runs of
    // neighbours in one read each, so that planning a long list does not cost
    // one read per sector. Sectors beyond the image are left out. Call it
    // once, before anything is planned.
    void preload(std::vector<std::uint64_t> indices);

    // The sector's bytes as planned so far: 2048, or fewer for a trailing
    // partial sector. Empty beyond the image.
    MutableByteView sector(std::uint64_t index);

    // Plans bytes at an image offset; false (nothing planned) when they do
    // not lie inside the image.
    bool write(std::uint64_t offset, ByteView bytes);

    std::size_t sectors_touched() const { return preloaded_.size() + sectors_.size(); }

    // Writes every planned sector; false when a read or a write failed.
    bool commit();

private:
    std::size_t sector_length(std::uint64_t index) const;

    File& image_;
    std::uint64_t image_size_;
    // Preloaded sectors: ascending indices, their bytes side by side (2048 each).
    std::vector<std::uint64_t> preloaded_;
    std::vector<std::byte> preloaded_bytes_;
    // Sectors first touched outside the preloaded set.
    std::map<std::uint64_t, std::vector<std::byte>> sectors_;
    bool read_failed_ = false;
};

} // namespace isorelink
