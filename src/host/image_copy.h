#pragma once
// Copies an image file as fast as the file system allows: a reflink clone
// (FICLONE) where the file system shares blocks, copy_file_range inside the
// kernel otherwise, and large sequential reads and writes as the fallback.
// A failed copy removes what it wrote.
#include <cstdint>
#include <string>

#include "common/result.h"

namespace isorelink::host {

enum class CopyMethod { Reflink, KernelCopy, Streamed };

struct CopyOutcome {
    CopyMethod method = CopyMethod::Streamed;
    std::uint64_t bytes = 0;
};

Expected<CopyOutcome> copy_image(const std::string& source, const std::string& target, bool quiet);

const char* to_string(CopyMethod method);

} // namespace isorelink::host
