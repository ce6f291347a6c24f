#pragma once
// A small read-only view of an image's ISO 9660 volume: the primary volume
// descriptor's numbers and every directory and file record, each with the
// byte offset of its record. replace uses it to find the files it is asked
// for, verify to check the volume against the file's length.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/image_kind.h"
#include "common/result.h"
#include "platform/read_handle.h"
#include "read/image_source.h"

namespace isorelink::host {

struct IsoFile {
    std::string path;              // "\\DATA\\FILE.BIN": each identifier named by listing_name()
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
    std::uint8_t flags = 0;
    std::uint64_t record_offset = 0;  // byte offset of the directory record
    bool multi_extent = false;     // one of several extents of a file
    std::optional<std::int64_t> recorded;  // the record's recording date (recording_time())
};

struct IsoDirectory {
    std::string path;  // "" for the root
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
    std::optional<std::int64_t> recorded;  // the recording date of the record that names it
};

struct IsoVolume {
    ImageKind kind = ImageKind::PspUmd;
    bool kind_recognised = false;
    std::uint64_t image_size = 0;
    std::uint32_t volume_space_size = 0;
    std::uint32_t path_table_size = 0;
    std::uint32_t path_table_sectors[4] = {};  // type L, optional L, type M, optional M
    std::vector<IsoDirectory> directories;     // walk order, root first
    std::vector<IsoFile> files;                // walk order
    std::vector<std::string> problems;         // records we could not follow
};

// Reads the primary volume descriptor and walks every directory from the
// root. Fails only when there is no ISO 9660 volume to read; records that
// lead outside the image become problems.
Expected<IsoVolume> read_iso_volume(const ImageSource& image);
Expected<IsoVolume> read_iso_volume(const platform::ReadHandle& image);

// Upper-cases and turns '/' into '\\'; adds the leading '\\'.
std::string normalise_iso_path(std::string_view path);
// The same, appended to out.
void append_normalised_iso_path(std::string& out, std::string_view path);

} // namespace isorelink::host
