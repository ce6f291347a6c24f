#include "tools/replace_plan.h"

#include <algorithm>
#include <limits>

#include "common/messages.h"
#include "format/sector.h"
#include "platform/message_pump.h"

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

// Where each file's room ends, found by binary searches: the files that hold
// bytes and the metadata sectors are sorted once, so that a replace of
// thousands of files never scans the whole listing per file.
class RoomIndex {
public:
    explicit RoomIndex(const LayoutInput& layout) : layout_(layout) {
        for (std::size_t i = 0; i < layout.listing.size(); ++i)
            if (layout.listing[i].size != 0) starts_.push_back({layout.listing[i].sector, i});
        std::sort(starts_.begin(), starts_.end());
        std::uint64_t reach = 0;
        for (const auto& [sector, line] : starts_) {
            reach = std::max(reach, end_of(layout.listing[line]));
            reach_.push_back(reach);
        }
        metadata_ = layout.metadata_sectors;
        std::sort(metadata_.begin(), metadata_.end());
    }

    // The first sector after file `self`'s first one that something else
    // uses; the end of the file's own sectors when no file follows it.
    Room room_of(std::size_t self) const {
        platform::yield_to_host();
        const auto& file = layout_.listing[self];
        const std::uint64_t own_end = end_of(file);
        const auto at = [&](std::uint64_t sector) {
            return std::lower_bound(starts_.begin(), starts_.end(), Start{sector, 0});
        };
        const auto same = at(file.sector);
        const auto after = at(std::uint64_t{file.sector} + 1);
        const bool covered_from_before = same != starts_.begin() && reach_[same - starts_.begin() - 1] > file.sector;
        const bool shares_with_another =
            std::any_of(same, after, [&](const Start& s) { return s.line != self; });
        if (covered_from_before || shares_with_another) return shared_room(self);

        Room room{std::numeric_limits<std::uint64_t>::max(), MoveReason::LastFile, {}};
        const bool file_follows = after != starts_.end();
        if (file_follows) room = Room{after->sector, MoveReason::NextFile, layout_.listing[after->line].path};
        const auto meta = std::lower_bound(metadata_.begin(), metadata_.end(), file.sector);
        if (meta != metadata_.end() && *meta == file.sector) return Room{file.sector, MoveReason::Metadata, {}};
        if (meta != metadata_.end() && *meta < room.end) room = Room{*meta, MoveReason::Metadata, {}};
        if (!file_follows && own_end <= room.end) room = Room{own_end, MoveReason::LastFile, {}};
        return room;
    }

private:
    struct Start {
        std::uint64_t sector = 0;
        std::size_t line = 0;  // equal sectors in listing order: the first one names the blocker
        auto operator<=>(const Start&) const = default;
    };

    static std::uint64_t end_of(const ListingLine& line) {
        return std::uint64_t{line.sector} + sectors_to_hold(line.size);
    }

    // Another file holds this file's first sector: the first such file in
    // listing order is named. Rare enough to look for by a scan.
    Room shared_room(std::size_t self) const {
        const auto& file = layout_.listing[self];
        for (std::size_t i = 0; i < layout_.listing.size(); ++i) {
            const auto& other = layout_.listing[i];
            if (i != self && other.size != 0 && other.sector <= file.sector && end_of(other) > file.sector)
                return Room{file.sector, MoveReason::SharedSector, other.path};
        }
        return Room{file.sector, MoveReason::SharedSector, {}};
    }

    const LayoutInput& layout_;
    std::vector<Start> starts_;          // files that hold bytes, by first sector
    std::vector<std::uint64_t> reach_;   // reach_[k]: the furthest end among starts_[0..k]
    std::vector<std::uint32_t> metadata_;
};

} // namespace

Expected<ReplacePlan> plan_replace(const LayoutInput& layout, const std::vector<Replacement>& replacements) {
    ReplacePlan plan;
    plan.relink_lines = layout.listing;
    // New data goes behind everything the source holds: its bytes and its recorded volume.
    std::uint64_t append_at = std::max<std::uint64_t>(layout.image_sectors, layout.volume_space_size);

    const RoomIndex rooms(layout);
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
        const Room room = rooms.room_of(r.line);
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
            planned.room_end = room.end;
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
