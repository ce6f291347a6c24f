#pragma once
// The corrupt-image suite's tools: a watchdog that turns a hung job into a
// failed test, and the kit sample images with one field changed at a time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../fuzz/fuzz_cases.h"
#include "common/image_kind.h"

namespace isorelink::test {

// Runs a case and returns its fault ("" when sound). Should the case not
// end within kCaseLimit, the test program reports the case and exits with a
// failure: a job that hangs cannot be stopped from inside its own process.
inline constexpr int kCaseLimitSeconds = 30;
std::string bounded(const std::string& what, const std::function<std::string()>& run_case);

// An image with one thing wrong with it.
struct Corruption {
    std::string name;
    std::vector<std::byte> image;
    // Whether the rebuild reads the changed field too (the volume descriptor,
    // the UDF bridge); directory records and path tables only the extraction
    // reads (the rebuild writes records where the relink list says).
    bool rebuild_reads = false;
};

// Every single-field corruption of the structures the jobs read, applied to
// the kit sample image of the kind.
std::vector<Corruption> field_corruptions(ImageKind kind);

// Test names for suites parameterized by the fuzz cases' kind selector.
inline std::string selector_name(const ::testing::TestParamInfo<std::uint8_t>& info) {
    static const char* const names[] = {"Ps2Dvd", "Ps2Cd", "PspUmd"};
    return names[info.param];
}

} // namespace isorelink::test
