#include "read/data_start_scan.h"

#include <limits>

#include "format/sector.h"
#include "format/udf/file_entry.h"
#include "format/udf/layout.h"
#include "common/progress.h"

namespace isorelink {

namespace {

// Whether the sector opens with a File Entry tag; nothing past the image.
std::optional<bool> opens_file_entry(ImageWindow& image, std::uint64_t sector) {
    const auto word = image.bytes(sector_offset(sector), 4);
    if (!word) return std::nullopt;
    return udf::opens_file_entry(*word);
}

} // namespace

Expected<std::uint32_t> data_start_sector(ImageKind kind, ImageWindow& image, std::uint64_t header_sectors,
                                          const std::string& image_path, KnownFileEntries known) {
    const auto not_found = [&] { return structure_error(image_path, "no UDF data start found"); };
    std::uint64_t sector = header_sectors;
    if (kind == ImageKind::Ps2Dvd) {
        bool in_run = false;
        for (;; ++sector) {
            progress::tick();
            if (sector >= known.first && sector < known.end) {
                in_run = true;
                sector = known.end - 1;
                continue;
            }
            const auto file_entry = opens_file_entry(image, sector);
            // A run of File Entries that reaches the image's end (a dump
            // trimmed right after them) ends there.
            if (!file_entry && in_run) break;
            if (!file_entry) return not_found();
            if (*file_entry) in_run = true;
            else if (in_run) break;
        }
    }
    if (sector > std::numeric_limits<std::uint32_t>::max()) {
        return kind == ImageKind::Ps2Dvd ? not_found() : structure_error(image_path, "header beyond 32-bit sectors");
    }
    return static_cast<std::uint32_t>(sector);
}

} // namespace isorelink
