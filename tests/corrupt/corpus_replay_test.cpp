// Every input a fuzz target ever failed on, kept in tests/corpus/TARGET/,
// replayed through the same case the target runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "corrupt/corrupt_support.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

namespace fs = std::filesystem;

using Case = std::function<std::string(const std::string&, std::span<const std::uint8_t>)>;

std::size_t replay(const std::string& target, const Case& run_case) {
    const fs::path folder = fs::path(ISORELINK_SOURCE_DIR) / "tests" / "corpus" / target;
    std::size_t replayed = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
        ScratchDir dir;
        const fuzz::Bytes input = fuzz::read_file(entry.path().string());
        const std::string what = target + " " + entry.path().filename().string();
        EXPECT_EQ(bounded(what, [&] { return run_case(dir.prefix(), input); }), "") << what;
        ++replayed;
    }
    return replayed;
}

TEST(CorpusReplay, Extraction) { replay("fuzz_extract", fuzz::extract_case); }

TEST(CorpusReplay, RelinkList) { replay("fuzz_relink_list", fuzz::relink_list_case); }

TEST(CorpusReplay, RebuildImage) { replay("fuzz_rebuild_image", fuzz::rebuild_image_case); }

} // namespace
} // namespace isorelink::test
