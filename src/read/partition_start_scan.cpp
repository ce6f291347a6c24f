#include "read/partition_start_scan.h"

#include <string_view>
#include <algorithm>

#include "common/messages.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "platform/message_pump.h"
#include "platform/image_window.h"

namespace isorelink {

namespace {
constexpr std::size_t kGrid = 16;
// The File Set Descriptor lies a few hundred sectors in: small blocks find it
// without reading (and allocating) much more.
constexpr std::size_t kBlock = 256 * 1024;
static_assert(kBlock % kGrid == 0, "a grid position never straddles two blocks");
static_assert(udf::fsd::kLogicalVolumeIdCharset % kGrid == 0);
} // namespace

std::optional<std::uint64_t> find_charset_on_grid(ByteView data, std::uint64_t base) {
    // The text after the charset's leading zero byte is looked for with the
    // library's search; a hit counts where its zero byte opens a grid position.
    const std::string_view text(kOstaCharsetText + 1, kOstaCharsetSize - 1);
    const std::string_view block(reinterpret_cast<const char*>(data.data()), data.size());
    for (std::size_t hit = block.find(text, 1); hit != std::string_view::npos; hit = block.find(text, hit + 1)) {
        const std::size_t at = hit - 1;
        const std::uint64_t x = base + at;
        // A charset before byte 48 of the image belongs to no File Set Descriptor.
        if (at % kGrid != 0 || x < udf::fsd::kLogicalVolumeIdCharset) continue;
        if (data[at] == std::byte{0}) return x;
    }
    return std::nullopt;
}

Expected<std::uint32_t> find_partition_start(File& image, const std::string& image_path) {
    const std::uint64_t image_size = image.size().value_or(0);
    // Mapped where the platform allows: the search reads the bytes in place.
    ImageWindow window(image, image_size, image_path);
    platform::pump_messages();
    for (std::uint64_t base = 0; base < image_size; base += kBlock) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, image_size - base));
        const auto block = window.bytes(base, length);
        if (!block) break;
        if (const auto x = find_charset_on_grid(*block, base)) {
            platform::pump_messages();
            return static_cast<std::uint32_t>(whole_sectors(*x - udf::fsd::kLogicalVolumeIdCharset));
        }
        progress::tick();
    }
    return job_error(msg::kPartitionNotFound, image_path);
}

} // namespace isorelink
