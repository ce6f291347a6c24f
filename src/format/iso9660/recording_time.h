#pragma once
// The recording date of an ISO 9660 directory record: seven bytes, years
// since 1900, month, day, hour, minute, second, and the offset from
// Greenwich in 15-minute steps (signed, -48 to +52).
#include <cstdint>
#include <optional>

#include "format/endian.h"

namespace isorelink {

// Seconds since 1970-01-01 00:00:00 UTC; nothing when the date is unset
// (all zeros) or not a date (month 13, an offset beyond +13 hours ...).
std::optional<std::int64_t> recording_time(ByteView seven_bytes);

} // namespace isorelink
