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

class ImageFile : public ::testing::Test {
protected:
    File open(const std::vector<std::byte>& bytes) {
        const std::string path = dir.file("probe.iso");
        test::write_bytes(path, bytes);
        return std::move(*File::open(path, "rb"));
    }
    test::ScratchDir dir;
};

TEST_F(ImageFile, KindAndHeaderTestReadTheImage) {
    HandImage psp = HandImage::cd({});
    psp.system_id = "PSP GAME";
    auto file = open(psp.bytes());
    EXPECT_EQ(detect_image_kind(file, ImageKind::Ps2Dvd), ImageKind::PspUmd);
    EXPECT_TRUE(passes_header_test(file));

    auto dvd = open(HandImage::dvd({}).bytes());
    EXPECT_EQ(detect_image_kind(dvd, ImageKind::PspUmd), ImageKind::Ps2Dvd);
    EXPECT_TRUE(passes_header_test(dvd));

    // Kind bytes of a PS2 CD but neither signature: refused.
    HandImage unsigned_cd = HandImage::cd({});
    unsigned_cd.application_use = "C";
    auto refused = open(unsigned_cd.bytes());
    EXPECT_EQ(detect_image_kind(refused, ImageKind::Ps2Dvd), ImageKind::Ps2Cd);
    EXPECT_FALSE(passes_header_test(refused));

    // "CD-" is accepted whatever the kind bytes say.
    HandImage odd = HandImage::cd({});
    odd.system_id = "Xx";
    auto accepted = open(odd.bytes());
    EXPECT_EQ(detect_image_kind(accepted, ImageKind::Ps2Dvd), ImageKind::Ps2Dvd);
    EXPECT_TRUE(passes_header_test(accepted));
}

TEST_F(ImageFile, ShortImagesFailTheHeaderTest) {
    auto bytes = HandImage::cd({}).bytes();
    bytes.resize(33794);  // "CD" but not the "-"
    auto short_cd = open(bytes);
    EXPECT_FALSE(passes_header_test(short_cd));
    EXPECT_EQ(detect_image_kind(short_cd, ImageKind::Ps2Dvd), ImageKind::Ps2Cd);
    bytes.resize(32770);  // no kind bytes at all
    auto tiny = open(bytes);
    EXPECT_EQ(detect_image_kind(tiny, ImageKind::PspUmd), ImageKind::PspUmd);
    EXPECT_FALSE(passes_header_test(tiny));

    auto dvd = HandImage::dvd({}).bytes();
    dvd.resize(65927);  // "DV"
    auto short_dvd = open(dvd);
    EXPECT_FALSE(passes_header_test(short_dvd));
}

TEST(PathTableArea, RunsFromTheTableToTheOptionalTable) {
    EXPECT_EQ(path_table_area(257, 258, 100).length, 2048u);
    EXPECT_EQ(path_table_area(257, 258, 100).offset, 257u * 2048);
    EXPECT_EQ(path_table_area(18, 22, 10).length, 4u * 2048);
    EXPECT_EQ(path_table_area(18, 18, 100).length, 0u);
}

TEST(PathTableArea, AWrappingCountCopiesTheTypeLTableOnly) {
    // Optional location 0 (mkisofs-style) or below the type L table.
    EXPECT_EQ(path_table_area(257, 0, 10).length, 2048u);
    EXPECT_EQ(path_table_area(257, 0, 2048).length, 2048u);
    EXPECT_EQ(path_table_area(257, 0, 2049).length, 4096u);
    EXPECT_EQ(path_table_area(300, 257, 5000).length, 3u * 2048);
}

} // namespace
} // namespace isorelink
