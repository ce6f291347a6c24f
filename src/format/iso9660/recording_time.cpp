#include "format/iso9660/recording_time.h"

namespace isorelink {

namespace {

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

} // namespace

std::optional<std::int64_t> recording_time(ByteView b) {
    if (b.size() < 7) return std::nullopt;
    bool unset = true;
    for (std::size_t i = 0; i < 7; ++i) unset = unset && u8(b, i) == 0;
    if (unset) return std::nullopt;
    const unsigned month = u8(b, 1), day = u8(b, 2), hour = u8(b, 3), minute = u8(b, 4), second = u8(b, 5);
    const int offset = static_cast<std::int8_t>(u8(b, 6));
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 || offset < -48 ||
        offset > 52)
        return std::nullopt;
    const std::int64_t days = days_from_civil(1900 + std::int64_t{u8(b, 0)}, month, day);
    return days * 86400 + hour * 3600 + minute * 60 + second - std::int64_t{offset} * 15 * 60;
}

} // namespace isorelink
