// BIN/CUE end to end through the CLI: convert, other readers, replace, verify.
#include <gtest/gtest.h>

#include <fstream>

#include "format/cue_sheet.h"
#include "formats/format_support.h"

namespace isorelink::test {
namespace {

std::uint8_t submode(const std::vector<std::byte>& bin, std::size_t sector) {
    return std::to_integer<std::uint8_t>(bin[sector * kRaw + 18]);
}

class BinCue : public ::testing::Test {
protected:
    void SetUp() override {
        iso = make_game(dir);
        if (iso.empty()) GTEST_SKIP() << "genisoimage is missing";
        const auto r = cli("convert --quiet " + q(iso) + " " + q(dir.file("GAME.cue")));
        ASSERT_EQ(r.exit_code, 0) << r.output;
        bin = read_bytes(dir.file("GAME.bin"));
        plain = read_bytes(iso);
    }
    ScratchDir dir;
    std::string iso;
    std::vector<std::byte> bin, plain;
};

TEST_F(BinCue, ConvertWritesEverySectorRawAndValid) {
    ASSERT_EQ(bin.size() / kRaw, plain.size() / 2048);
    ASSERT_EQ(bin.size() % kRaw, 0u);
    for (std::size_t s = 0; s < bin.size() / kRaw; ++s) {
        ASSERT_TRUE(cd::check_sector(raw_sector(bin, s), static_cast<std::uint32_t>(s)).good()) << s;
        ASSERT_TRUE(same_user_data(bin, plain, s)) << s;
    }
    EXPECT_EQ(read_text(dir.file("GAME.cue")), "FILE \"GAME.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n");
    const auto verify = cli("verify " + q(dir.file("GAME.cue")));
    EXPECT_EQ(verify.exit_code, 0) << verify.output;
    // The last sector of each file, directory and of the descriptors carries
    // end of record and end of file; the others only the data bit.
    std::size_t ends = 0;
    for (std::size_t s = 0; s < bin.size() / kRaw; ++s) ends += submode(bin, s) == 0x89;
    EXPECT_GE(ends, 5u);  // three files, two directories, the descriptor terminator, the last sector
    EXPECT_EQ(submode(bin, 16), 0x08);
    EXPECT_EQ(submode(bin, bin.size() / kRaw - 1), 0x89);
}

TEST_F(BinCue, BchunkReadsTheSameUserData) {
    if (!have_program("bchunk")) GTEST_SKIP() << "bchunk is missing";
    const auto r = run_command("cd " + q(dir.path().string()) + " && bchunk GAME.bin GAME.cue out");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_bytes(dir.file("out01.iso")), plain);
}

TEST_F(BinCue, CdInfoReadsTheVolumeFromTheCue) {
    if (!have_program("cd-info")) GTEST_SKIP() << "cd-info (libcdio-utils) is missing";
    const auto r = run_command("cd-info --no-device-info --iso9660 --cue-file " + q(dir.file("GAME.cue")));
    EXPECT_NE(r.output.find("CD-ROM with ISO 9660 filesystem"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("a.bin"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("keep.bin"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("leadout (" + std::to_string(bin.size() / 1024)), std::string::npos) << r.output;
}

// replace on the BIN/CUE and on the ISO give the same user data; each sector
// whose user data changed is encoded afresh and verifies, each other one is
// the source's sector byte for byte.
TEST_F(BinCue, ReplaceMatchesReplaceOnTheIsoAndCopiesTheRest) {
    write_bytes(dir.file("new.bin"), random_bytes(7000, 9));
    auto r = cli("replace --quiet " + q(dir.file("GAME.cue")) + " DATA/A.BIN=" + q(dir.file("new.bin")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    r = cli("replace --quiet " + q(iso) + " DATA/A.BIN=" + q(dir.file("new.bin")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_text(dir.file("NEW-GAME.cue")), "FILE \"NEW-GAME.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n");
    const auto new_bin = read_bytes(dir.file("NEW-GAME.bin"));
    const auto new_iso = read_bytes(dir.file("NEW-GAME.ISO"));
    ASSERT_EQ(new_bin.size() / kRaw, new_iso.size() / 2048);
    std::size_t copied = 0, fresh = 0;
    for (std::size_t s = 0; s < new_bin.size() / kRaw; ++s) {
        ASSERT_TRUE(same_user_data(new_bin, new_iso, s)) << s;
        const auto sector = raw_sector(new_bin, s);
        ASSERT_TRUE(cd::check_sector(sector, static_cast<std::uint32_t>(s)).good()) << s;
        if (s < bin.size() / kRaw && std::memcmp(bin.data() + s * kRaw + 24, new_bin.data() + s * kRaw + 24, 2048) == 0) {
            EXPECT_EQ(sector, raw_sector(bin, s)) << "unchanged sector " << s << " was not copied";
            ++copied;
        } else {
            ++fresh;
        }
    }
    EXPECT_GT(copied, 20u);
    EXPECT_GT(fresh, 140u);  // the cleared old content and the post-gap
    EXPECT_EQ(cli("verify " + q(dir.file("NEW-GAME.cue"))).exit_code, 0);
}

TEST_F(BinCue, ReplaceKeepsTheOldFilesLastSubheaderAndMode1Works) {
    // A Mode 1 image of the same content.
    auto r = cli("convert --quiet --mode1 " + q(iso) + " " + q(dir.file("M1.cue")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto m1 = read_bytes(dir.file("M1.bin"));
    for (std::size_t s = 0; s < m1.size() / kRaw; s += 17) {
        EXPECT_EQ(cd::mode_of(raw_sector(m1, s)), cd::Mode::Mode1);
        EXPECT_TRUE(same_user_data(m1, plain, s, 16));
    }
    write_bytes(dir.file("grow.bin"), random_bytes(50000, 4));
    r = cli("replace --quiet " + q(dir.file("M1.cue")) + " DATA/KEEP.BIN=" + q(dir.file("grow.bin")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(cli("verify " + q(dir.file("NEW-M1.cue"))).exit_code, 0);
    EXPECT_NE(read_text(dir.file("NEW-M1.cue")).find("MODE1/2352"), std::string::npos);

    // Mode 2: a moved or grown file's last sector takes the old last sector's bits.
    r = cli("replace --quiet " + q(dir.file("GAME.cue")) + " DATA/KEEP.BIN=" + q(dir.file("grow.bin")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto new_bin = read_bytes(dir.file("NEW-GAME.bin"));
    const auto verify = cli("verify " + q(dir.file("NEW-GAME.cue")));
    EXPECT_EQ(verify.exit_code, 0) << verify.output;
    // Find the new KEEP.BIN by its content.
    const auto grow = random_bytes(50000, 4);
    std::size_t first = 0;
    for (; first < new_bin.size() / kRaw; ++first)
        if (std::memcmp(new_bin.data() + first * kRaw + 24, grow.data(), 2048) == 0) break;
    ASSERT_LT(first, new_bin.size() / kRaw);
    const std::size_t last = first + (50000 + 2047) / 2048 - 1;
    EXPECT_EQ(submode(new_bin, last), 0x89);
    EXPECT_EQ(submode(new_bin, first), 0x08);
    EXPECT_EQ(submode(new_bin, last - 1), 0x08);
}

// Audio after the data track, in the same .bin and in a file of its own:
// replace rewrites track 1 only; the audio follows it byte for byte and the
// sheet's later indexes move by as many sectors as track 1 grew.
TEST_F(BinCue, LaterTracksAreKeptAsTheyAre) {
    const std::size_t data_sectors = bin.size() / kRaw;
    const auto audio = random_bytes(300 * kRaw, 8);
    auto together = bin;
    together.insert(together.end(), audio.begin(), audio.end());
    write_bytes(dir.file("MIXED.bin"), together);
    const auto msf = [](std::size_t frames) { return cue::msf_text(static_cast<std::uint32_t>(frames)); };
    write_text(dir.file("MIXED.cue"), "FILE \"MIXED.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
                                      "  TRACK 02 AUDIO\n    INDEX 00 " + msf(data_sectors) + "\n    INDEX 01 " +
                                          msf(data_sectors + 150) + "\n");
    write_bytes(dir.file("TRACK2.bin"), audio);
    write_text(dir.file("SPLIT.cue"), "FILE \"GAME.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
                                      "FILE \"TRACK2.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
    write_bytes(dir.file("new.bin"), random_bytes(7000, 9));
    for (const char* name : {"MIXED", "SPLIT"}) {
        const std::string cue = dir.file(std::string(name) + ".cue");
        EXPECT_EQ(cli("verify " + q(cue)).exit_code, 0) << name;
        const auto r = cli("replace --quiet " + q(cue) + " DATA/A.BIN=" + q(dir.file("new.bin")));
        ASSERT_EQ(r.exit_code, 0) << r.output;
        EXPECT_EQ(cli("verify " + q(dir.file("NEW-" + std::string(name) + ".cue"))).exit_code, 0) << name;
    }
    const auto mixed = read_bytes(dir.file("NEW-MIXED.bin"));
    const auto split = read_bytes(dir.file("NEW-SPLIT.bin"));
    const std::size_t new_data = split.size() / kRaw;
    ASSERT_EQ(new_data, data_sectors + 150);  // the post-gap the rebuild appends
    ASSERT_EQ(mixed.size(), split.size() + audio.size());
    EXPECT_TRUE(std::equal(split.begin(), split.end(), mixed.begin()));
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), mixed.begin() + static_cast<std::ptrdiff_t>(split.size())));
    EXPECT_EQ(read_text(dir.file("NEW-MIXED.cue")),
              "FILE \"NEW-MIXED.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 " +
                  msf(new_data) + "\n    INDEX 01 " + msf(new_data + 150) + "\n");
    EXPECT_EQ(read_text(dir.file("NEW-SPLIT.cue")),
              "FILE \"NEW-SPLIT.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
              "FILE \"TRACK2.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
    EXPECT_EQ(read_bytes(dir.file("TRACK2.bin")), audio);
}

TEST_F(BinCue, VerifyNamesADamagedSector) {
    auto damaged = bin;
    damaged[20 * kRaw + 1000] ^= std::byte{1};
    damaged[30 * kRaw + 14] ^= std::byte{1};  // the header's frame
    write_bytes(dir.file("GAME.bin"), damaged);
    const auto r = cli("verify " + q(dir.file("GAME.cue")));
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_NE(r.output.find("sector 20 is damaged: EDC mismatch, ECC mismatch"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("sector 30 is damaged: wrong header address"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("sector 21 "), std::string::npos) << r.output;
}

// A Form 2 sector (an XA stream's) does not fit a 2,048-byte image: convert
// says so; replace copies it whole while its first 2,048 bytes stay.
TEST_F(BinCue, Form2SectorsAreToldOfAndKeptByReplace) {
    ASSERT_GT(bin.size() / kRaw, 33u);
    auto xa = bin;  // sectors 30-32 lie in \\DATA\\A.BIN, which the replace below leaves alone
    std::size_t form2 = 0;
    for (std::size_t s = 30; s < 33; ++s) {
        auto* sector = xa.data() + s * kRaw;
        sector[18] = sector[22] = std::byte{0x64};  // Form 2, real-time, video
        for (std::size_t i = 2072; i < 2348; ++i) sector[i] = std::byte(i);
        std::memset(sector + 2348, 0, 4);  // no EDC
        ++form2;
    }
    write_bytes(dir.file("XA.bin"), xa);
    write_text(dir.file("XA.cue"), "FILE \"XA.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n");
    auto r = cli("convert --quiet " + q(dir.file("XA.cue")) + " " + q(dir.file("XA.ISO")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("warning: " + std::to_string(form2) + " Mode 2 Form 2 sectors"), std::string::npos) << r.output;
    EXPECT_EQ(cli("verify " + q(dir.file("XA.cue"))).exit_code, 0);
    write_text(dir.file("readme.new"), "changed\n");
    r = cli("replace --quiet " + q(dir.file("XA.cue")) + " README.TXT=" + q(dir.file("readme.new")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto after = read_bytes(dir.file("NEW-XA.bin"));
    for (std::size_t s = 30; s < 33; ++s) EXPECT_EQ(raw_sector(after, s), raw_sector(xa, s)) << s;
}

TEST_F(BinCue, ExtractAndRebuildNameTheConvertToRun) {
    for (const char* command : {"extract", "rebuild"}) {
        const auto r = cli(std::string(command) + " " + q(dir.file("GAME.cue")));
        EXPECT_EQ(r.exit_code, 3) << r.output;
        EXPECT_NE(r.output.find("is a raw BIN image; the extraction reads 2,048-byte images: run `isorelink convert"),
                  std::string::npos)
            << r.output;
    }
    EXPECT_FALSE(exists(dir.file("GAME.cue-LSN.TXT")));
}

} // namespace
} // namespace isorelink::test
