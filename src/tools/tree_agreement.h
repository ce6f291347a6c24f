#pragma once
// verify's look at the trees beside the primary one: every supplementary
// volume descriptor's (Joliet's) and a UDF tree on an image of any kind must
// name the files the primary tree names with the same extents. A reader that
// prefers one of them reads what it says.
#include <cstdint>
#include <string>
#include <vector>

#include "read/image_source.h"
#include "read/iso_volume.h"
#include "read/udf_generic_walk.h"

namespace isorelink::host {

// The reader verify and replace hand the walks.
ImageReader handle_reader(const ImageSource& image);

// Whether an anchor at 256 leads to a sound UDF partition.
bool carries_udf_bridge(const ImageSource& image, std::uint64_t image_size);

// Adds one problem line per disagreement, each naming its tree. check_udf:
// also walk the UDF tree (verify checks a PS2 DVD's UDF side on its own).
// Returns the names of the trees it compared.
std::vector<std::string> check_other_trees(const ImageSource& image, const IsoVolume& iso, bool check_udf,
                                           std::vector<std::string>& problems);

} // namespace isorelink::host
