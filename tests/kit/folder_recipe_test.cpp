// mkimage upper-cases a folder's names and refuses, before writing anything, names it cannot record.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace isorelink::test {
namespace {

struct Mkimage : ::testing::Test {
    CommandResult mkimage(const char* kind, const std::string& image) {
        return run_command(std::string(ISORELINK_CLI) + " mkimage --kind " + kind + " " +
                           shell_quote(scratch.file("src")) + " " + shell_quote(scratch.file(image)));
    }
    void SetUp() override { std::filesystem::create_directories(scratch.file("src/data")); }
    ScratchDir scratch;
};

TEST_F(Mkimage, UpperCasesNamesAs7ZipReadsThem) {
    write_text(scratch.file("src/data/my-file.bin"), "payload");
    const auto made = mkimage("pspumd", "OUT.ISO");
    ASSERT_EQ(made.exit_code, 0) << made.output;
    if (!have_program("7z")) GTEST_SKIP() << "7z not installed";
    EXPECT_EQ(run_command("7z x -so " + shell_quote(scratch.file("OUT.ISO")) + " DATA/MY_FILE.BIN").output, "payload");
}

TEST_F(Mkimage, RefusesNamesItCannotRecordBeforeWriting) {
    for (const char* name : {"bad@name.bin", "two.dots.bin", "caf\xC3\xA9.txt"}) {
        write_text(scratch.file(std::string("src/") + name), "x");
        const auto r = mkimage("ps2cd", "BAD.ISO");
        EXPECT_EQ(r.exit_code, 3) << r.output;
        EXPECT_NE(r.output.find(name), std::string::npos) << r.output;
        EXPECT_FALSE(exists(scratch.file("BAD.ISO"))) << name;
        std::filesystem::remove(scratch.file(std::string("src/") + name));
    }
}

TEST_F(Mkimage, AnUnknownKindIsAUsageError) { EXPECT_EQ(mkimage("ps3", "BAD.ISO").exit_code, 2); }

} // namespace
} // namespace isorelink::test
