// Recording dates of directory records as seconds since 1970 UTC.
#include <gtest/gtest.h>

#include <array>

#include "format/iso9660/recording_time.h"

namespace isorelink {
namespace {

std::optional<std::int64_t> time_of(std::array<std::uint8_t, 7> bytes) {
    std::array<std::byte, 7> raw{};
    for (std::size_t i = 0; i < 7; ++i) raw[i] = std::byte{bytes[i]};
    return recording_time(raw);
}

TEST(RecordingTime, LocalTimesComeBackToGreenwichAndNonDatesGiveNothing) {
    EXPECT_EQ(time_of({104, 6, 15, 12, 0, 0, 0}), 1087300800);                 // 2004-06-15 12:00 UTC
    EXPECT_EQ(time_of({104, 6, 15, 21, 0, 0, 36}), 1087300800);                // the same moment in Tokyo (+9 h)
    EXPECT_EQ(time_of({100, 2, 29, 0, 0, 0, static_cast<std::uint8_t>(-20)}), 951782400 + 5 * 3600);  // New York
    EXPECT_EQ(time_of({70, 1, 1, 0, 0, 0, 0}), 0);
    EXPECT_FALSE(time_of({0, 0, 0, 0, 0, 0, 0}));   // unset
    EXPECT_FALSE(time_of({104, 13, 1, 0, 0, 0, 0})); // no 13th month
    EXPECT_FALSE(time_of({104, 1, 1, 24, 0, 0, 0}));
    EXPECT_FALSE(time_of({104, 1, 1, 0, 0, 0, 53})); // beyond +13 hours
}

} // namespace
} // namespace isorelink
