#include "listing/descriptor_list.h"

#include <algorithm>
#include <limits>

#include "common/sector.h"
#include "common/udf_layout.h"
#include "platform/message_pump.h"

namespace isorelink {

Expected<std::vector<DescriptorEntry>> read_descriptor_list(ImageWindow& image, std::uint64_t anchor,
                                                            std::size_t count, const std::string& image_path) {
    std::vector<DescriptorEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        platform::yield_to_host();
        DescriptorEntry entry;
        entry.offset = anchor + sector_offset(i);
        if (entry.offset > std::numeric_limits<std::uint32_t>::max()) {
            return structure_error(image_path, "UDF allocation descriptor beyond 4 GiB");
        }
        const auto descriptor = image.bytes(entry.offset, udf::short_ad::kSize);
        if (!descriptor) return structure_error(image_path, "UDF allocation descriptor outside the image");
        entry.extent_position = le32(*descriptor, udf::short_ad::kExtentPosition);
        entries.push_back(entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const DescriptorEntry& a, const DescriptorEntry& b) {
        return a.extent_position < b.extent_position;
    });
    return entries;
}

} // namespace isorelink
