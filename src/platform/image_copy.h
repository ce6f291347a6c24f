#pragma once
// Writes a new image as a copy of a source image with stretches of new
// content laid over it, in one pass in file order: the bytes an overlay
// covers are never copied from the source, so the new image costs one copy's
// worth of writes however much of it is replaced.
//
// The copy is as fast as the file system allows: a reflink clone (FICLONE)
// where the file system shares blocks (then only the overlays are written),
// copy_file_range inside the kernel otherwise, and large reads and writes as
// the fallback. A failed write removes what it wrote; the source is only read.
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"

namespace isorelink::host {

enum class CopyMethod { Reflink, KernelCopy, Streamed };

// `length` bytes of the new image at `offset`: the first `content_length`
// bytes of `local_path`, then zeros. An overlay may lie past the source's
// end; the bytes between the source's end and it read as zeros.
struct Overlay {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string local_path;
    std::uint64_t content_length = 0;
};

struct CopyOutcome {
    CopyMethod method = CopyMethod::Streamed;  // how the source's bytes were copied
    std::uint64_t bytes = 0;                   // bytes written, the overlays' included
};

// Overlays must not overlap each other; their order does not matter. A
// local file shorter than its content_length fails the write.
Expected<CopyOutcome> write_overlaid_copy(const std::string& source, const std::string& target,
                                          const std::vector<Overlay>& overlays, bool quiet);

const char* to_string(CopyMethod method);

} // namespace isorelink::host
