#pragma once
// The descriptor list of a PS2 DVD whose File Entries do not follow the
// console layout: each listed file takes the allocation descriptor of the
// entry the UDF directory names for its path (compared without regard to
// ASCII case), so the listing's DESCRIPTOR column points where the rebuild
// must patch, whatever the entry's extended-attribute length.
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "read/descriptor_list.h"
#include "read/directory_walker.h"
#include "read/udf_generic_walk.h"

namespace isorelink {

// One descriptor per file, in the files' order. A file the UDF directory
// does not name, an entry two listed files would share, a descriptor beyond
// 4 GiB or an entry whose data lies in the entry itself (nowhere to patch an
// extent) is a structural fault naming the file.
Expected<std::vector<DescriptorEntry>> descriptors_from_udf_tree(const UdfBridgeTree& tree,
                                                                 const std::vector<FileEntry>& files,
                                                                 const std::string& image_path);

// The data start sector of such an image: the sector after the last entry
// the walk read, and never below the header sector count.
std::uint64_t udf_tree_data_start(const UdfBridgeTree& tree, std::uint64_t header_sectors);

} // namespace isorelink
