#pragma once
// The new layout of a replace, planned as data before a byte is written.
//
// A replaced file keeps its sector when its new content fits in the sectors
// it owned, or grows from there over sectors nothing names up to the next
// used sector, as long as those hold only zeros: games read data by sector
// that no file names, and a dual-layer PS2 DVD keeps its second layer's
// volume descriptors in such a gap. Otherwise the file moves behind the
// image's end, sector-aligned, one after the other in the order asked. Every
// other file keeps its sector and its bytes. The sectors after the last file
// (a post-gap, the closing UDF anchor, padding) count as used.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "format/image_kind.h"
#include "common/result.h"
#include "read/sector_listing.h"

namespace isorelink::host {

struct Replacement {
    std::size_t line = 0;        // index into the sector listing
    std::uint64_t new_size = 0;  // bytes of the local file
    std::string local_path;
};

// Why a replaced file left its sector.
enum class MoveReason {
    None,          // kept in place
    SharedSector,  // another record names its first sector (blocking_path)
    NextFile,      // blocking_sector, where its room ends, belongs to blocking_path
    Metadata,      // blocking_sector holds a directory, a path table or a UDF descriptor
    HiddenData,    // blocking_sector, which it would grow over, holds bytes no file names
    LastFile,      // nothing follows it: what lies behind the last file stays
};

struct PlannedFile {
    std::size_t line = 0;
    std::string path;            // as the listing names it
    std::string local_path;
    std::uint32_t old_sector = 0;
    std::uint32_t old_size = 0;
    std::uint32_t new_sector = 0;
    std::uint32_t new_size = 0;
    bool moved = false;
    MoveReason move_reason = MoveReason::None;
    std::uint64_t blocking_sector = 0;
    std::string blocking_path;
    // In place: sectors from the new content's end up to here held the old
    // content and are zeroed.
    std::uint32_t clear_until = 0;
    // In place: the first sector its room does not reach (the next used one, or the end of its own sectors
    // for the last file). Sectors past its own count only while they hold zeros.
    std::uint64_t room_end = 0;
};

struct ReplacePlan {
    std::vector<PlannedFile> files;           // in the order asked
    std::uint64_t new_sector_count = 0;       // the copy's length before the rebuild, in sectors
    std::vector<ListingLine> relink_lines;    // the listing with the new values
};

struct LayoutInput {
    ImageKind kind = ImageKind::Ps2Cd;
    std::vector<ListingLine> listing;
    std::vector<std::uint32_t> metadata_sectors;  // directories, File Entries ...: sectors files must not take
    std::uint64_t image_sectors = 0;              // the source's length in sectors (a partial one counts)
    std::uint32_t volume_space_size = 0;
    // The first sector in [first, end) of the source that holds a byte other than zero; `end` when all of them hold
    // zeros. Asked only about the sectors a growing file would take beyond its own. Unset: every such sector
    // counts as holding data.
    std::function<Expected<std::uint64_t>(std::uint64_t first, std::uint64_t end)> first_sector_with_data;
};

Expected<ReplacePlan> plan_replace(const LayoutInput& layout, const std::vector<Replacement>& replacements);

// How far a file may reach from its first sector, and what stops it there.
struct Room {
    std::uint64_t end = 0;  // the first sector the file may not take
    MoveReason limit = MoveReason::LastFile;
    std::optional<std::size_t> blocker;  // the line of the file at `end` (or sharing the first sector)
};

// The room of every file of a layout: the files are ordered by sector once, so that each question costs a
// binary search, not a pass over the listing. The layout must outlive the finder.
class RoomFinder {
public:
    explicit RoomFinder(const LayoutInput& layout);
    // The first sector after file `line`'s first one that something else uses; the end of the file's own
    // sectors when nothing follows it.
    Room room_of(std::size_t line) const;

private:
    Room shared_room(std::size_t self) const;
    const LayoutInput& layout_;
    std::vector<std::size_t> by_sector_;         // lines of files with data, by first sector (stable)
    std::vector<std::uint32_t> sectors_;         // their first sectors
    std::vector<std::size_t> position_;          // per line: its index in by_sector_ (none for a file without data)
    std::vector<std::size_t> after_;             // per index: the first index of a later sector
    std::vector<std::size_t> furthest_, second_; // per prefix of by_sector_: the two lines reaching furthest
    std::vector<std::uint32_t> metadata_;        // sorted
};

// The bytes file `line` may grow by and keep its sector: up to its room's end, over sectors that hold only
// zeros (asked of layout.first_sector_with_data). 0 for a file that shares its first sector.
Expected<std::uint64_t> growth_room(const LayoutInput& layout, const RoomFinder& rooms, std::size_t line);

// Why a moved file moved, for the report: "(sector 304 belongs to \B.BIN)"; empty for a file kept in place.
std::string why_moved(const PlannedFile& file);

} // namespace isorelink::host
