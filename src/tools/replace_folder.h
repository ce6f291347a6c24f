#pragma once
// replace --from DIR: the files of a folder that mirrors the image's tree
// (folders as folders, names as the listings write them) and differ from the
// image's. A file whose bytes equal the image's is left out, so a folder of
// every file of the image replaces only what was edited; a file the image
// does not hold is refused, never added.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "common/result.h"
#include "platform/read_handle.h"
#include "tools/file_lookup.h"
#include "tools/replace_increment.h"

namespace isorelink::host {

struct FolderFile {
    std::size_t line = 0;     // the image's listing line
    std::string iso_path;     // "\\DATA\\TEXT.BIN", as the image names it
    std::string local_path;
    std::uint64_t size = 0;   // as the folder's look found it
};

struct FolderChanges {
    std::vector<FolderFile> changed;  // in listing order
    std::size_t unchanged = 0;
    std::map<std::string, SeenFile> seen;  // every file of the folder, by its path inside it
};

// Refuses the files of `folder` the image does not hold (all of them named,
// as paths inside the folder), and a changed file replace cannot take (one
// recorded in several extents).
// A file whose size and time are those `known` holds for it is not read
// again: the answer of the last run stands. Nor is a file that unpack wrote
// from this same source (the folder's write record stamps it with its
// origin) and that nobody has written to since.
Expected<FolderChanges> folder_changes(const std::string& folder, const ImageFiles& files,
                                       const platform::ReadHandle& image, const std::string& image_path,
                                       const std::map<std::string, SeenFile>& known = {},
                                       const SourceIdentity* source = nullptr);

} // namespace isorelink::host
