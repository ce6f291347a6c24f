// The kind bytes.
#include <gtest/gtest.h>

#include "read/image_kind_probe.h"

namespace isorelink {
namespace {

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

} // namespace
} // namespace isorelink
