#include "rebuild/partition_start.h"

#include <cstring>
#include <vector>

#include "common/messages.h"
#include "common/sector.h"
#include "common/udf_layout.h"
#include "platform/message_pump.h"

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
    for (std::size_t at = 0; at + kOstaCharsetSize <= data.size(); at += kGrid) {
        const std::uint64_t x = base + at;
        // A charset before byte 48 of the image belongs to no File Set Descriptor.
        if (x < udf::fsd::kLogicalVolumeIdCharset) continue;
        // Most positions differ at the 'O'.
        if (data[at + 1] != std::byte{'O'}) continue;
        if (std::memcmp(data.data() + at, kOstaCharsetText, kOstaCharsetSize) == 0) return x;
    }
    return std::nullopt;
}

Expected<std::uint32_t> find_partition_start(File& image, const std::string& image_path) {
    std::vector<std::byte> block(kBlock);
    platform::pump_messages();
    for (std::uint64_t base = 0;; base += kBlock) {
        const std::size_t got = image.read_at(base, block);
        if (got == 0) break;
        if (const auto x = find_charset_on_grid(std::span(block).first(got), base)) {
            platform::pump_messages();
            return static_cast<std::uint32_t>(whole_sectors(*x - udf::fsd::kLogicalVolumeIdCharset));
        }
        if (got < kBlock) break;
        platform::yield_to_host();
    }
    return job_error(msg::kPartitionNotFound, image_path);
}

} // namespace isorelink
