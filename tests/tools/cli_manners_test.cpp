// How every command answers: --help on stdout, usage errors (exit 2), a
// failed job (exit 3, "isorelink: MESSAGE" then what to do next), --quiet,
// counts in the right number, and a demo that tidies up after itself.
#include <gtest/gtest.h>

#include <filesystem>

#include "round_trip_support.h"
#include "support/kit_fixtures.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = ISORELINK_CLI;
const char* const kCommands[] = {"extract", "rebuild", "mkimage", "replace", "verify", "demo"};

// stdout alone, stderr alone.
CommandResult out_of(const std::string& arguments) {
    return run_command("{ " + kCli + " " + arguments + " 2>/dev/null; }");
}
CommandResult err_of(const std::string& arguments) {
    return run_command("{ " + kCli + " " + arguments + " 2>&1 >/dev/null; }");
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const auto end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST(CliManners, EveryCommandAnswersHelpOnStdoutAndWrongUseWithExitTwo) {
    for (const std::string command : kCommands) {
        for (const std::string& asked : {command + " --help", command + " -h", "help " + command}) {
            const auto help = out_of(asked);
            EXPECT_EQ(help.exit_code, 0) << asked;
            EXPECT_EQ(help.output.rfind("usage: isorelink " + command, 0), 0u) << asked << ": " << help.output;
            EXPECT_EQ(err_of(asked).output, "") << asked;
        }
        const auto wrong = err_of(command + " --no-such-option");
        EXPECT_EQ(wrong.exit_code, 2) << command;
        EXPECT_EQ(wrong.output.rfind("isorelink: unknown option '--no-such-option'\nusage: isorelink " + command, 0),
                  0u)
            << wrong.output;
        EXPECT_NE(wrong.output.find("try 'isorelink " + command + " --help'"), std::string::npos) << wrong.output;
    }
    for (const std::string& wrong : {std::string(""), std::string("frobnicate"), std::string("help frobnicate"),
                                     std::string("extract"), std::string("extract A.ISO B.ISO"),
                                     std::string("replace GAME.ISO"), std::string("replace GAME.ISO NOEQUALS"),
                                     std::string("mkimage --kind ps3 SRC OUT.ISO"), std::string("verify"),
                                     std::string("replace GAME.ISO --from")})
        EXPECT_EQ(run_command(kCli + " " + wrong).exit_code, 2) << wrong;
    EXPECT_EQ(out_of("--help").exit_code, 0);
    EXPECT_NE(out_of("help").output.find("exit codes"), std::string::npos);
}

TEST(CliManners, AFailedJobSaysWhatFailedThenWhatToDoAndExitsThree) {
    ScratchDir dir;
    for (const std::string& failing :
         {"extract " + shell_quote(dir.file("MISSING.ISO")), "verify " + shell_quote(dir.file("MISSING.ISO")),
          "replace " + shell_quote(dir.file("MISSING.ISO")) + " /A=" + shell_quote(dir.file("MISSING.ISO")),
          "mkimage --kind ps2cd " + shell_quote(dir.file("nofolder")) + " " + shell_quote(dir.file("OUT.ISO"))}) {
        const auto r = err_of(failing);
        EXPECT_EQ(r.exit_code, 3) << failing;
        const auto lines = lines_of(r.output);
        ASSERT_EQ(lines.size(), 2u) << failing << ": " << r.output;
        EXPECT_EQ(lines[0].rfind("isorelink: ", 0), 0u) << r.output;
        EXPECT_EQ(lines[0].find("isorelink: isorelink"), std::string::npos) << r.output;
        EXPECT_FALSE(lines[1].empty());
        EXPECT_NE(lines[1].rfind("isorelink", 0), 0u) << "the advice is a line of its own: " << r.output;
    }
    // The module's coded message verbatim, after the prefix.
    EXPECT_EQ(lines_of(err_of("extract " + shell_quote(dir.file("MISSING.ISO"))).output)[0],
              "isorelink: Code 101e - Error Opening " + dir.file("MISSING.ISO"));
}

TEST(CliManners, QuietLeavesOnlyErrorsAndCountsAgreeWithTheirNouns) {
    ScratchDir dir;
    kit::ImageRecipe one;  // one file: "1 file", "1 relink line"
    one.files.push_back(pattern_file("\\ONLY.BIN", 3000));
    ASSERT_TRUE(kit::write_image(one, dir.file("ONE.ISO")));
    const std::string image = shell_quote(dir.file("ONE.ISO"));
    write_bytes(dir.file("new"), sample_bytes(100, 1));

    const auto extracted = out_of("extract " + image);
    ASSERT_EQ(extracted.exit_code, 0);
    EXPECT_NE(extracted.output.find(", 1 file, "), std::string::npos) << extracted.output;
    const auto replaced = out_of("replace " + image + " /ONLY.BIN=" + shell_quote(dir.file("new")));
    ASSERT_EQ(replaced.exit_code, 0);
    EXPECT_NE(replaced.output.find("1 relink line applied"), std::string::npos) << replaced.output;
    const auto verified = out_of("verify " + image);
    EXPECT_NE(verified.output.find("1 file, "), std::string::npos) << verified.output;

    // One problem: a sector more than the volume.
    auto bytes = read_bytes(dir.file("ONE.ISO"));
    bytes.resize(bytes.size() + 2048, std::byte{1});
    write_bytes(dir.file("SHORT.ISO"), bytes);
    const auto problem = out_of("verify " + shell_quote(dir.file("SHORT.ISO")));
    EXPECT_EQ(problem.exit_code, 1);
    EXPECT_NE(problem.output.find(": 1 problem\n"), std::string::npos) << problem.output;
    EXPECT_NE(run_command(kCli + " verify --quiet " + shell_quote(dir.file("SHORT.ISO"))).output.find("volume"),
              std::string::npos) << "--quiet hid the problem";

    fs::create_directories(dir.file("src"));
    write_text(dir.file("src/A.TXT"), "a");
    for (const std::string& quiet :
         {"extract --quiet --force " + image, "rebuild -q " + image, "verify --quiet " + image,
          "replace --quiet " + image + " /ONLY.BIN=" + shell_quote(dir.file("new")),
          "replace --quiet --dry-run " + image + " /ONLY.BIN=" + shell_quote(dir.file("new")),
          "mkimage --quiet --kind ps2cd " + shell_quote(dir.file("src")) + " " + shell_quote(dir.file("M.ISO")),
          "demo --quiet " + shell_quote(dir.file("demo"))}) {
        const auto r = run_command(kCli + " " + quiet);
        EXPECT_EQ(r.exit_code, 0) << quiet << ": " << r.output;
        EXPECT_EQ(r.output, "") << quiet;
    }
}

TEST(CliManners, TheDemoQuotesItsHintAndRemovesItsTemporaryFolder) {
    ScratchDir dir;
    const auto r = run_command("TMPDIR=" + shell_quote(dir.path().string()) + " " + kCli + " demo");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("isorelink replace GAME.ISO '\\DATA\\TEXT.BIN=my-text.bin'"), std::string::npos)
        << r.output;
    EXPECT_TRUE(fs::is_empty(dir.path())) << "the demo left its temporary folder";
}

} // namespace
} // namespace isorelink::test
