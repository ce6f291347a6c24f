// Every way the rebuild refuses, with its code, and what each leaves alone:
// a refused relink list never changes a byte of the new image.
#include <gtest/gtest.h>

#include "rebuild/rebuild_fixture.h"
#include "rebuild/volume_end.h"

namespace isorelink::test {
namespace {

constexpr const char* kGoodDvdLine = "00000130|000004D2|0000B8A2|0020F934|\\SYSTEM.CNF\n";
HandImage dvd_image() { return HandImage{ImageKind::Ps2Dvd, 1100 * 2048, 1100, 257, 842, {1055}}; }

class RebuildFailure : public RebuildFolder {
protected:
    // Runs the job, expects `message`, and checks the image is as it was.
    void expect_refused(const std::string& message, const char* why) {
        const auto before = fingerprint(image());
        const auto size = length_of(image());
        auto outcome = run();
        ASSERT_FALSE(outcome) << why;
        EXPECT_EQ(outcome.error().message, message) << why;
        EXPECT_EQ(length_of(image()), size) << why;
        EXPECT_EQ(fingerprint(image()), before) << why;
    }
};

TEST_F(RebuildFailure, EmptyNameOpensNothing) {
    auto outcome = run_rebuild(dir.prefix(), "");
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "Code 400a - Error No BigFile Selected ");
}

TEST_F(RebuildFailure, MissingFilesInTheirOrder) {
    // The source image is there, the new one is not: 401.
    write_hand_image(dir.file("GAME.ISO"), HandImage{});
    relink(kGoodDvdLine, 12);
    auto no_image = run();
    ASSERT_FALSE(no_image);
    EXPECT_EQ(no_image.error().message, "Code 401 - Error Opening " + image());

    build(HandImage{});
    std::filesystem::remove(list());
    expect_refused("Code 402 - Error Opening " + list(), "no relink list");

    relink(kGoodDvdLine, 12);
    std::filesystem::remove(records());
    expect_refused("Code 404- Error Opening " + records(), "no record file");
}

TEST_F(RebuildFailure, EveryLineIsCheckedBeforeTheFirstWrite) {
    struct Case {
        std::string bad_line;
        const char* why;
    };
    const Case cases[] = {
        {"0000013G|000004D2|0000B8A2|0020F934|\\X\n", "not a hex digit"},
        {"00000130|000004D2|0000B8A2|0020F93\n", "too short for a DVD line"},
        {"00000130|000004D2|00225FF1|0020F934|\\X\n", "record field ends beyond the image"},
        {"00000130|000004D2|0000B8A2|00225FF9|\\X\n", "descriptor ends beyond the image"},
        {"00000130|000004D2|0000B8A2|000000FB|\\X\n", "descriptor below 252"},
        {"00000100|000004D2|0000B8A2|0020F934|\\X\n", "first sector below the partition"},
        {"00000130|000004D2|0000B8A2|00210134|\\X\n", "no File Entry in the sector holding D"},
        {"00000130|000004D2|0000B8A2|0020F8FB|\\X\n", "Information Length would fall before the entry"},
        {"00000130|000004D2|0000B8A2|0020FFF9|\\X\n", "short_ad would cross the entry's end"},
    };
    for (const auto& c : cases) {
        build(dvd_image());
        // Two good lines first: neither may reach the image.
        relink(std::string(kGoodDvdLine) + kGoodDvdLine + c.bad_line, 36);
        expect_refused("Code 405 - invalid relink line 3 " + list(), c.why);
    }
}

TEST_F(RebuildFailure, RecordFieldAtTheVeryEndIsStillInside) {
    build(plain_image(ImageKind::PspUmd, 100 * 2048, 100));
    relink("00000130|000004D2|00031FF0|\\LAST\n", 12);  // C + 16 == the image's length
    ASSERT_TRUE(run());
    relink("00000130|000004D2|00031FF1|\\LAST\n", 12);
    expect_refused("Code 405 - invalid relink line 1 " + list(), "one byte beyond");
}

TEST_F(RebuildFailure, EntryWithAnUncoverableCrcLengthIsRefused) {
    build(dvd_image());
    put_bytes(image(), 1055 * 2048 + 10, hex_bytes("F1 07"));  // CRC length 2033: beyond the sector
    relink(kGoodDvdLine, 12);
    expect_refused("Code 405 - invalid relink line 1 " + list(), "CRC length beyond the sector");
}

TEST_F(RebuildFailure, DvdWithoutThePartitionOnTheGrid) {
    auto recipe = dvd_image();
    build(recipe);
    // Move the charset 8 bytes off the grid: the search runs to the end.
    put_bytes(image(), 257 * 2048 + 48, std::vector<std::byte>(16));
    put_bytes(image(), 257 * 2048 + 56, hex_bytes("00 4F 53 54 41 20 43 6F 6D 70 72 65 73 73 65 64"));
    relink(kGoodDvdLine, 12);
    expect_refused("Code 406 - UDF partition not found " + image(), "pattern off the grid");
}

TEST_F(RebuildFailure, ImageTooShortForItsKindBytes) {
    // 33792 bytes: the byte at 33792 is missing. Served as a PSP UMD the end
    // step would write a volume size past the end; it is refused instead.
    build(plain_image(ImageKind::PspUmd, 40000, 16));
    std::filesystem::resize_file(image(), 33792);
    relink("00000130|000004D2|00000010|\\A\n", 12);
    expect_refused("Code 409 - not a disc image " + image(), "33792 bytes");
    build(plain_image(ImageKind::PspUmd, 40000, 16));
    std::filesystem::resize_file(image(), 33793);
    auto outcome = run();
    ASSERT_TRUE(outcome) << outcome.error().message;
    EXPECT_EQ(outcome->kind, ImageKind::PspUmd);
    EXPECT_EQ(length_of(image()), 33793u);
}

TEST_F(RebuildFailure, UnknownKindBytesAreServedAsPsp) {
    auto recipe = plain_image(ImageKind::Ps2Cd, 100 * 2048, 7);
    build(recipe);
    put_bytes(image(), 32777, hex_bytes("58"));  // "X"
    relink("00000130|000004D2|0000B8A2|\\A\n", 12);
    auto outcome = run();
    ASSERT_TRUE(outcome) << outcome.error().message;
    EXPECT_EQ(outcome->kind, ImageKind::PspUmd);
    EXPECT_EQ(length_of(image()), 100u * 2048);  // no post-gap
    // 'S' with a zero application byte: the extraction would say DVD, we say PSP.
    build(plain_image(ImageKind::PspUmd, 100 * 2048, 7));
    put_bytes(image(), 33792, hex_bytes("00"));
    auto zero = run();
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->kind, ImageKind::PspUmd);
}

TEST_F(RebuildFailure, EndStepCodesNameTheNewImage) {
    // Each kind's reopening code, when the image is gone by the end step.
    struct Case {
        ImageKind kind;
        const char* code;
    };
    for (const Case c : {Case{ImageKind::Ps2Dvd, "4001dvd"}, Case{ImageKind::Ps2Cd, "4003cd"},
                         Case{ImageKind::PspUmd, "4001psp"}}) {
        const auto missing = dir.file("NEW-GONE.ISO");
        auto outcome = finish_volume(c.kind, missing, 257);
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.error().message, std::string("Code ") + c.code + " - Error!!! Opening [" + missing + "]");
    }
}

} // namespace
} // namespace isorelink::test
