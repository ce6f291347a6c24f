#pragma once
// list: every file of an image with its place and the room it has to grow
// in place, and a summary of the image against its medium. Reads the image
// only; writes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "format/image_kind.h"

namespace isorelink::host {

struct ListedFile {
    std::string path;          // "\\DATA\\FILE.BIN", named by the project's name rule (bytes as recorded)
    std::uint32_t sector = 0;  // the first extent's
    std::uint64_t size = 0;    // bytes, every extent's
    std::uint64_t sectors = 0; // sectors the extents take
    std::uint64_t room = 0;    // bytes it may grow by and keep its sector; 0 for a file in several extents
    std::uint32_t extents = 1;
};

struct ImageListing {
    ImageKind kind = ImageKind::Ps2Cd;
    bool kind_recognised = false;
    std::uint64_t image_bytes = 0;
    std::uint32_t volume_sectors = 0;          // the primary volume descriptor's volume space size
    std::uint64_t sectors_after_last_file = 0; // from the end of the last file's data to the image's end
    std::vector<ListedFile> files;             // by sector, then path
    std::vector<std::string> problems;         // records the walk could not follow
};

Expected<ImageListing> list_image(const std::string& image_path);

} // namespace isorelink::host
