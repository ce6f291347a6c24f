#pragma once
// The six files an extraction holds open, created in their fixed order, and
// the reopenings between its phases.
#include <string>
#include <string_view>

#include "platform/file.h"
#include "common/result.h"
#include "extract/extraction_names.h"

namespace isorelink {

struct JobFiles {
    File image;
    File header_copy;
    File sector_listing;
    File file_listing;
    File path_table_copy;
    File record_file;
};

// Opens the image for reading (101e).
Status open_image(const ExtractionNames& names, JobFiles& files);

// Refuses (1109, naming the file) when the image is the same file as one
// the job creates, truncates or deletes: the working files, the listings,
// the record file. Compared by identity, so links and other spellings count.
Status refuse_own_files(const ExtractionNames& names);

// Creates, in this order, the header copy (1101b), the sector listing
// (1101c), the file listing (1101d), the path table copy (1101e) and the
// record file (1104). The listings are binary: their lines carry CR LF.
Status create_outputs(const ExtractionNames& names, JobFiles& files);

// Closes a filled file and opens it again with mode; a failed open reports
// message_template with the path.
Status reopen(File& file, const std::string& path, const char* mode, const Message& message_template);

// Closes in the finishing order (sector listing, file listing, image, path
// table copy, header copy, record file), then deletes the two working files.
Status finish(const ExtractionNames& names, JobFiles& files);

} // namespace isorelink
