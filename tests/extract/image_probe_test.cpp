// The kind bytes, the header test and the path table copy's area.
#include <gtest/gtest.h>

#include "extract/hand_image.h"
#include "extract/image_kind_detection.h"
#include "extract/path_table_copy.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::HandImage;

TEST(ImageKind, DecisionTableForBothDefaults) {
    struct Case {
        std::optional<std::uint8_t> system, application;
        ImageKind extraction, rebuild;
    } cases[] = {
        {'S', 'C', ImageKind::PspUmd, ImageKind::PspUmd},  {'M', 'C', ImageKind::PspUmd, ImageKind::PspUmd},
        {'L', 0x00, ImageKind::Ps2Dvd, ImageKind::Ps2Dvd}, {'L', 'C', ImageKind::Ps2Cd, ImageKind::Ps2Cd},
        {'S', 0x00, ImageKind::Ps2Dvd, ImageKind::PspUmd}, {'l', 'C', ImageKind::Ps2Dvd, ImageKind::PspUmd},
        {'L', 'c', ImageKind::Ps2Dvd, ImageKind::PspUmd},  {'L', std::nullopt, ImageKind::Ps2Dvd, ImageKind::PspUmd},
        {std::nullopt, std::nullopt, ImageKind::Ps2Dvd, ImageKind::PspUmd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kind_from_bytes(c.system, c.application, ImageKind::Ps2Dvd), c.extraction);
        EXPECT_EQ(kind_from_bytes(c.system, c.application, ImageKind::PspUmd), c.rebuild);
    }
}

// The kind and the header test read from a file, short files included:
// what the probe reads past the end counts as missing.
TEST(ImageFile, KindAndHeaderTestReadTheImage) {
    test::ScratchDir dir;
    const auto probe = [&](const HandImage& hand, std::size_t length, ImageKind fallback) {
        auto bytes = hand.bytes();
        if (length) bytes.resize(length);
        test::write_bytes(dir.file("probe.iso"), bytes);
        auto file = File::open(dir.file("probe.iso"), "rb");
        EXPECT_TRUE(file);
        return std::pair{detect_image_kind(*file, fallback), passes_header_test(*file)};
    };
    HandImage psp = HandImage::cd({}), unsigned_cd = HandImage::cd({}), odd = HandImage::cd({});
    psp.system_id = "PSP GAME";
    unsigned_cd.application_use = "C";  // PS2 CD kind bytes, neither signature
    odd.system_id = "Xx";               // "CD-" passes whatever the kind bytes say
    const struct {
        HandImage hand;
        std::size_t length;
        ImageKind fallback, kind;
        bool passes;
    } cases[] = {
        {psp, 0, ImageKind::Ps2Dvd, ImageKind::PspUmd, true},
        {HandImage::dvd({}), 0, ImageKind::PspUmd, ImageKind::Ps2Dvd, true},
        {unsigned_cd, 0, ImageKind::Ps2Dvd, ImageKind::Ps2Cd, false},
        {odd, 0, ImageKind::Ps2Dvd, ImageKind::Ps2Dvd, true},
        {HandImage::cd({}), 33794, ImageKind::Ps2Dvd, ImageKind::Ps2Cd, false},   // "CD" without "-"
        {HandImage::cd({}), 32770, ImageKind::PspUmd, ImageKind::PspUmd, false},  // no kind bytes
        {HandImage::dvd({}), 65927, ImageKind::PspUmd, ImageKind::Ps2Dvd, false}, // "DV"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(probe(c.hand, c.length, c.fallback), std::pair(c.kind, c.passes)) << c.hand.system_id << " " << c.length;
    }
}

TEST(PathTableArea, RunsFromTheTableToTheOptionalTableOrCopiesTheTypeLTableOnly) {
    const struct {
        std::uint32_t table, optional, size;
        std::uint64_t length;
    } cases[] = {
        {257, 258, 100, 2048}, {18, 22, 10, 4 * 2048}, {18, 18, 100, 0},
        // Optional location 0 (mkisofs-style) or below the type L table: the
        // count wraps, the type L table alone is copied.
        {257, 0, 10, 2048}, {257, 0, 2048, 2048}, {257, 0, 2049, 4096}, {300, 257, 5000, 3 * 2048},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(path_table_area(c.table, c.optional, c.size).length, c.length) << c.table << " " << c.optional;
    }
    EXPECT_EQ(path_table_area(257, 258, 100).offset, 257u * 2048);
}

} // namespace
} // namespace isorelink
