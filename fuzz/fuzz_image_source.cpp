// libFuzzer on the image sources: see image_source_case.h.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "image_source_case.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    isorelink::fuzz::image_source_case(isorelink::fuzz::scratch_prefix(), std::span(data, size));
    return 0;
}
