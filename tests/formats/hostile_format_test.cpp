// Hostile BIN/CUE and CSO/ZSO inputs: each command refuses with a message
// that names the fault, and leaves the folder as it found it.
#include <gtest/gtest.h>

#include <set>

#include "format/compressed_image.h"
#include "format/endian.h"
#include "formats/format_support.h"

namespace isorelink::test {
namespace {

std::set<std::string> files_in(const ScratchDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.insert(e.path().filename().string());
    return names;
}

// convert, verify and replace on the image all fail naming the fault, and write nothing.
void expect_refused_everywhere(const ScratchDir& dir, const std::string& image, const std::string& fault,
                               bool verify_lists_it = false) {
    write_bytes(dir.file("new.bin"), random_bytes(5000, 3));
    const auto before = files_in(dir);
    for (const auto& args : {"convert --quiet " + q(image) + " " + q(dir.file("OUT.ISO")),
                             "convert --quiet " + q(image) + " " + q(dir.file("OUT.cue")),
                             "replace --quiet " + q(image) + " DATA/A.BIN=" + q(dir.file("new.bin")),
                             "verify " + q(image)}) {
        const auto r = cli(args);
        EXPECT_NE(r.exit_code, 0) << args << "\n" << r.output;
        EXPECT_NE(r.output.find(fault), std::string::npos) << args << "\n" << r.output;
        if (verify_lists_it && args.starts_with("verify")) {
            EXPECT_EQ(r.exit_code, 1) << r.output;
        }
        EXPECT_EQ(files_in(dir), before) << args;
    }
}

std::string single_track_cue(const std::string& bin, const char* mode = "MODE2/2352") {
    return "FILE \"" + bin + "\" BINARY\n  TRACK 01 " + mode + "\n    INDEX 01 00:00:00\n";
}

TEST(HostileCue, MissingShortCutOrUnsupportedBin) {
    ScratchDir dir;
    write_text(dir.file("MISSING.cue"), single_track_cue("NOPE.bin"));
    expect_refused_everywhere(dir, dir.file("MISSING.cue"), "MISSING.cue names " + dir.file("NOPE.bin") + ", which cannot be opened");

    std::vector<std::byte> sectors(10 * kRaw);
    for (std::uint32_t s = 0; s < 10; ++s)
        cd::encode_mode2_form1(std::vector<std::byte>(2048), s, cd::kDataSubheader,
                               std::span(sectors).subspan(s * kRaw, kRaw));
    write_bytes(dir.file("SHORT.bin"), sectors);
    write_text(dir.file("SHORT.cue"), single_track_cue("SHORT.bin"));
    expect_refused_everywhere(dir, dir.file("SHORT.cue"), "too short for the 17 sectors up to a volume descriptor");

    sectors.resize(20 * kRaw + 100);
    write_bytes(dir.file("CUT.bin"), sectors);
    write_text(dir.file("CUT.cue"), single_track_cue("CUT.bin"));
    expect_refused_everywhere(dir, dir.file("CUT.cue"), "not a whole number of 2,352-byte sectors");

    write_text(dir.file("AUDIO.cue"), single_track_cue("CUT.bin", "AUDIO"));
    expect_refused_everywhere(dir, dir.file("AUDIO.cue"), "track 1 is AUDIO");
    write_text(dir.file("COOKED.cue"), single_track_cue("CUT.bin", "MODE1/2048"));
    expect_refused_everywhere(dir, dir.file("COOKED.cue"), "track 1 is MODE1/2048");
    write_text(dir.file("ODD.cue"), single_track_cue("CUT.bin") + "GARBAGE here\n");
    expect_refused_everywhere(dir, dir.file("ODD.cue"), "line 4: unknown command GARBAGE");
}

// A sheet naming the .bin replace would write: refused before anything is written.
TEST(HostileCue, ReplaceNeverWritesTheBinItReads) {
    ScratchDir dir;
    const auto iso = make_game(dir);
    if (iso.empty()) GTEST_SKIP() << "genisoimage is missing";
    ASSERT_EQ(cli("convert --quiet " + q(iso) + " " + q(dir.file("NEW-GAME.cue"))).exit_code, 0);
    write_text(dir.file("GAME.cue"), single_track_cue("NEW-GAME.bin"));
    const auto before = read_bytes(dir.file("NEW-GAME.bin"));
    write_bytes(dir.file("new.bin"), random_bytes(5000, 3));
    const auto r = cli("replace --quiet --force " + q(dir.file("GAME.cue")) + " DATA/A.BIN=" + q(dir.file("new.bin")));
    EXPECT_NE(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("which the image is read from"), std::string::npos) << r.output;
    EXPECT_EQ(read_bytes(dir.file("NEW-GAME.bin")), before);
}

TEST(HostileFormats, RefusedByName) {
    ScratchDir dir;
    write_text(dir.file("GAME.chd"), std::string("MComprHD") + std::string(200, '\0'));
    expect_refused_everywhere(dir, dir.file("GAME.chd"), "GAME.chd: CHD: not supported; convert it to BIN/CUE or ISO first");
    write_text(dir.file("GAME.ecm"), std::string(5000, '\0'));
    expect_refused_everywhere(dir, dir.file("GAME.ecm"), "ECM: not supported");
    std::filesystem::create_directory(dir.file("FOLDER.cue"));
    const auto r = cli("verify " + q(dir.file("FOLDER.cue")));
    EXPECT_NE(r.output.find("is a folder, not a disc image"), std::string::npos) << r.output;
}

class HostilePacked : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        iso = make_game(dir);
        if (iso.empty()) GTEST_SKIP() << "genisoimage is missing";
        image = dir.file(std::string("GAME.") + GetParam());
        const auto r = cli("convert --quiet " + q(iso) + " " + q(image));
        if (r.output.find("built without") != std::string::npos) GTEST_SKIP() << r.output;
        ASSERT_EQ(r.exit_code, 0) << r.output;
        std::filesystem::remove(iso);
        bytes = read_bytes(image);
        const auto header = *packed::decode_header(bytes).header;
        index = packed::decode_index(
            header, ByteView(bytes).subspan(24, static_cast<std::size_t>(packed::index_bytes(header))), bytes.size());
    }
    ScratchDir dir;
    std::string iso, image;
    std::vector<std::byte> bytes;
    packed::IndexOrReason index;
};

