// Where replace puts a file, on listings written by hand.
#include <algorithm>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "tools/replace_plan.h"

namespace isorelink::host {
namespace {

// Files at 300 (3 sectors, then a free sector), 304 (1 sector), 305 (2 sectors, the last file);
// the image ends at 400 and holds zeros wherever no file is.
LayoutInput sample_layout() {
    LayoutInput layout;
    for (auto [sector, size, path] : {std::tuple{300u, 5000u, "\\A"}, {304u, 2048u, "\\B"}, {305u, 3000u, "\\C"}})
        layout.listing.push_back(ListingLine{sector, size, sector * 4, 0, path});
    layout.image_sectors = layout.volume_space_size = 400;
    layout.first_sector_with_data = [](std::uint64_t, std::uint64_t end) -> Expected<std::uint64_t> { return end; };
    return layout;
}

long new_sector(const LayoutInput& layout, std::size_t line, std::uint64_t size) {
    auto plan = plan_replace(layout, {{line, size, "x"}});
    return plan.ok() ? long{plan->files[0].new_sector} : -1;
}

TEST(ReplacePlan, InPlaceUpToTheNextUsedSectorOtherwiseBehindTheImage) {
    auto layout = sample_layout();
    EXPECT_EQ(new_sector(layout, 0, 4 * 2048), 300);  // grows into its free sector
    EXPECT_EQ(new_sector(layout, 0, 4 * 2048 + 1), 400);
    EXPECT_EQ(new_sector(layout, 2, 2 * 2048), 305);
    EXPECT_EQ(new_sector(layout, 2, 2 * 2048 + 1), 400);  // what follows the last file stays
    EXPECT_EQ(new_sector(layout, 0, std::uint64_t{1} << 32), -1);
    const auto shrunk = plan_replace(layout, {{2, 10, "c"}});
    ASSERT_TRUE(shrunk.ok());
    EXPECT_EQ(shrunk->files[0].clear_until, 307u);  // the old second sector is cleared

    layout.metadata_sectors = {16, 303};  // a directory in A's free sector
    EXPECT_EQ(new_sector(layout, 0, 4 * 2048), 400);
    layout.listing.push_back(ListingLine{304, 100, 0, 0, "\\B2"});  // a second record for B's sector
    EXPECT_EQ(new_sector(layout, 1, 10), 400);
    layout.volume_space_size = 450;  // a volume longer than the file: behind both
    EXPECT_EQ(new_sector(layout, 1, 8192), 450);
    layout.kind = ImageKind::Ps2Dvd;
    EXPECT_EQ(new_sector(layout, 0, std::uint64_t{1} << 30), -1);  // one short_ad cannot say it
}

TEST(ReplacePlan, GrowsOnlyOverZerosAndSaysWhyAFileMoved) {
    // Sectors 310..319 lie between C and D, unnamed; the source holds data in `data`.
    auto layout = sample_layout();
    layout.listing.push_back(ListingLine{320, 2048, 0, 0, "\\D"});
    std::set<std::uint64_t> data;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> asked;
    layout.first_sector_with_data = [&](std::uint64_t first, std::uint64_t end) -> Expected<std::uint64_t> {
        asked.emplace_back(first, end);
        const auto hit = data.lower_bound(first);
        return hit != data.end() && *hit < end ? *hit : end;
    };
    auto plan_one = [&](std::size_t line, std::uint64_t size) {
        asked.clear();
        auto plan = plan_replace(layout, {{line, size, "x"}});
        EXPECT_TRUE(plan.ok());
        return plan.ok() ? plan->files[0] : PlannedFile{};
    };

    EXPECT_EQ(plan_one(2, 7 * 2048).new_sector, 305u);  // C over five zero sectors
    EXPECT_EQ(asked, (decltype(asked){{307, 312}}));     // only those are read
    data = {311};
    auto moved = plan_one(2, 7 * 2048);
    EXPECT_TRUE(moved.moved);
    EXPECT_EQ(moved.new_sector, 400u);
    EXPECT_EQ(moved.move_reason, MoveReason::HiddenData);
    EXPECT_EQ(why_moved(moved), "(sector 311 holds data no file names)");
    EXPECT_EQ(plan_one(2, 6 * 2048).new_sector, 305u);  // the zeros before it still do
    EXPECT_EQ(plan_one(2, 2 * 2048 - 1).new_sector, 305u);
    EXPECT_TRUE(asked.empty());  // its own sectors are its own, whatever they hold
    EXPECT_EQ(plan_one(2, 16 * 2048).move_reason, MoveReason::NextFile);
    EXPECT_TRUE(asked.empty());  // nothing is read for a file the room cannot hold

    // Each limit of the room names itself.
    const auto next = plan_one(0, 5 * 2048);
    EXPECT_EQ(why_moved(next), "(sector 304 belongs to \\B)");
    EXPECT_EQ(plan_one(3, 2 * 2048).move_reason, MoveReason::LastFile);
    EXPECT_EQ(why_moved(plan_one(1, 0)), "");
    layout.metadata_sectors = {303};
    EXPECT_EQ(plan_one(0, 4 * 2048).move_reason, MoveReason::Metadata);
    layout.listing.push_back(ListingLine{304, 100, 0, 0, "\\B2"});
    EXPECT_EQ(why_moved(plan_one(1, 10)), "(\\B2 shares its first sector)");

    // A source that cannot be read stops the plan; without a way to read it, gaps count as data.
    layout.first_sector_with_data = [](std::uint64_t, std::uint64_t) -> Expected<std::uint64_t> {
        return JobError{ErrorKind::Io, "replace: cannot read sector 307 of GAME.ISO"};
    };
    const auto failed = plan_replace(layout, {{2, 3 * 2048, "x"}});
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, "replace: cannot read sector 307 of GAME.ISO");
    layout.first_sector_with_data = nullptr;
    EXPECT_EQ(plan_one(2, 3 * 2048).move_reason, MoveReason::HiddenData);
}


// The room of every file of a crowded listing (files sharing sectors, files
// inside others, empty files, metadata between them) as a plain scan of every
// used sector finds it: the first sector after the file's first one that
// another file or a structure uses, the first of those in listing order
// naming it.
TEST(ReplacePlan, EveryRoomMatchesAScanOfEveryUsedSector) {
    std::mt19937 random(19);
    for (int round = 0; round < 200; ++round) {
        LayoutInput layout;
        layout.first_sector_with_data = [](std::uint64_t, std::uint64_t end) -> Expected<std::uint64_t> { return end; };
        const auto sector = [&] { return static_cast<std::uint32_t>(100 + random() % 60); };
        for (int i = 0; i < 12; ++i)
            layout.listing.push_back(ListingLine{sector(), random() % 4 == 0 ? 0u : static_cast<std::uint32_t>(random() % 9000), 0, 0,
                                                 "\\F" + std::to_string(i)});
        for (int i = 0; i < 3; ++i) layout.metadata_sectors.push_back(sector());
        layout.image_sectors = layout.volume_space_size = 400;
        for (std::size_t self = 0; self < layout.listing.size(); ++self) {
            const auto& file = layout.listing[self];
            // The room the scan finds, and why it ends there.
            std::uint64_t end = 1000;
            std::string blocker;
            MoveReason reason = MoveReason::LastFile;
            for (std::uint64_t s = file.sector; s < 1000 && reason == MoveReason::LastFile; ++s) {
                for (std::size_t i = 0; i < layout.listing.size() && blocker.empty(); ++i) {
                    const auto& other = layout.listing[i];
                    const auto other_end = other.sector + (other.size + 2047) / 2048;
                    if (i == self || other.size == 0) continue;
                    if (s == file.sector ? other.sector <= s && other_end > s : other.sector == s) {
                        blocker = other.path;
                        reason = s == file.sector ? MoveReason::SharedSector : MoveReason::NextFile;
                        end = s;
                    }
                }
                if (reason == MoveReason::LastFile &&
                    std::count(layout.metadata_sectors.begin(), layout.metadata_sectors.end(), s)) {
                    reason = MoveReason::Metadata;
                    end = s;
                }
            }
            // Nothing follows the last file: what lies behind it stays, structures or not (a structure in its
            // first sector aside).
            const auto own_end = file.sector + (file.size + 2047) / 2048;
            const bool file_follows = std::any_of(layout.listing.begin(), layout.listing.end(), [&](const auto& o) {
                return o.size != 0 && o.sector > file.sector;
            });
            if (end != file.sector && !file_follows && own_end <= end) {
                reason = MoveReason::LastFile;
                end = own_end;
            }
            const std::uint64_t room = end - file.sector;
            // One byte more than the room holds moves the file for that reason; the room itself does not.
            if (room > 0 && reason != MoveReason::LastFile) {
                auto fits = plan_replace(layout, {{self, room * 2048, "x"}});
                ASSERT_TRUE(fits.ok());
                EXPECT_FALSE(fits->files[0].moved) << round << " " << file.path;
            }
            auto over = plan_replace(layout, {{self, room * 2048 + 1, "x"}});
            ASSERT_TRUE(over.ok());
            EXPECT_EQ(over->files[0].move_reason, reason) << round << " " << file.path;
            EXPECT_EQ(over->files[0].blocking_sector, end) << round << " " << file.path;
            EXPECT_EQ(over->files[0].blocking_path, blocker) << round << " " << file.path;
        }
    }
}

} // namespace
} // namespace isorelink::host
