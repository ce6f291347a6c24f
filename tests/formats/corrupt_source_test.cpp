// The image sources on damaged files: the stored fuzz inputs, then each one
// with bytes overwritten across its header, index, sheet and sectors. Every
// case must end (a message at most) without a crash; the sanitizer build
// checks the reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "../../fuzz/image_source_case.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

std::vector<std::uint8_t> load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::vector<std::uint8_t>> stored_inputs() {
    std::vector<std::vector<std::uint8_t>> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(ISORELINK_SOURCE_DIR) /
                                                                 "tests/corpus/fuzz_image_source"))
        if (entry.is_regular_file()) inputs.push_back(load(entry.path()));
    return inputs;
}

TEST(CorruptSource, StoredInputsAndOverwrittenBytes) {
    const auto inputs = stored_inputs();
    ASSERT_GE(inputs.size(), 4u);
    ScratchDir dir;
    std::size_t cases = 0;
    for (const auto& input : inputs) {
        fuzz::image_source_case(dir.prefix(), input);
        // Every byte of the first 100 (selector, sheet, header, index), then every 251st.
        for (std::size_t at = 1; at < input.size(); at += at < 100 ? 1 : 251)
            for (const std::uint8_t value : {std::uint8_t{0}, std::uint8_t{0xFF}, static_cast<std::uint8_t>(input[at] ^ 0x81)}) {
                auto changed = input;
                changed[at] = value;
                fuzz::image_source_case(dir.prefix(), changed);
                ++cases;
            }
        // Cut short at a few lengths.
        for (const std::size_t length : {std::size_t{3}, std::size_t{30}, input.size() / 2, input.size() - 1})
            fuzz::image_source_case(dir.prefix(), std::span(input).first(std::min(length, input.size())));
    }
    EXPECT_GT(cases, 1000u);
}

} // namespace
} // namespace isorelink::test
