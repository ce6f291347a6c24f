#include "read/descriptor_anchor_scan.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "format/udf/layout.h"
#include "common/progress.h"

namespace isorelink {

namespace {

constexpr std::size_t kGrid = 16;
// From the identifier marker (entry offset 128) to the attribute marker (288).
constexpr std::uint64_t kMarkerDistance = udf::fe::kAttributeMarker - udf::fe::kImplementationId;
// From the identifier marker back to the entry's tag location (offset 12).
constexpr std::uint64_t kBackToTagLocation = udf::fe::kImplementationId - udf::tag::kLocation;
// From an attribute marker to the extent location after it, and to the anchor.
constexpr std::uint64_t kMarkerToExtentLocation = udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition -
                                                  udf::fe::kAttributeMarker;
constexpr std::uint64_t kMarkerToDescriptor = udf::fe::kShortAllocationDescriptor - udf::fe::kAttributeMarker;
static_assert(kMarkerDistance == 160 && kBackToTagLocation == 116);
static_assert(kMarkerToExtentLocation == 24 && kMarkerToDescriptor == 20);

bool is_marker(ByteView block, std::size_t at, const std::array<std::byte, 16>& marker) {
    return std::memcmp(block.data() + at, marker.data(), marker.size()) == 0;
}

struct FirstMatch {
    std::uint64_t identifier;  // where the identifier marker stands
};

// First scan: the identifier marker at p whose block at p + 160 is the
// attribute marker (or, as the scan has always done, another identifier
// marker).
std::optional<FirstMatch> first_scan(ImageWindow& image) {
    const std::uint64_t size = image.image_size();
    const std::size_t window = image.block_size() / kGrid * kGrid;
    std::uint64_t scan = 0;
    while (scan + kGrid <= size) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(window, size - scan) / kGrid * kGrid);
        const auto view = image.bytes(scan, length);
        if (!view) return std::nullopt;
        std::optional<std::uint64_t> identifier;
        for (std::size_t i = 0; i < length; i += kGrid) {
            if (i % 4096 == 0) progress::tick();
            if (is_marker(*view, i, kIdentifierMarker)) {
                identifier = scan + i;
                break;
            }
        }
        if (!identifier) {
            scan += length;
            continue;
        }
        const auto follow = image.bytes(*identifier + kMarkerDistance, kGrid);
        if (follow && (is_marker(*follow, 0, kAttributeMarker) || is_marker(*follow, 0, kIdentifierMarker))) {
            return FirstMatch{*identifier};
        }
        scan = *identifier + kMarkerDistance;
    }
    return std::nullopt;
}

} // namespace

Expected<std::uint64_t> find_descriptor_anchor(ImageWindow& image, const std::string& image_path) {
    const auto not_found = [&] { return structure_error(image_path, "no UDF file entry found"); };
    const auto match = first_scan(image);
    if (!match) return not_found();
    progress::tick();

    if (match->identifier < kBackToTagLocation) return not_found();
    const auto tag_location = image.bytes(match->identifier - kBackToTagLocation, 4);
    if (!tag_location) return not_found();
    const std::uint32_t reference = le32(*tag_location, 0);

    // Second scan: from the attribute marker on, until an extent location
    // that does not lie before the entry.
    std::uint32_t last_compared = 0;
    for (std::uint64_t q = match->identifier + kMarkerDistance;; q += kGrid) {
        progress::tick();
        const auto block = image.bytes(q, kGrid);
        if (!block) return not_found();
        std::uint64_t candidate = q + kGrid;
        if (is_marker(*block, 0, kAttributeMarker)) {
            const auto location = image.bytes(q + kMarkerToExtentLocation, 4);
            if (!location) return not_found();
            last_compared = le32(*location, 0);
            candidate = q + kMarkerToExtentLocation;
        }
        if (last_compared >= reference) return candidate - 4;
    }
}

} // namespace isorelink
