#pragma once
// verify: what a console or an emulator relies on in an image.
//  - the volume space size equals the file's length in sectors. A post-gap
//    (the 150 zero sectors the rebuild appends) is part of the volume and is
//    counted on both sides;
//  - every file's and directory's extent lies inside the image;
//  - no two files share a sector (files of size 0 aside);
//  - PS2 DVD: the UDF side names the same files with the same sizes at the
//    same sectors (ISO sector = partition start + UDF block), and every
//    anchor's, File Entry's and File Identifier's checksum and CRC are valid.
#include <string>
#include <vector>

#include "common/result.h"

namespace isorelink::host {

struct VerifyReport {
    std::vector<std::string> problems;  // one line each; empty when consistent
    std::string summary;                // one line
    // The kind bytes name a kind, or the image carries a UDF bridge. When
    // not, skipped says which kind checks did not run.
    bool recognised = true;
    std::string skipped;
};

// Fails only when the image cannot be opened or holds no ISO 9660 volume.
Expected<VerifyReport> verify_image(const std::string& image_path);

} // namespace isorelink::host
