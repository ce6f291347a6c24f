#include "extract/path_table_copy.h"

#include <algorithm>

#include "format/iso9660/layout.h"
#include "common/messages.h"
#include "format/sector.h"
#include "common/progress.h"
#include "read/path_table_reader.h"

namespace isorelink {

PathTableArea path_table_area(std::uint32_t type_l_sector, std::uint32_t optional_sector,
                              std::uint32_t path_table_size) {
    PathTableArea area;
    area.offset = sector_offset(type_l_sector);
    if (optional_sector > type_l_sector) {
        area.length = sector_offset(optional_sector - type_l_sector);
    } else if (optional_sector < type_l_sector) {
        area.length = sector_offset(sectors_to_hold(path_table_size));
    }
    area.length = std::min<std::uint64_t>(area.length, sector_offset(sectors_to_hold(kLongestPathTable)));
    return area;
}

Status copy_path_table(ImageWindow& image, File& copy, const std::string& image_path,
                       const std::string& copy_path) {
    const auto fields = image.bytes(iso::kPathTableSizeOffset, iso::pvd::kOptionalTypeLPathTable + 4 - iso::pvd::kPathTableSize);
    if (!fields) return structure_error(image_path, "primary volume descriptor outside the image");
    const auto field = [&](std::size_t pvd_offset) { return le32(*fields, pvd_offset - iso::pvd::kPathTableSize); };
    const std::uint32_t table_size = field(iso::pvd::kPathTableSize);
    const PathTableArea area =
        path_table_area(field(iso::pvd::kTypeLPathTable), field(iso::pvd::kOptionalTypeLPathTable), table_size);
    if (!image.contains(area.offset, table_size)) return structure_error(image_path, "path table outside the image");

    const std::uint64_t end = std::min(area.offset + area.length, image.image_size());
    for (std::uint64_t at = area.offset; at < end;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(image.block_size(), end - at));
        const auto block = image.bytes(at, length);
        if (!block) return structure_error(image_path, "path table outside the image");
        if (!copy.write(*block)) return job_error(msg::kExtractInternal, "cannot write " + copy_path);
        at += length;
        progress::tick();
    }
    return ok_status();
}

} // namespace isorelink
