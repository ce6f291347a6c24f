#include "tools/replace_plan.h"

#include <algorithm>
#include <limits>

#include "common/messages.h"
#include "common/sort_by_key.h"
#include "format/sector.h"
#include "common/progress.h"

namespace isorelink::host {

namespace {

// One UDF short allocation descriptor holds at most 2^30 - 1 bytes.
constexpr std::uint64_t kLargestUdfExtent = (std::uint64_t{1} << 30) - 1;

std::uint64_t end_of(const ListingLine& line) { return std::uint64_t{line.sector} + sectors_to_hold(line.size); }

} // namespace

RoomFinder::RoomFinder(const LayoutInput& layout) : layout_(layout), metadata_(layout.metadata_sectors) {
    std::vector<std::pair<std::uint32_t, std::size_t>> keyed;  // sector, line
    keyed.reserve(layout.listing.size());
    for (std::size_t i = 0; i < layout.listing.size(); ++i)
        if (layout.listing[i].size != 0) keyed.emplace_back(layout.listing[i].sector, i);
    stable_sort_by_key(keyed);
    by_sector_.reserve(keyed.size());
    for (const auto& [sector, line] : keyed) by_sector_.push_back(line);
    constexpr auto none = std::numeric_limits<std::size_t>::max();
    std::size_t first = none, second = none;
    const auto reach = [&](std::size_t line) { return line == none ? 0 : end_of(layout.listing[line]); };
    for (const auto line : by_sector_) {
        sectors_.push_back(layout.listing[line].sector);
        if (reach(line) > reach(first)) {
            second = first;
            first = line;
        } else if (reach(line) > reach(second)) {
            second = line;
        }
        furthest_.push_back(first);
        second_.push_back(second);
    }
    position_.assign(layout.listing.size(), none);
    after_.resize(by_sector_.size());
    for (std::size_t p = by_sector_.size(); p-- > 0;) {
        position_[by_sector_[p]] = p;
        after_[p] = p + 1 < sectors_.size() && sectors_[p + 1] == sectors_[p] ? after_[p + 1] : p + 1;
    }
    sort_sectors(metadata_);
}

// Another file holds this file's first sector: the first such file in listing
// order is named, as a scan would name it. Rare enough to look for by one.
Room RoomFinder::shared_room(std::size_t self) const {
    const auto& file = layout_.listing[self];
    for (std::size_t i = 0; i < layout_.listing.size(); ++i) {
        const auto& other = layout_.listing[i];
        if (i != self && other.size != 0 && other.sector <= file.sector && end_of(other) > file.sector)
            return Room{file.sector, MoveReason::SharedSector, i};
    }
    return Room{file.sector, MoveReason::SharedSector, {}};
}

Room RoomFinder::room_of(std::size_t self) const {
    progress::tick();
    const auto& file = layout_.listing[self];
    const std::uint64_t own_end = end_of(file);
    Room room{std::numeric_limits<std::uint64_t>::max(), MoveReason::LastFile, {}};

    // Of the files that start at or before ours, the one reaching furthest (other than ours) shares our first
    // sector when it reaches past it.
    const std::size_t at = position_[self];
    const auto after = at != std::numeric_limits<std::size_t>::max()
                           ? after_[at]
                           : static_cast<std::size_t>(std::upper_bound(sectors_.begin(), sectors_.end(), file.sector) -
                                                      sectors_.begin());
    if (after > 0) {
        const std::size_t other = furthest_[after - 1] != self ? furthest_[after - 1] : second_[after - 1];
        if (other != std::numeric_limits<std::size_t>::max() && end_of(layout_.listing[other]) > file.sector)
            return shared_room(self);
    }
    const bool file_follows = after < by_sector_.size();
    if (file_follows) room = Room{sectors_[after], MoveReason::NextFile, by_sector_[after]};

    const auto meta = std::lower_bound(metadata_.begin(), metadata_.end(), file.sector);
    if (meta != metadata_.end() && *meta == file.sector) return Room{file.sector, MoveReason::Metadata, {}};
    if (meta != metadata_.end() && *meta < room.end) room = Room{*meta, MoveReason::Metadata, {}};
    if (!file_follows && own_end <= room.end) room = Room{own_end, MoveReason::LastFile, {}};
    return room;
}

Expected<std::uint64_t> growth_room(const LayoutInput& layout, const RoomFinder& rooms, std::size_t line) {
    const auto& file = layout.listing[line];
    const Room room = rooms.room_of(line);
    const std::uint64_t own_end = end_of(file);
    std::uint64_t reach = room.end;
    if (reach > own_end) {
        auto data = layout.first_sector_with_data ? layout.first_sector_with_data(own_end, reach)
                                                  : Expected<std::uint64_t>(own_end);
        if (!data) return data.error();
        reach = std::min(reach, *data);
    }
    const std::uint64_t limit = sector_offset(reach) - sector_offset(file.sector);
    return limit > file.size ? limit - file.size : 0;
}

Expected<ReplacePlan> plan_replace(const LayoutInput& layout, const std::vector<Replacement>& replacements) {
    ReplacePlan plan;
    plan.relink_lines = layout.listing;
    // New data goes behind everything the source holds: its bytes and its recorded volume.
    std::uint64_t append_at = std::max<std::uint64_t>(layout.image_sectors, layout.volume_space_size);

    const RoomFinder rooms(layout);
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
            if (room.blocker) planned.blocking_path = layout.listing[*room.blocker].path;
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
