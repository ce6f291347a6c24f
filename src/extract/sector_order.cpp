#include "extract/sector_order.h"

#include <algorithm>

#include "common/progress.h"
#include "format/iso9660/path_table_record.h"

namespace isorelink {

namespace {

enum class Collected { TableEnded, NeedMore };

// Collects the records that lie wholly in bytes from offset on.
Collected collect(ByteView bytes, std::size_t& offset, std::vector<std::uint32_t>& sectors) {
    for (;;) {
        if (is_path_table_end(bytes, offset)) return Collected::TableEnded;
        const auto record = decode_path_table_record(bytes, offset);
        if (!record) return Collected::NeedMore;
        sectors.push_back(record->extent);
        offset += record->size;
        progress::tick();
    }
}

} // namespace

std::vector<std::uint32_t> sector_order_list(ByteView path_table_area) {
    std::vector<std::uint32_t> sectors;
    std::size_t offset = 0;
    collect(path_table_area, offset, sectors);
    std::sort(sectors.begin(), sectors.end());
    return sectors;
}

std::vector<std::uint32_t> sector_order_list(File& path_table_copy) {
    constexpr std::size_t kChunk = 1u << 20;
    std::vector<std::uint32_t> sectors;
    std::vector<std::byte> pending;
    std::size_t offset = 0;
    path_table_copy.seek(0);
    for (;;) {
        const std::size_t had = pending.size();
        pending.resize(had + kChunk);
        const std::size_t got = path_table_copy.read(std::span(pending).subspan(had));
        pending.resize(had + got);
        const bool at_end = got < kChunk;
        if (collect(pending, offset, sectors) == Collected::TableEnded || at_end) break;
        // Keep only the record that straddles the chunk's end.
        const std::size_t consumed = std::min(offset, pending.size());
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(consumed));
        offset -= consumed;
        progress::tick();
    }
    std::sort(sectors.begin(), sectors.end());
    return sectors;
}

std::uint32_t highest_directory(const std::vector<std::uint32_t>& sector_order) {
    return sector_order.empty() ? 0 : sector_order.back();
}

} // namespace isorelink
