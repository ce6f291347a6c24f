// The rebuild job on an arbitrary new image with a valid relink list (the
// listing of a kit image of the kind the first byte picks).
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "rebuild/rebuild_job.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace isorelink;
    if (size < 1) return 0;
    static const ImageKind kinds[] = {ImageKind::Ps2Dvd, ImageKind::Ps2Cd, ImageKind::PspUmd};
    const ImageKind kind = kinds[data[0] % 3];
    const auto& prefix = fuzz::scratch_prefix();
    const std::string& listing = fuzz::sample_listing(kind);
    fuzz::write_file(prefix + "NEW-B.ISO", std::span(data + 1, size - 1));
    fuzz::write_file(prefix + "B.ISO-relink-LSN.TXT",
                     std::span(reinterpret_cast<const std::uint8_t*>(listing.data()), listing.size()));
    const std::vector<std::uint8_t> record(12 * 64, 0);
    fuzz::write_file(prefix + "B.ISO.xqe", record);
    auto outcome = run_rebuild(prefix, "B.ISO");
    if (!outcome && outcome.error().message.rfind("Code ", 0) != 0) std::abort();
    return 0;
}
