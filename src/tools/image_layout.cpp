#include "tools/image_layout.h"

#include <algorithm>

#include "common/messages.h"
#include "format/sector.h"
#include "common/progress.h"

namespace isorelink::host {

std::vector<std::uint32_t> metadata_sectors(const IsoVolume& iso, const UdfVolume& udf) {
    std::vector<std::uint32_t> sectors;
    for (const auto& d : iso.directories) sectors.push_back(d.sector);
    for (auto s : iso.path_table_sectors)
        if (s != 0) sectors.push_back(s);
    if (udf.found) {
        sectors.push_back(udf.partition_start);
        for (const auto& f : udf.files) sectors.push_back(f.entry_sector);
        sectors.insert(sectors.end(), udf.file_entry_sectors.begin(), udf.file_entry_sectors.end());
    }
    return sectors;
}

Expected<std::uint64_t> first_sector_with_data(const platform::ReadHandle& image, std::uint64_t image_size,
                                               const std::string& image_path, std::uint64_t first,
                                               std::uint64_t end) {
    constexpr std::uint64_t kChunkSectors = 512;
    std::vector<std::byte> chunk;
    for (std::uint64_t sector = first; sector < end; sector += kChunkSectors) {
        progress::tick();
        const std::uint64_t count = std::min(kChunkSectors, end - sector);
        const std::uint64_t from = sector_offset(sector);
        if (from >= image_size) break;
        chunk.resize(static_cast<std::size_t>(std::min(sector_offset(count), image_size - from)));
        if (!image.read_exact_at(from, chunk))
            return job_error(msg::kCannotReadSector, {std::to_string(sector), image_path});
        const auto hit = std::find_if(chunk.begin(), chunk.end(), [](std::byte b) { return b != std::byte{0}; });
        if (hit != chunk.end()) return sector + whole_sectors(static_cast<std::uint64_t>(hit - chunk.begin()));
    }
    return end;
}

} // namespace isorelink::host
