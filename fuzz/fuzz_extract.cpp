// The extraction job on an arbitrary image: it must end, stay inside its
// buffers, leave the image as it was and either list only what the image
// holds or return a coded message.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace isorelink::fuzz;
    return verdict(extract_case(scratch_prefix(), std::span(data, size)));
}
