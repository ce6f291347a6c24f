#pragma once
// Patches from an original image to a new one, for groups that publish a
// patch rather than an image:
//
//   .xdelta (or .vcdiff)  VCDIFF, written by the xdelta3 program
//                         (xdelta3 -e -s ORIGINAL NEW PATCH); applied with
//                         xdelta3 -d -s ORIGINAL PATCH NEW
//   .ppf                  PPF 3.0, written here: a 60-byte header ("PPF30",
//                         encoding method 2, a 50-byte description, image
//                         type 0, no block check, the undo flag, a spare
//                         byte), then records of a little-endian 64-bit
//                         offset, a length of 1 to 255 and that many new
//                         bytes (followed by as many original bytes when
//                         the undo flag is set).
//
// A PPF record can only write bytes, never cut a file: every differing byte
// is written, bytes past the original's end included, and the new image's
// last byte always, so that an applier that writes past the end (and fills
// what it skips with zeros) gives the new image's length. A new image shorter
// than the original cannot be expressed, and is refused. Undo bytes are
// written when both images have the same length (undo could not take back a
// longer image's tail).
//
// The patch file is guarded like every other output: written over only when
// isorelink wrote it and it is unchanged, or with --force.
#include <cstdint>
#include <string>

#include "common/result.h"
#include "tools/output_guard.h"

namespace isorelink::host {

enum class PatchType { Xdelta, Ppf };

// By the name's ending, any case: .xdelta, .vcdiff, .ppf.
Expected<PatchType> patch_type(const std::string& patch_path);

// Before the work that precedes the patch: refuses a patch path that is of no
// known type or that would overwrite a file isorelink did not write.
Status check_patch_output(const std::string& patch_path, GuardOptions options);

struct PatchReport {
    PatchType type = PatchType::Ppf;
    std::uint64_t bytes = 0;    // the patch file's size
    std::uint64_t records = 0;  // PPF records
};

// Writes the patch from `original` to `modified`; a failed write leaves no
// patch behind (unless options.keep).
Expected<PatchReport> write_patch(const std::string& original, const std::string& modified,
                                  const std::string& patch_path, GuardOptions options);

// The PPF 3.0 writer on its own, unguarded.
Expected<PatchReport> write_ppf_patch(const std::string& original, const std::string& modified,
                                      const std::string& patch_path);

// The xdelta3 program on PATH, or "" when there is none.
std::string find_xdelta3();

} // namespace isorelink::host
