#include "host/replace_plan.h"

#include <algorithm>
#include <limits>

#include "common/sector.h"
#include "platform/message_pump.h"

namespace isorelink::host {

namespace {

// One UDF short allocation descriptor holds at most 2^30 - 1 bytes.
constexpr std::uint64_t kLargestUdfExtent = (std::uint64_t{1} << 30) - 1;

// The first sector after `sector` that something other than file `self`
// uses; the end of the file's own sectors when nothing follows it.
std::uint64_t room_end(const LayoutInput& layout, std::size_t self) {
    const auto& file = layout.listing[self];
    const std::uint64_t own_end = std::uint64_t{file.sector} + sectors_to_hold(file.size);
    std::uint64_t next = std::numeric_limits<std::uint64_t>::max();
    bool file_follows = false;
    for (std::size_t i = 0; i < layout.listing.size(); ++i) {
        const auto& other = layout.listing[i];
        platform::yield_to_host();
        if (i == self || other.size == 0) continue;
        const std::uint64_t other_end = std::uint64_t{other.sector} + sectors_to_hold(other.size);
        if (other.sector <= file.sector && other_end > file.sector) return file.sector;  // shares our first sector
        if (other.sector > file.sector) {
            next = std::min<std::uint64_t>(next, other.sector);
            file_follows = true;
        }
    }
    for (auto s : layout.metadata_sectors)
        if (s > file.sector) next = std::min<std::uint64_t>(next, s);
        else if (s == file.sector) return file.sector;
    if (!file_follows) next = std::min(next, own_end);
    return next;
}

} // namespace

Expected<ReplacePlan> plan_replace(const LayoutInput& layout, const std::vector<Replacement>& replacements) {
    ReplacePlan plan;
    plan.relink_lines = layout.listing;
    // New data goes behind everything the source holds: its bytes and its recorded volume.
    std::uint64_t append_at = std::max<std::uint64_t>(layout.image_sectors, layout.volume_space_size);

    std::vector<bool> taken(layout.listing.size(), false);
    for (const auto& r : replacements) {
        if (r.line >= layout.listing.size()) return JobError{"replace: no such listing line"};
        const auto& line = layout.listing[r.line];
        if (taken[r.line]) return JobError{"replace: " + line.path + " is named more than once"};
        taken[r.line] = true;
        if (r.new_size > std::numeric_limits<std::uint32_t>::max())
            return JobError{"replace: " + r.local_path + " is larger than one ISO 9660 extent can hold (4 GiB - 1)"};
        if (layout.kind == ImageKind::Ps2Dvd && r.new_size > kLargestUdfExtent)
            return JobError{"replace: " + r.local_path +
                            " is larger than one UDF extent can hold (1 GiB - 1) on a PS2 DVD"};

        PlannedFile planned;
        planned.line = r.line;
        planned.path = line.path;
        planned.local_path = r.local_path;
        planned.old_sector = line.sector;
        planned.old_size = line.size;
        planned.new_size = static_cast<std::uint32_t>(r.new_size);
        const std::uint64_t needed = sectors_to_hold(r.new_size);
        const std::uint64_t room = room_end(layout, r.line);
        if (r.new_size == 0 || std::uint64_t{line.sector} + needed <= room) {
            planned.new_sector = line.sector;
            const std::uint64_t old_end = std::uint64_t{line.sector} + sectors_to_hold(line.size);
            planned.clear_until = static_cast<std::uint32_t>(
                std::max(std::uint64_t{line.sector} + needed, std::min(old_end, room)));
        } else {
            if (append_at + needed > std::numeric_limits<std::uint32_t>::max())
                return JobError{"replace: the new image would need sector numbers beyond 32 bits"};
            planned.new_sector = static_cast<std::uint32_t>(append_at);
            planned.moved = true;
            planned.clear_until = static_cast<std::uint32_t>(append_at + needed);
            append_at += needed;
        }
        plan.relink_lines[r.line].sector = planned.new_sector;
        plan.relink_lines[r.line].size = planned.new_size;
        plan.files.push_back(std::move(planned));
    }
    plan.new_sector_count = std::max(append_at, layout.image_sectors);
    return plan;
}

} // namespace isorelink::host
