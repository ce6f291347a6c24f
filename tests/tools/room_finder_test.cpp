// The indexed room of every file against the rule read straight off the
// layout, one pass over every other file per question: random layouts with
// overlapping files, shared sectors, empty files and metadata between files.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <random>
#include <tuple>

#include "format/sector.h"
#include "tools/replace_plan.h"

namespace isorelink::test {
namespace {

using host::LayoutInput;
using host::MoveReason;

// The rule as the replace documents it, with no index: where the room ends, why, and the file named for it
// (the first in listing order).
std::tuple<std::uint64_t, MoveReason, std::optional<std::size_t>> plain_room(const LayoutInput& layout,
                                                                              std::size_t self) {
    const auto& file = layout.listing[self];
    const std::uint64_t own_end = std::uint64_t{file.sector} + sectors_to_hold(file.size);
    std::uint64_t end = std::numeric_limits<std::uint64_t>::max();
    MoveReason limit = MoveReason::LastFile;
    std::optional<std::size_t> blocker;
    bool file_follows = false;
    for (std::size_t i = 0; i < layout.listing.size(); ++i) {
        const auto& other = layout.listing[i];
        if (i == self || other.size == 0) continue;
        if (other.sector <= file.sector && other.sector + sectors_to_hold(other.size) > file.sector)
            return {file.sector, MoveReason::SharedSector, i};
        if (other.sector > file.sector) {
            file_follows = true;
            if (other.sector < end) end = other.sector, limit = MoveReason::NextFile, blocker = i;
        }
    }
    for (const auto s : layout.metadata_sectors)
        if (s == file.sector) return {file.sector, MoveReason::Metadata, {}};
    for (const auto s : layout.metadata_sectors)
        if (s > file.sector && s < end) end = s, limit = MoveReason::Metadata, blocker.reset();
    if (!file_follows && own_end <= end) end = own_end, limit = MoveReason::LastFile, blocker.reset();
    return {end, limit, blocker};
}

TEST(RoomFinder, AgreesWithThePlainRuleOnRandomLayouts) {
    std::mt19937 random(19);
    for (int round = 0; round < 300; ++round) {
        LayoutInput layout;
        // Every 50th round many files to a sector, past the few a sort by comparison orders.
        const int files = 1 + static_cast<int>(random() % (round % 50 == 0 ? 1000 : 30));
        for (int i = 0; i < files; ++i) {
            host::ListingLine line;
            line.sector = 20 + random() % 200;
            line.size = random() % 4 == 0 ? 0 : static_cast<std::uint32_t>(random() % (12 * 2048));
            line.path = "\\F" + std::to_string(i);
            layout.listing.push_back(line);
        }
        for (int i = 0, n = static_cast<int>(random() % 5); i < n; ++i)
            layout.metadata_sectors.push_back(20 + random() % 220);
        const host::RoomFinder rooms(layout);
        for (std::size_t i = 0; i < layout.listing.size(); ++i) {
            const auto room = rooms.room_of(i);
            const auto [end, limit, blocker] = plain_room(layout, i);
            ASSERT_EQ(room.end, end) << "round " << round << ", file " << i;
            ASSERT_EQ(room.limit, limit) << "round " << round << ", file " << i;
            ASSERT_EQ(room.blocker, blocker) << "round " << round << ", file " << i;
        }
    }
}

// Room in bytes: over zeros only, never below zero, none for a file that shares its first sector.
TEST(RoomFinder, GrowthRoomStopsAtTheFirstSectorHoldingData) {
    LayoutInput layout;
    layout.listing = {{100, 3000, 0, 0, "\\A"}, {110, 10, 0, 0, "\\B"}, {110, 5000, 0, 0, "\\C"}};
    layout.first_sector_with_data = [](std::uint64_t first, std::uint64_t end) -> Expected<std::uint64_t> {
        return first <= 105 && 105 < end ? 105 : end;
    };
    const host::RoomFinder rooms(layout);
    EXPECT_EQ(*host::growth_room(layout, rooms, 0), 5 * 2048 - 3000u);
    EXPECT_EQ(*host::growth_room(layout, rooms, 1), 0u);  // C shares its first sector
    layout.first_sector_with_data = nullptr;                // unknown gaps count as data
    EXPECT_EQ(*host::growth_room(layout, rooms, 0), 2 * 2048 - 3000u);
}

} // namespace
} // namespace isorelink::test