TEST_P(HostilePacked, IndexEntryOutsideTheFile) {
    put_le32(bytes, 24 + 4 * 30, 0x7FFFFFF0u);
    write_bytes(image, bytes);
    expect_refused_everywhere(dir, image, "block 29 lies outside the file");
}

TEST_P(HostilePacked, HeaderClaimingMoreThanTheFileHolds) {
    put_le32(bytes, 12, 0x40);  // 256 GiB more: an index that cannot fit
    write_bytes(image, bytes);
    expect_refused_everywhere(dir, image, "whose block index would not fit in the file");
}

TEST_P(HostilePacked, ABlockThatDoesNotDecode) {
    // Block 0 (zeros) compresses to a few bytes; fill them with garbage.
    ASSERT_TRUE(index.ok()) << index.reason;
    const auto& block = index.blocks[0];
    ASSERT_NE(block.storage, packed::Storage::Plain);
    for (std::uint64_t i = 0; i < block.length; ++i) bytes[block.offset + i] = std::byte{0xFF};
    write_bytes(image, bytes);
    const std::string fault = std::string(GetParam()) == "cso" ? "block 0 does not inflate to its 2048 bytes"
                                                               : "block 0 does not decode as LZ4 to its 2048 bytes";
    expect_refused_everywhere(dir, image, fault, true);
}

INSTANTIATE_TEST_SUITE_P(Families, HostilePacked, ::testing::Values("cso", "zso"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
} // namespace isorelink::test
