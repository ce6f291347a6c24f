#include "rebuild/patch_plan.h"

#include <algorithm>

#include "common/sector.h"
#include "platform/message_pump.h"

namespace isorelink {

MutableByteView PatchPlan::sector(std::uint64_t index) {
    const std::uint64_t start = sector_offset(index);
    if (start >= image_size_) return {};
    auto found = sectors_.find(index);
    if (found == sectors_.end()) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kSectorSize, image_size_ - start));
        std::vector<std::byte> bytes(length);
        if (image_.read_at(start, bytes) != length) read_failed_ = true;
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
    for (const auto& [index, bytes] : sectors_) {
        ok = image_.write_at(sector_offset(index), bytes) && ok;
        platform::yield_to_host();
    }
    return image_.flush() && ok;
}

} // namespace isorelink
