// The rebuild job on an arbitrary new image with the sound relink list of a
// kit image (byte 0: kind, then the new image). A refused rebuild must leave
// the new image byte for byte as it was.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace isorelink::fuzz;
    return verdict(rebuild_image_case(scratch_prefix(), std::span(data, size)));
}
