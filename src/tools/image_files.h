#pragma once
// The files of an image as a user sees them: one entry per file, a file
// recorded in several extents joined into one, in the order the directory
// walk met them. list and unpack both read an image through it.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "read/iso_volume.h"

namespace isorelink::host {

struct ImageFile {
    std::string path;                  // as IsoFile names it: "\\DATA\\FILE.BIN"
    std::vector<std::size_t> records;  // indices into IsoVolume::files, in record order
    std::uint64_t size = 0;            // the extents' sizes added up
    std::optional<std::int64_t> recorded;
};

// Associated files (flag 0x04) are left out: they carry a file's extended
// attributes under the file's own name. A piece (flag 0x80) joins the
// records after it that carry the same name, up to and including the first
// that is not a piece.
std::vector<ImageFile> files_of(const IsoVolume& volume);

// The same files one at a time, gathering nothing: fn(records) for each, its
// indices into IsoVolume::files in record order (valid during the call; the
// file's path is its first record's). fn may move that path away: the walk
// is done with a file's records when it calls fn.
void for_each_file(const IsoVolume& volume, const std::function<void(std::span<const std::size_t>)>& fn);

} // namespace isorelink::host
