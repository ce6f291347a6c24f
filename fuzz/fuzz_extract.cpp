// The extraction job on an arbitrary image: it must end, stay inside its
// buffers and either list what the image holds or return a coded message.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "extract/extraction_job.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& prefix = isorelink::fuzz::scratch_prefix();
    isorelink::fuzz::write_file(prefix + "IMAGE.ISO", std::span(data, size));
    auto outcome = isorelink::run_extraction(prefix, "IMAGE.ISO");
    if (!outcome && outcome.error().message.rfind("Code ", 0) != 0) std::abort();
    return 0;
}
