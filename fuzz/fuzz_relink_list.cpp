// The rebuild job on a kit image with an arbitrary relink list and record
// file length (byte 0: kind, bytes 1-2: record file length, then the list).
// A refused list must leave the new image byte for byte as it was.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace isorelink::fuzz;
    return verdict(relink_list_case(scratch_prefix(), std::span(data, size)));
}
