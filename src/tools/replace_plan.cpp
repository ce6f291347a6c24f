#include "tools/replace_plan.h"

#include <algorithm>
#include <limits>

#include "common/messages.h"
#include "format/sector.h"
#include "common/progress.h"

namespace isorelink::host {

namespace {

// One UDF short allocation descriptor holds at most 2^30 - 1 bytes.
constexpr std::uint64_t kLargestUdfExtent = (std::uint64_t{1} << 30) - 1;

// How far a file may reach from its first sector, and what stops it there.
struct Room {
    std::uint64_t end = 0;
    MoveReason limit = MoveReason::LastFile;
    std::string blocker;  // the file at `end` (or sharing the first sector)
};

// The first sector after file `self`'s first one that something else uses; the end of the file's own sectors
// when no file follows it.
Room room_of(const LayoutInput& layout, std::size_t self) {
    const auto& file = layout.listing[self];
    const std::uint64_t own_end = std::uint64_t{file.sector} + sectors_to_hold(file.size);
    Room room{std::numeric_limits<std::uint64_t>::max(), MoveReason::LastFile, {}};
    bool file_follows = false;
    for (std::size_t i = 0; i < layout.listing.size(); ++i) {
        const auto& other = layout.listing[i];
        progress::tick();
        if (i == self || other.size == 0) continue;
        const std::uint64_t other_end = std::uint64_t{other.sector} + sectors_to_hold(other.size);
        if (other.sector <= file.sector && other_end > file.sector)  // shares our first sector
            return Room{file.sector, MoveReason::SharedSector, other.path};
        if (other.sector > file.sector) {
            if (other.sector < room.end) room = Room{other.sector, MoveReason::NextFile, other.path};
            file_follows = true;
        }
    }
    for (auto s : layout.metadata_sectors)
        if (s == file.sector) return Room{file.sector, MoveReason::Metadata, {}};
        else if (s > file.sector && s < room.end) room = Room{s, MoveReason::Metadata, {}};
    if (!file_follows && own_end <= room.end) room = Room{own_end, MoveReason::LastFile, {}};
    return room;
}

} // namespace

Expected<ReplacePlan> plan_replace(const LayoutInput& layout, const std::vector<Replacement>& replacements) {
    ReplacePlan plan;
    plan.relink_lines = layout.listing;
    // New data goes behind everything the source holds: its bytes and its recorded volume.
    std::uint64_t append_at = std::max<std::uint64_t>(layout.image_sectors, layout.volume_space_size);

    std::vector<bool> taken(layout.listing.size(), false);
    for (const auto& r : replacements) {
        if (r.line >= layout.listing.size()) return job_error(msg::kReplaceNoSuchLine);
        const auto& line = layout.listing[r.line];
        if (taken[r.line]) return job_error(msg::kReplaceNamedTwice, line.path);
        taken[r.line] = true;
        if (r.new_size > std::numeric_limits<std::uint32_t>::max())
            return job_error(msg::kReplaceTooLargeIso, r.local_path);
        if (layout.kind == ImageKind::Ps2Dvd && r.new_size > kLargestUdfExtent)
            return job_error(msg::kReplaceTooLargeUdf, r.local_path);

        PlannedFile planned;
        planned.line = r.line;
        planned.path = line.path;
        planned.local_path = r.local_path;
        planned.old_sector = line.sector;
        planned.old_size = line.size;
        planned.new_size = static_cast<std::uint32_t>(r.new_size);
        const std::uint64_t needed = sectors_to_hold(r.new_size);
        const std::uint64_t new_end = std::uint64_t{line.sector} + needed;
        const std::uint64_t old_end = std::uint64_t{line.sector} + sectors_to_hold(line.size);
        const Room room = room_of(layout, r.line);
        if (r.new_size != 0 && new_end > room.end) {
            planned.move_reason = room.limit;
            planned.blocking_sector = room.end;
            planned.blocking_path = room.blocker;
        } else if (r.new_size != 0 && new_end > old_end) {
            // Beyond its own sectors only over zeros: what no file names may still be read by sector.
            auto data = layout.first_sector_with_data ? layout.first_sector_with_data(old_end, new_end)
                                                      : Expected<std::uint64_t>(old_end);
            if (!data) return data.error();
            if (*data < new_end) {
                planned.move_reason = MoveReason::HiddenData;
                planned.blocking_sector = *data;
            }
        }
        if (planned.move_reason == MoveReason::None) {
            planned.new_sector = line.sector;
            planned.clear_until = static_cast<std::uint32_t>(std::max(new_end, std::min(old_end, room.end)));
        } else {
            if (append_at + needed > std::numeric_limits<std::uint32_t>::max())
                return job_error(msg::kReplaceBeyond32Bits);
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

std::string why_moved(const PlannedFile& file) {
    const std::string sector = "sector " + std::to_string(file.blocking_sector);
    switch (file.move_reason) {
    case MoveReason::None: return {};
    case MoveReason::SharedSector: return "(" + file.blocking_path + " shares its first sector)";
    case MoveReason::NextFile: return "(" + sector + " belongs to " + file.blocking_path + ")";
    case MoveReason::Metadata: return "(" + sector + " holds file system structures)";
    case MoveReason::HiddenData: return "(" + sector + " holds data no file names)";
    case MoveReason::LastFile: return "(it is the last file: what follows it stays)";
    }
    return {};
}

} // namespace isorelink::host
