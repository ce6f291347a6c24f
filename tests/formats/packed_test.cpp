// CSO and ZSO through the CLI: round trips, replace, and the index read back.
#include <gtest/gtest.h>

#include "format/compressed_image.h"
#include "format/endian.h"
#include "formats/format_support.h"

namespace isorelink::test {
namespace {

struct Family {
    const char* extension;
    const char* magic;
};

class Packed : public ::testing::TestWithParam<Family> {
protected:
    void SetUp() override {
        iso = make_game(dir);
        if (iso.empty()) GTEST_SKIP() << "genisoimage is missing";
        packed = dir.file(std::string("GAME.") + GetParam().extension);
        const auto r = cli("convert --quiet " + q(iso) + " " + q(packed));
        if (r.output.find("built without") != std::string::npos) GTEST_SKIP() << r.output;
        ASSERT_EQ(r.exit_code, 0) << r.output;
    }
    ScratchDir dir;
    std::string iso, packed;
};

TEST_P(Packed, RoundTripsAreByteIdenticalAndSmaller) {
    const auto bytes = read_bytes(packed);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(std::memcmp(bytes.data(), GetParam().magic, 4), 0);
    EXPECT_LT(bytes.size(), read_bytes(iso).size());
    auto r = cli("convert --quiet " + q(packed) + " " + q(dir.file("BACK.ISO")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_bytes(dir.file("BACK.ISO")), read_bytes(iso));
    // Through the other family and BIN/CUE, back to the same bytes.
    const std::string other = std::string(GetParam().extension) == "cso" ? "zso" : "cso";
    r = cli("convert --quiet " + q(packed) + " " + q(dir.file("OTHER." + other)));
    if (r.output.find("built without") == std::string::npos) {
        ASSERT_EQ(r.exit_code, 0) << r.output;
        r = cli("convert --quiet " + q(dir.file("OTHER." + other)) + " " + q(dir.file("RAW.cue")));
        ASSERT_EQ(r.exit_code, 0) << r.output;
        r = cli("convert --quiet " + q(dir.file("RAW.cue")) + " " + q(dir.file("AGAIN.ISO")));
        ASSERT_EQ(r.exit_code, 0) << r.output;
        EXPECT_EQ(read_bytes(dir.file("AGAIN.ISO")), read_bytes(iso));
    }
    EXPECT_EQ(cli("verify " + q(packed)).exit_code, 0);
}

TEST_P(Packed, ReplaceEqualsReplaceOnTheIso) {
    write_bytes(dir.file("new.bin"), random_bytes(70000, 5));
    auto r = cli("replace --quiet " + q(packed) + " DATA/A.BIN=" + q(dir.file("new.bin")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto new_packed = dir.file(std::string("NEW-GAME.") + GetParam().extension);
    ASSERT_TRUE(exists(new_packed)) << r.output;
    EXPECT_TRUE(exists(dir.file(std::string("GAME.") + GetParam().extension + "-relink-LSN.TXT")));
    r = cli("replace --quiet " + q(iso) + " DATA/A.BIN=" + q(dir.file("new.bin")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    r = cli("convert --quiet " + q(new_packed) + " " + q(dir.file("NEW-BACK.ISO")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_bytes(dir.file("NEW-BACK.ISO")), read_bytes(dir.file("NEW-GAME.ISO")));
}

// A CSO another writer made: every block stored plain, the index shifted by
// 2 (blocks padded to 4 bytes). replace copies the blocks it does not change
// as they are stored (plain) and compresses the others.
std::vector<std::byte> plain_cso(const std::vector<std::byte>& iso, unsigned shift = 2) {
    const std::size_t blocks = iso.size() / 2048;
    std::vector<std::byte> out(24 + 4 * (blocks + 1));
    std::memcpy(out.data(), "CISO", 4);
    put_le32(out, 4, 24);
    put_le32(out, 8, static_cast<std::uint32_t>(iso.size()));
    put_le32(out, 16, 2048);
    out[20] = std::byte{1};
    out[21] = std::byte(shift);
    for (std::size_t i = 0; i <= blocks; ++i) {
        while (out.size() % (std::size_t{1} << shift)) out.push_back(std::byte{0});
        put_le32(out, 24 + 4 * i, static_cast<std::uint32_t>(out.size() >> shift) | (i < blocks ? 0x80000000u : 0));
        if (i < blocks) out.insert(out.end(), iso.begin() + static_cast<std::ptrdiff_t>(i * 2048),
                                   iso.begin() + static_cast<std::ptrdiff_t>((i + 1) * 2048));
    }
    return out;
}

packed::IndexOrReason index_of(const std::vector<std::byte>& file) {
    const auto h = packed::decode_header(file);
    EXPECT_TRUE(h.header) << h.reason;
    const ByteView index(file.data() + 24, static_cast<std::size_t>(packed::index_bytes(*h.header)));
    return packed::decode_index(*h.header, index, file.size());
}

TEST(PackedBase, AnyIndexAlignmentIsRead) {
    ScratchDir dir;
    const auto iso = make_game(dir);
    if (iso.empty()) GTEST_SKIP() << "genisoimage is missing";
    for (const unsigned shift : {0u, 3u, 11u, 14u}) {
        write_bytes(dir.file("A.cso"), plain_cso(read_bytes(iso), shift));
        const auto r = cli("convert --quiet --force " + q(dir.file("A.cso")) + " " + q(dir.file("A.ISO")));
        ASSERT_EQ(r.exit_code, 0) << shift << r.output;
        EXPECT_EQ(read_bytes(dir.file("A.ISO")), read_bytes(iso)) << shift;
    }
}

TEST(PackedBase, UnchangedBlocksAreCopiedAsStoredTheOthersCompressed) {
    ScratchDir dir;
    const auto iso = make_game(dir);
    if (iso.empty()) GTEST_SKIP() << "genisoimage is missing";
    const auto source = plain_cso(read_bytes(iso));
    write_bytes(dir.file("GAME.cso"), source);
    write_bytes(dir.file("new.bin"), std::vector<std::byte>(9000, std::byte{'x'}));
    auto r = cli("replace --quiet " + q(dir.file("GAME.cso")) + " DATA/A.BIN=" + q(dir.file("new.bin")));
    if (r.output.find("built without") != std::string::npos) GTEST_SKIP() << r.output;
    ASSERT_EQ(r.exit_code, 0) << r.output;
    r = cli("replace --quiet " + q(iso) + " DATA/A.BIN=" + q(dir.file("new.bin")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    r = cli("convert --quiet " + q(dir.file("NEW-GAME.cso")) + " " + q(dir.file("BACK.ISO")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto old_iso = read_bytes(iso), new_iso = read_bytes(dir.file("NEW-GAME.ISO"));
    EXPECT_EQ(read_bytes(dir.file("BACK.ISO")), new_iso);

    const auto result = read_bytes(dir.file("NEW-GAME.cso"));
    EXPECT_EQ(std::to_integer<int>(result[21]), 2) << "the index shift follows the source";
    const auto old_blocks = index_of(source), new_blocks = index_of(result);
    ASSERT_TRUE(old_blocks.ok() && new_blocks.ok()) << old_blocks.reason << new_blocks.reason;
    std::size_t copied = 0, compressed = 0;
    for (std::size_t i = 0; i < new_blocks.blocks.size(); ++i) {
        const auto& n = new_blocks.blocks[i];
        const bool same = (i + 1) * 2048 <= old_iso.size() &&
                          std::memcmp(old_iso.data() + i * 2048, new_iso.data() + i * 2048, 2048) == 0;
        if (same) {
            EXPECT_EQ(n.storage, packed::Storage::Plain) << i;
            EXPECT_EQ(std::memcmp(result.data() + n.offset, source.data() + old_blocks.blocks[i].offset, 2048), 0) << i;
            ++copied;
        } else {
            EXPECT_EQ(n.storage, packed::Storage::Deflate) << i;  // none of the new blocks is incompressible
            ++compressed;
        }
    }
    EXPECT_GT(copied, 20u);
    EXPECT_GT(compressed, 140u);
}

INSTANTIATE_TEST_SUITE_P(Families, Packed, ::testing::Values(Family{"cso", "CISO"}, Family{"zso", "ZISO"}),
                         [](const auto& info) { return std::string(info.param.extension); });

} // namespace
} // namespace isorelink::test
