#pragma once
// The image's files by name and by directory record, looked up once per
// asked file rather than by a scan of the whole volume: a replace of
// thousands of files in an image of tens of thousands stays linear.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/result.h"
#include "read/iso_volume.h"
#include "read/sector_listing.h"

namespace isorelink::host {

// The name a path is matched by: upper case, backslashes, a leading one, and
// no trailing dot ("README." and "README" name the same file).
std::string match_key(std::string_view path);

class ImageFiles {
public:
    ImageFiles(const IsoVolume& volume, const std::vector<ListingLine>& listing);

    // The listing line of the file the user named; refuses a name the image
    // does not hold (naming `image`), a file recorded in several extents and
    // one the listing leaves out.
    Expected<std::size_t> line_of(const std::string& asked, const std::string& image) const;

    // Every extent of the file of this key, in record order; empty when the
    // volume holds no such file.
    std::vector<const IsoFile*> extents_of(const std::string& key) const;

private:
    const IsoVolume& volume_;
    const std::vector<ListingLine>& listing_;
    // A name's records in walk order: its first and last, each linked to the next by next_record_.
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> files_by_key_;
    std::vector<std::size_t> next_record_;
    std::unordered_map<std::string, std::size_t> line_by_key_;                 // the first line of a name
    std::unordered_map<std::uint64_t, std::size_t> line_by_extent_field_;      // the last line of a record
    std::unordered_map<std::uint64_t, std::size_t> file_by_extent_field_;      // the last file of a record
};

} // namespace isorelink::host
