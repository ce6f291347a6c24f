#include "rebuild/patch_plan.h"

#include <algorithm>

#include "common/sector.h"
#include "platform/message_pump.h"

namespace isorelink {

namespace {
// Neighbouring sectors are read and written in runs of at most this many.
constexpr std::size_t kRunSectors = 512;

// The runs of consecutive indices in a sorted list: [begin, end) positions.
template <typename Visit>
void for_each_run(const std::vector<std::uint64_t>& indices, Visit visit) {
    for (std::size_t begin = 0; begin < indices.size();) {
        std::size_t end = begin + 1;
        while (end < indices.size() && end - begin < kRunSectors && indices[end] == indices[end - 1] + 1) ++end;
        visit(begin, end);
        begin = end;
    }
}
} // namespace

std::size_t PatchPlan::sector_length(std::uint64_t index) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(kSectorSize, image_size_ - sector_offset(index)));
}

void PatchPlan::preload(std::vector<std::uint64_t> indices) {
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    std::erase_if(indices, [&](std::uint64_t index) { return sector_offset(index) >= image_size_; });
    preloaded_ = std::move(indices);
    preloaded_bytes_.resize(preloaded_.size() * kSectorSize);
    for_each_run(preloaded_, [&](std::size_t begin, std::size_t end) {
        const std::uint64_t start = sector_offset(preloaded_[begin]);
        const std::size_t length = (end - begin - 1) * kSectorSize + sector_length(preloaded_[end - 1]);
        auto target = std::span(preloaded_bytes_).subspan(begin * kSectorSize, length);
        if (image_.read_at(start, target) != length) read_failed_ = true;
        platform::yield_to_host();
    });
}

MutableByteView PatchPlan::sector(std::uint64_t index) {
    const std::uint64_t start = sector_offset(index);
    if (start >= image_size_) return {};
    const auto loaded = std::lower_bound(preloaded_.begin(), preloaded_.end(), index);
    if (loaded != preloaded_.end() && *loaded == index) {
        const auto at = static_cast<std::size_t>(loaded - preloaded_.begin());
        return std::span(preloaded_bytes_).subspan(at * kSectorSize, sector_length(index));
    }
    auto found = sectors_.find(index);
    if (found == sectors_.end()) {
        std::vector<std::byte> bytes(sector_length(index));
        if (image_.read_at(start, bytes) != bytes.size()) read_failed_ = true;
        found = sectors_.emplace(index, std::move(bytes)).first;
    }
    return found->second;
}

bool PatchPlan::write(std::uint64_t offset, ByteView bytes) {
    if (offset > image_size_ || bytes.size() > image_size_ - offset) return false;
    while (!bytes.empty()) {
        const auto within = static_cast<std::size_t>(offset & (kSectorSize - 1));
        auto target = sector(whole_sectors(offset)).subspan(within);
        const std::size_t n = std::min(target.size(), bytes.size());
        std::copy_n(bytes.begin(), n, target.begin());
        bytes = bytes.subspan(n);
        offset += n;
    }
    return true;
}

bool PatchPlan::commit() {
    if (read_failed_) return false;
    bool ok = true;
    for_each_run(preloaded_, [&](std::size_t begin, std::size_t end) {
        const std::size_t length = (end - begin - 1) * kSectorSize + sector_length(preloaded_[end - 1]);
        ok = image_.write_at(sector_offset(preloaded_[begin]),
                             std::span(preloaded_bytes_).subspan(begin * kSectorSize, length)) &&
             ok;
        platform::yield_to_host();
    });
    for (const auto& [index, bytes] : sectors_) {
        ok = image_.write_at(sector_offset(index), bytes) && ok;
        platform::yield_to_host();
    }
    return image_.flush() && ok;
}

} // namespace isorelink
