#pragma once
// The directory trees an image carries beside its primary one: each
// supplementary volume descriptor's (Joliet's, as general authoring tools
// write it), walked record by record to every file. Readers that prefer
// Joliet (isoinfo -J, 7-Zip, xorriso) see these trees, so a file moved in
// the primary tree must move in them too.
#include <cstdint>
#include <string>
#include <vector>

#include "read/udf_generic_walk.h"

namespace isorelink {

struct TreeFile {
    std::string path;                // "\DATA\Long name.bin", without a ";1" version
    std::uint64_t record_offset = 0;  // the directory record's byte offset in the image
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
};

struct VolumeTree {
    std::string name;                // "Joliet tree" or "supplementary tree at sector 17"
    std::uint32_t descriptor_sector = 0;
    std::vector<TreeFile> files;
    bool complete = true;            // false when a directory could not be read whole
};

// Every supplementary volume descriptor's tree, from sector 17 up to the set
// terminator. The primary tree is the listing's; it is not among them.
std::vector<VolumeTree> read_supplementary_trees(const ImageReader& read, std::uint64_t image_size);

// A path compared without regard to ASCII case.
std::string tree_key(const std::string& path);

} // namespace isorelink
