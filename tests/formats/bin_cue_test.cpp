// BIN/CUE end to end through the CLI: convert, other readers, replace, verify.
#include <gtest/gtest.h>

#include <algorithm>
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
    if (!have_program("bchunk")) return;  // a reader of our own making is not the only judge
    r = run_command("cd " + q(dir.path().string()) + " && bchunk NEW-GAME.bin NEW-GAME.cue new");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_bytes(dir.file("new01.iso")), new_iso);
}

// A moved or grown file's last sector takes the old last sector's bits.
TEST_F(BinCue, ReplaceKeepsTheOldFilesLastSubheader) {
    write_bytes(dir.file("grow.bin"), random_bytes(50000, 4));
    auto r = cli("replace --quiet " + q(dir.file("GAME.cue")) + " DATA/KEEP.BIN=" + q(dir.file("grow.bin")));
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

// The "N of M raw sectors encoded afresh" of replace's report.
std::string encoded_count(const std::string& output) {
    const auto end = output.find(" raw sectors");
    const auto start = output.rfind('(', end);
    return end == std::string::npos || start == std::string::npos ? output : output.substr(start, end - start);
}

// A .bin holding track 1 alone (audio in a file of its own) is written as a copy of the source with only what
// replace may have changed made afresh; audio after track 1 in the same .bin has every sector written. Both
// give the same track 1 byte for byte, in Mode 2 and Mode 1, for edits in place, shrinking, moving, and
// growing into a gap in the middle that holds data no file names. The audio follows track 1 as it was and
// the sheet's later indexes move by as many sectors as track 1 grew.
TEST_F(BinCue, ReplaceOnTrackOneAloneEqualsTheWholeWrite) {
    // Z.BIN cut to 3,000 bytes in place leaves zeros behind it up to ZZ.BIN; sector 400 of them gets data.
    write_bytes(dir.file("src/DATA/Z.BIN"), random_bytes(1000000, 11));
    write_bytes(dir.file("src/DATA/ZZ.BIN"), random_bytes(700000, 12));
    auto r = run_command("genisoimage -quiet -sysid PLAYSTATION -V GAME -XA -o " + q(dir.file("BIG.ISO")) + " " +
                         q(dir.file("src")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    write_bytes(dir.file("cut"), random_bytes(3000, 13));
    r = cli("replace --quiet " + q(dir.file("BIG.ISO")) + " DATA/Z.BIN=" + q(dir.file("cut")));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto source = read_bytes(dir.file("NEW-BIG.ISO"));
    const auto hidden = random_bytes(2048, 14);
    const auto gap = source.begin() + 400 * 2048;
    ASSERT_TRUE(std::all_of(gap, gap + 2048, [](std::byte b) { return b == std::byte{0}; }));
    std::copy(hidden.begin(), hidden.end(), gap);
    write_bytes(dir.file("SRC.ISO"), source);

    struct Edit {
        const char* path;
        std::size_t size;
    };
    const Edit edits[] = {{"DATA/ZZ.BIN", 700000}, {"DATA/A.BIN", 7000},  {"DATA/Z.BIN", 8000},
                          {"DATA/Z.BIN", 500000},  {"DATA/KEEP.BIN", 50000}};
    const auto audio = random_bytes(300 * kRaw, 8);
    write_bytes(dir.file("TRACK2.bin"), audio);
    const auto msf = [](std::size_t frames) { return cue::msf_text(static_cast<std::uint32_t>(frames)); };
    for (const std::string mode : {"MODE2", "MODE1"}) {
        const std::size_t user = mode == "MODE1" ? 16 : 24;
        r = cli("convert --quiet --force " + std::string(user == 16 ? "--mode1 " : "") + q(dir.file("SRC.ISO")) +
                " " + q(dir.file("ALONE.cue")));
        ASSERT_EQ(r.exit_code, 0) << r.output;
        auto together = read_bytes(dir.file("ALONE.bin"));
        const std::size_t data_sectors = together.size() / kRaw;
        EXPECT_EQ(cd::mode_of(raw_sector(together, 16)), user == 16 ? cd::Mode::Mode1 : cd::Mode::Mode2Form1);
        together.insert(together.end(), audio.begin(), audio.end());
        write_bytes(dir.file("MIXED.bin"), together);
        const std::string track1 = "  TRACK 01 " + mode + "/2352\n    INDEX 01 00:00:00\n";
        write_text(dir.file("MIXED.cue"), "FILE \"MIXED.bin\" BINARY\n" + track1 + "  TRACK 02 AUDIO\n    INDEX 00 " +
                                              msf(data_sectors) + "\n    INDEX 01 " + msf(data_sectors + 150) + "\n");
        const std::string track2 = "FILE \"TRACK2.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n";
        write_text(dir.file("ALONE.cue"), "FILE \"ALONE.bin\" BINARY\n" + track1 + track2);
        for (const auto& edit : edits) {
            const std::string what = mode + " " + edit.path + " " + std::to_string(edit.size);
            write_bytes(dir.file("new"), random_bytes(edit.size, static_cast<unsigned>(edit.size)));
            const auto alone = cli("replace " + q(dir.file("ALONE.cue")) + " " + edit.path + "=" + q(dir.file("new")));
            ASSERT_EQ(alone.exit_code, 0) << alone.output;
            const auto mixed = cli("replace " + q(dir.file("MIXED.cue")) + " " + edit.path + "=" + q(dir.file("new")));
            ASSERT_EQ(mixed.exit_code, 0) << mixed.output;
            EXPECT_EQ(encoded_count(alone.output), encoded_count(mixed.output)) << what;
            const auto one = read_bytes(dir.file("NEW-ALONE.bin"));
            const auto both = read_bytes(dir.file("NEW-MIXED.bin"));
            ASSERT_EQ(both.size(), one.size() + audio.size()) << what;
            EXPECT_TRUE(std::equal(one.begin(), one.end(), both.begin())) << what;
            EXPECT_TRUE(std::equal(audio.begin(), audio.end(), both.begin() + static_cast<std::ptrdiff_t>(one.size())))
                << what;
            EXPECT_EQ(std::memcmp(one.data() + 400 * kRaw + user, hidden.data(), 2048), 0) << what;
            const std::size_t new_data = one.size() / kRaw;
            EXPECT_EQ(read_text(dir.file("NEW-MIXED.cue")),
                      "FILE \"NEW-MIXED.bin\" BINARY\n" + track1 + "  TRACK 02 AUDIO\n    INDEX 00 " + msf(new_data) +
                          "\n    INDEX 01 " + msf(new_data + 150) + "\n")
                << what;
            EXPECT_EQ(read_text(dir.file("NEW-ALONE.cue")), "FILE \"NEW-ALONE.bin\" BINARY\n" + track1 + track2) << what;
            const auto verify = cli("verify " + q(dir.file("NEW-ALONE.cue")));
            EXPECT_EQ(verify.exit_code, 0) << what << verify.output;
        }
    }
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
