// The plain answers the CLI adds when the extraction refuses a file.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"
#include "tools/image_diagnosis.h"

namespace isorelink::test {
namespace {

using Bytes = std::vector<std::byte>;

// An ISO 9660 primary volume descriptor at sector 16 with this system
// identifier and application bytes at 1024; nothing else.
Bytes descriptor_only(const std::string& system, const std::string& application) {
    Bytes image(18 * 2048);
    const std::size_t pvd = 16 * 2048;
    image[pvd] = std::byte{1};
    for (std::size_t i = 0; i < 5; ++i) image[pvd + 1 + i] = static_cast<std::byte>("CD001"[i]);
    for (std::size_t i = 0; i < 32; ++i)
        image[pvd + 8 + i] = static_cast<std::byte>(i < system.size() ? system[i] : ' ');
    for (std::size_t i = 0; i < application.size(); ++i) image[pvd + 1024 + i] = static_cast<std::byte>(application[i]);
    return image;
}

class Diagnosis : public ::testing::Test {
protected:
    std::optional<std::string> of(const Bytes& bytes) {
        write_bytes(image, bytes);
        return host::diagnose_image(image);
    }
    ScratchDir dir;
    const std::string image = dir.file("GAME.ISO");
};

TEST_F(Diagnosis, SaysWhatTheFileIsAndWhatIsNeeded) {
    std::filesystem::create_directories(dir.file("FOLDER.ISO"));
    EXPECT_EQ(host::diagnose_image(dir.file("FOLDER.ISO")), "a folder, not an image");

    Bytes raw(2352 * 20);
    raw[0] = std::byte{0};
    for (std::size_t i = 1; i <= 10; ++i) raw[i] = std::byte{0xFF};
    EXPECT_EQ(of(raw), "raw 2,352-byte CD sectors (BIN): convert it to a 2,048-byte image first");

    EXPECT_EQ(of(Bytes(40 * 2048)), "not an ISO 9660 image: no volume descriptor at sector 16 (byte 32768)");

    EXPECT_EQ(of(descriptor_only("LINUX", "")),
              "not a PS2 or PSP image: system identifier 'LINUX', no CD-XA001 mark at byte 33792 (PS2 CD and PSP "
              "UMD images carry it; PS2 DVD images carry a UDF bridge)");
    const auto psp = of(descriptor_only("PSP GAME", ""));
    ASSERT_TRUE(psp);
    EXPECT_NE(psp->find("system identifier 'PSP GAME'"), std::string::npos) << *psp;
}

TEST_F(Diagnosis, HasNothingToSayAboutAnImageIsorelinkTakes) {
    EXPECT_EQ(of(descriptor_only("PLAYSTATION", "CD-XA001")), std::nullopt);
    // 2,352 × 20 bytes without the sync pattern is no BIN.
    Bytes not_raw = descriptor_only("PLAYSTATION", "CD-XA001");
    not_raw.resize(2352 * 20);
    EXPECT_EQ(of(not_raw), std::nullopt);
}

TEST_F(Diagnosis, TheCliPrintsItAfterTheCodedMessage) {
    write_bytes(image, descriptor_only("LINUX", ""));
    const auto run = run_command(std::string(ISORELINK_CLI) + " extract " + shell_quote(image));
    EXPECT_NE(run.exit_code, 0);
    const auto code = run.output.find("Code 1101a - invalid file header");
    const auto answer = run.output.find("isorelink: not a PS2 or PSP image: system identifier 'LINUX'");
    ASSERT_NE(code, std::string::npos) << run.output;
    ASSERT_NE(answer, std::string::npos) << run.output;
    EXPECT_LT(code, answer);
}

TEST(VerifyUnrecognised, FailsUnlessAskedToTakeAConsistentPlainImage) {
    if (!have_program("genisoimage")) GTEST_SKIP() << "genisoimage not installed";
    ScratchDir dir;
    std::filesystem::create_directories(dir.file("tree"));
    write_bytes(dir.file("tree/A.BIN"), Bytes(3000, std::byte{7}));
    const std::string image = dir.file("PLAIN.ISO");
    ASSERT_EQ(run_command("genisoimage -quiet -o " + shell_quote(image) + " " + shell_quote(dir.file("tree"))).exit_code, 0);
    const std::string cli = std::string(ISORELINK_CLI) + " verify ";
    const auto plain = run_command(cli + shell_quote(image));
    EXPECT_EQ(plain.exit_code, 1) << plain.output;
    EXPECT_NE(plain.output.find("the PS2 DVD's UDF bridge check was skipped; pass --any"), std::string::npos)
        << plain.output;
    const auto any = run_command(cli + "--any " + shell_quote(image));
    EXPECT_EQ(any.exit_code, 0) << any.output;
    EXPECT_NE(any.output.find("was skipped"), std::string::npos) << "still says what it skipped";
    // A plain image with a problem fails even with --any.
    write_bytes(image, [&] { auto b = read_bytes(image); b.resize(b.size() - 2048); return b; }());
    EXPECT_EQ(run_command(cli + "--any " + shell_quote(image)).exit_code, 1);
}

} // namespace
} // namespace isorelink::test
