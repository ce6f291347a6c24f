#pragma once
// The relink list: the host's edited copy of the sector listing, one file per
// line, fixed-width hexadecimal fields taken by position:
//
//   0-7  A  new first sector        18-25  C  offset of the record's extent field
//   9-16 B  new size in bytes       27-34  D  offset of the UDF short_ad (PS2 DVD)
//
// The characters between the fields (a vertical bar in the listing) and the
// path after the last field are never examined.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "format/image_kind.h"
#include "format/listing_line.h"
#include "common/result.h"
#include "platform/bulk_memory.h"

namespace isorelink {

namespace relink {
// The fields are the sector listing's (format/listing_line.h).
inline constexpr std::size_t kLineWithoutDescriptor = listing::kFieldsWithoutDescriptor;  // 26
inline constexpr std::size_t kLineWithDescriptor = listing::kFieldsWithDescriptor;        // 35
// A line (counting its line feed) shorter than this ends the list.
inline constexpr std::size_t kShortestLine = 8;
// Longest line, counting its line feed: what a 2048-byte buffer holds.
inline constexpr std::size_t kLongestLine = listing::kLongestLine;
static_assert(kLineWithoutDescriptor == 26 && kLineWithDescriptor == 35);
} // namespace relink

struct RelinkLine {
    std::uint32_t sector = 0;        // A
    std::uint32_t size = 0;          // B
    std::uint32_t record_field = 0;  // C
    std::uint32_t descriptor = 0;    // D (PS2 DVD only, 0 otherwise)
};

using RelinkLines = platform::BulkVector<RelinkLine>;

// Decodes one line (without its line end). Refuses a line too short for the
// fields the kind reads, or a field holding anything but hex digits (eight,
// most significant first, either case).
std::optional<RelinkLine> parse_relink_line(std::string_view text, ImageKind kind);

// Reads the relink list: at least one line and at most max(record_count, 1);
// the list ends early at its end or at a line shorter than 8 characters
// counting its line feed (so a blank line ends it). LF and CR LF alike.
// Every line that would be applied is decoded first: one bad line (too long,
// too short, not hex) refuses the whole list with code 405.
Expected<RelinkLines> read_relink_list(File& list, const std::string& list_path, ImageKind kind,
                                       std::uint32_t record_count);

// "Code 405 - invalid relink line N PATH (REASON)", the reason one of msg::relink_refusal.
JobError invalid_relink_line(std::uint32_t number, const std::string& list_path, std::string_view reason);

} // namespace isorelink
