#include "extract/header_copy.h"

#include <algorithm>
#include <cstring>

#include "format/iso9660/layout.h"
#include "common/messages.h"
#include "format/sector.h"
#include "common/progress.h"

namespace isorelink {

namespace {

bool all_zero(ByteView bytes) {
    // Every byte equals the one after it, and the first is zero.
    return bytes.empty() ||
           (bytes[0] == std::byte{0} && std::memcmp(bytes.data(), bytes.data() + 1, bytes.size() - 1) == 0);
}

} // namespace

std::uint64_t header_sector_count(ImageKind kind, std::uint32_t highest_directory, std::uint32_t directory_length) {
    if (kind == ImageKind::Ps2Dvd) return std::uint64_t{highest_directory} + 1;
    return std::uint64_t{highest_directory} + whole_sectors(directory_length);
}

Expected<std::uint32_t> highest_directory_length(ImageWindow& image, std::uint32_t highest_directory,
                                                 const std::string& image_path) {
    const auto field = image.bytes(sector_offset(highest_directory) + iso::dr::kDataLength, 4);
    if (!field) return structure_error(image_path, "highest directory outside the image");
    return le32(*field, 0);
}

Status write_header_copy(ImageWindow& image, std::uint64_t sectors, File& header_copy,
                         const std::string& header_copy_path) {
    const auto failed = [&] { return job_error(msg::kExtractInternal, "cannot write " + header_copy_path); };
    const std::uint64_t total = sector_offset(sectors);
    const std::uint64_t from_image = std::min(total, image.image_size());
    const std::size_t chunk = image.block_size();
    // Holes in the image and blocks of zeros are passed over: the copy reads
    // as zeros there all the same, and stays sparse where the file system can
    // (a hostile directory length can make the copy as long as the image).
    std::uint64_t written = 0;
    for (std::uint64_t done = image.data_from(0); done < from_image; done = image.data_from(done)) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, from_image - done));
        const auto block = image.bytes(done, length);
        if (!block) return failed();
        if (!all_zero(*block)) {
            if (!header_copy.write_at(done, *block)) return failed();
            written = done + length;
        }
        done += length;
        progress::tick();
    }
    if (total > written) {
        // Sectors the image no longer supplies, or zeros passed over: extend
        // the file by writing its last byte (the gap is zero-filled, sparse
        // where the file system can).
        const std::byte zero[1] = {};
        if (!header_copy.write_at(total - 1, zero)) return failed();
    }
    return ok_status();
}

} // namespace isorelink
