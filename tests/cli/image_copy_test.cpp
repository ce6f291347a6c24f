// The new image of a replace is written in one pass: the source's bytes
// where no overlay lies, the overlays' contents and zeros in their place.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cli/round_trip_support.h"
#include "host/image_copy.h"
#include "support/test_support.h"

namespace isorelink::test {
namespace {

using host::Overlay;

// What the new image must hold: the source with each overlay laid over it.
Bytes expected_image(Bytes image, const std::vector<Overlay>& overlays) {
    for (const auto& o : overlays) {
        if (image.size() < o.offset + o.length) image.resize(o.offset + o.length);
        const auto content = read_bytes(o.local_path);
        std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(o.offset), o.length, std::byte{0});
        std::copy_n(content.begin(), o.content_length, image.begin() + static_cast<std::ptrdiff_t>(o.offset));
    }
    return image;
}

class OverlaidCopy : public ::testing::Test {
protected:
    void SetUp() override {
        source = sample_bytes(5 * 2048 * 1024 + 700, 1);  // 10 MiB and a partial sector
        write_bytes(dir.file("GAME.ISO"), source);
        write_bytes(dir.file("a"), sample_bytes(3 * 2048, 2));
        write_bytes(dir.file("b"), sample_bytes(1 << 20, 3));
    }
    Expected<host::CopyOutcome> write(const std::vector<Overlay>& overlays) {
        return host::write_overlaid_copy(dir.file("GAME.ISO"), dir.file("NEW-GAME.ISO"), overlays, true);
    }
    ScratchDir dir;
    Bytes source;
};

TEST_F(OverlaidCopy, LaysContentsZerosAndAppendedFilesOverTheSource) {
    const std::vector<Overlay> cases[] = {
        {},
        // In place with a zeroed tail, given out of order; one past the end
        // behind a gap; one at byte 0.
        {{8 * 2048 * 1024, 2 * 1024 * 1024, dir.file("b"), 1 << 20},
         {100 * 2048, 10 * 2048, dir.file("a"), 3 * 2048},
         {6 * 2048 * 1024, 3 * 2048, dir.file("a"), 6000},
         {0, 2048, dir.file("a"), 2048}},
        // Over the source's partial last sector and on past it.
        {{5 * 2048 * 1024, 4 * 2048, dir.file("a"), 3 * 2048}},
    };
    for (const auto& overlays : cases) {
        const auto written = write(overlays);
        ASSERT_TRUE(written) << written.error().message;
        EXPECT_TRUE(read_bytes(dir.file("NEW-GAME.ISO")) == expected_image(source, overlays))
            << overlays.size() << " overlays";
    }
    EXPECT_TRUE(read_bytes(dir.file("GAME.ISO")) == source);
}

TEST_F(OverlaidCopy, ReplacesAnEarlierNewImageOfAnyLength) {
    for (std::size_t earlier : {std::size_t{1}, std::size_t{40} << 20}) {
        write_bytes(dir.file("NEW-GAME.ISO"), sample_bytes(earlier, 9));
        const std::vector<Overlay> overlays{{4096, 2048, dir.file("a"), 1000}};
        ASSERT_TRUE(write(overlays));
        EXPECT_TRUE(read_bytes(dir.file("NEW-GAME.ISO")) == expected_image(source, overlays)) << earlier;
    }
}

TEST_F(OverlaidCopy, FailsWithoutLeavingANewImageOrTouchingTheSource) {
    const auto print = fingerprint(dir.file("GAME.ISO"));
    // A local file shorter than the content it should give, a missing one,
    // overlays that overlap.
    const std::vector<Overlay> refused[] = {
        {{2048, 4 * 2048, dir.file("a"), 4 * 2048}},
        {{2048, 2048, dir.file("missing"), 2048}},
        {{2048, 4096, dir.file("a"), 10}, {4096, 2048, dir.file("a"), 10}},
    };
    for (const auto& overlays : refused) {
        EXPECT_FALSE(write(overlays));
        EXPECT_FALSE(exists(dir.file("NEW-GAME.ISO")));
    }
    EXPECT_NE(write(refused[0]).error().message.find("changed while it was read"), std::string::npos);

#ifndef _WIN32
    // A new image name that links to the source is refused before a byte of
    // either changes.
    std::error_code ec;
    std::filesystem::create_hard_link(dir.file("GAME.ISO"), dir.file("NEW-GAME.ISO"), ec);
    if (!ec) {
        const auto linked = write({{2048, 2048, dir.file("a"), 2048}});
        ASSERT_FALSE(linked);
        EXPECT_NE(linked.error().message.find("itself"), std::string::npos) << linked.error().message;
    }
#endif
    EXPECT_EQ(fingerprint(dir.file("GAME.ISO")), print);
}

} // namespace
} // namespace isorelink::test
