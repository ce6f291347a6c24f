// The rebuild job on a kit image with an arbitrary relink list and record
// file length. The first input byte picks the kind, the next two the record
// file's length; the rest is the relink list. A refused list must leave the
// new image byte for byte as it was.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "rebuild/rebuild_job.h"

namespace {
std::vector<char> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace isorelink;
    if (size < 3) return 0;
    static const ImageKind kinds[] = {ImageKind::Ps2Dvd, ImageKind::Ps2Cd, ImageKind::PspUmd};
    const ImageKind kind = kinds[data[0] % 3];
    const std::size_t record_length = static_cast<std::size_t>(data[1]) | static_cast<std::size_t>(data[2]) << 8;
    const auto& prefix = fuzz::scratch_prefix();
    const auto& image = fuzz::sample_image(kind);
    const std::string new_image = prefix + "NEW-R.ISO";
    fuzz::write_file(new_image, std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()));
    fuzz::write_file(prefix + "R.ISO-relink-LSN.TXT", std::span(data + 3, size - 3));
    const std::vector<std::uint8_t> record(record_length, 0);
    fuzz::write_file(prefix + "R.ISO.xqe", record);

    auto outcome = run_rebuild(prefix, "R.ISO");
    if (!outcome) {
        const auto& message = outcome.error().message;
        if (message.rfind("Code ", 0) != 0) std::abort();
        if (message.rfind("Code 405", 0) == 0 || message.rfind("Code 406", 0) == 0) {
            const auto after = slurp(new_image);
            if (after.size() != image.size() ||
                !std::equal(after.begin(), after.end(), reinterpret_cast<const char*>(image.data())))
                std::abort();  // a refused relink list changed the image
        }
    }
    return 0;
}
