// What one relink line writes into each kind of image, and nothing more.
#include <gtest/gtest.h>

#include "common/endian.h"
#include "common/udf_layout.h"
#include "common/udf_tag.h"
#include "rebuild/rebuild_fixture.h"
#include "rebuild/record_patch.h"

namespace isorelink::test {
namespace {

// A = 304, B = 1234, C = 47266, D = 2160948 = sector 1055, byte 308; P = 257.
constexpr const char* kSystemCnf = "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\r\n";
constexpr std::uint64_t kC = 47266;
constexpr std::uint64_t kD = 2160948;
constexpr std::uint64_t kEntry = 1055 * 2048;

HandImage cd_image() { return plain_image(ImageKind::Ps2Cd, 100 * 2048, 100); }
HandImage psp_image() { return plain_image(ImageKind::PspUmd, 100 * 2048, 100); }
// Records its own length, so the end step leaves it alone.
HandImage dvd_image() { return HandImage{ImageKind::Ps2Dvd, 1100 * 2048, 1100, 257, 842, {1055, 1056}}; }

TEST(RecordPatchBytes, BothByteOrders) {
    const auto a = record_patch_bytes(304, 1234);
    EXPECT_EQ(std::vector<std::byte>(a.begin(), a.end()), hex_bytes("30 01 00 00 00 00 01 30 D2 04 00 00 00 00 04 D2"));
    const auto b = record_patch_bytes(0x12345, 2048);
    EXPECT_EQ(std::vector<std::byte>(b.begin(), b.end()), hex_bytes("45 23 01 00 00 01 23 45 00 08 00 00 00 00 08 00"));
}

class RecordPatch : public RebuildFolder {};

TEST_F(RecordPatch, CdAndPspChangeExactlyTheSixteenRecordBytesAndTheVolumeSize) {
    for (const auto& recipe : {cd_image(), psp_image()}) {
        build(recipe);
        put_bytes(image(), kC - 2, std::vector<std::byte>(20, std::byte{0xEE}));  // every patched byte changes
        relink(kSystemCnf, 12);
        const auto before = read_bytes(image());
        auto outcome = run();
        ASSERT_TRUE(outcome) << outcome.error().message;
        EXPECT_EQ(outcome->lines_applied, 1u);
        const auto after = read_bytes(image());
        EXPECT_EQ(bytes_at(image(), kC, 16), hex_bytes("30 01 00 00 00 00 01 30 D2 04 00 00 00 00 04 D2"));
        std::vector<std::size_t> allowed;
        for (std::size_t i = 0; i < 16; ++i) allowed.push_back(kC + i);
        // The CD's end step records its grown size, 100 + 150 (64 -> FA in
        // each half); the PSP's size is its length already.
        if (recipe.kind == ImageKind::Ps2Cd)
            for (std::size_t i : {32848u, 32855u}) allowed.push_back(i);
        std::sort(allowed.begin(), allowed.end());
        EXPECT_EQ(changed_offsets(before, after), allowed) << to_string(recipe.kind);
    }
}

TEST_F(RecordPatch, DvdPatchesRecordAndFileEntryAndReseals) {
    build(dvd_image());
    relink(kSystemCnf, 12);
    auto expected = read_bytes(image());
    // What the line must leave: the record, the short_ad (B, A - P = 47), the
    // Information Length, one block recorded, the entry's tag sealed again.
    auto put = [&](std::uint64_t at, const char* hex) {
        const auto b = hex_bytes(hex);
        std::copy(b.begin(), b.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(kC, "30 01 00 00 00 00 01 30 D2 04 00 00 00 00 04 D2");
    put(kD, "D2 04 00 00 2F 00 00 00");
    put(kD - 252, "D2 04 00 00");
    put(kEntry + 64, "01 00 00 00 00 00 00 00");
    udf::reseal_tag(MutableByteView(expected).subspan(kEntry, 2048));

    auto outcome = run();
    ASSERT_TRUE(outcome) << outcome.error().message;
    EXPECT_EQ(outcome->partition_start, 257u);
    const auto after = read_bytes(image());
    ASSERT_EQ(after.size(), expected.size());
    EXPECT_EQ(changed_offsets(expected, after), std::vector<std::size_t>{});
    EXPECT_TRUE(udf::tag_is_valid(ByteView(after).subspan(kEntry, 2048)));
}

TEST_F(RecordPatch, ALineAppliedTwiceLeavesWhatItLeavesOnce) {
    for (const auto& recipe : {dvd_image(), psp_image()}) {
        build(recipe);
        relink(kSystemCnf, 12);
        ASSERT_TRUE(run());
        const auto once = read_bytes(image());
        build(recipe);
        relink(std::string(kSystemCnf) + kSystemCnf, 24);
        auto twice_outcome = run();
        ASSERT_TRUE(twice_outcome);
        EXPECT_EQ(twice_outcome->lines_applied, 2u);
        EXPECT_TRUE(read_bytes(image()) == once) << to_string(recipe.kind);
        // And a second job with the same list changes nothing either.
        ASSERT_TRUE(run());
        EXPECT_TRUE(read_bytes(image()) == once) << to_string(recipe.kind);
    }
}

TEST_F(RecordPatch, SizesOfAGigabyteAndMoreGoInUnchanged) {
    build(dvd_image());
    relink("00000130|C0000000|0000B8A2|0020F934|\\HUGE\n", 12);
    ASSERT_TRUE(run());
    EXPECT_EQ(bytes_at(image(), kD, 4), hex_bytes("00 00 00 C0"));
    EXPECT_EQ(bytes_at(image(), kEntry + 64, 8), hex_bytes("00 00 18 00 00 00 00 00"));  // 0x180000 blocks
}

TEST_F(RecordPatch, RecordCountDecidesHowManyLinesApply) {
    // Three lines, each patching its own record; the record file's length
    // decides how many are applied (the first always).
    std::string text;
    for (unsigned i = 0; i < 3; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%08X|00000800|%08X|\\F%u\n", 40 + i, 0xA000 + 48 * i, i);
        text += line;
    }
    struct Case {
        std::size_t record_bytes;
        std::uint32_t applied;
    };
    for (const Case c : {Case{0, 1}, Case{11, 1}, Case{12, 1}, Case{25, 2}, Case{36, 3}, Case{120, 3}}) {
        build(psp_image());
        relink(text, c.record_bytes);
        auto outcome = run();
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->lines_applied, c.applied) << c.record_bytes << " record bytes";
        for (unsigned i = 0; i < 3; ++i) {
            const auto field = bytes_at(image(), 0xA000 + 48 * i, 4);
            EXPECT_EQ(le32(field, 0), i < c.applied ? 40 + i : 0u) << c.record_bytes << " record bytes, line " << i;
        }
    }
}

TEST_F(RecordPatch, OffsetsBeyondTwoGigabytesLandWhereTheFieldSays) {
    // C = 0x9000_0010 in a sparse image of 0x9000_1000 bytes.
    build(plain_image(ImageKind::PspUmd, 0x90001000ull, 100));
    relink("00000130|000004D2|90000010|\\FAR\n", 12);
    auto outcome = run();
    ASSERT_TRUE(outcome) << outcome.error().message;
    EXPECT_EQ(bytes_at(image(), 0x90000010ull, 16), hex_bytes("30 01 00 00 00 00 01 30 D2 04 00 00 00 00 04 D2"));
    EXPECT_EQ(bytes_at(image(), 0x10000010ull, 16), std::vector<std::byte>(16));
}

} // namespace
} // namespace isorelink::test
