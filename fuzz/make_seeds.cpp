// Writes the seed corpora: kit images of the three kinds (for the image
// targets) and their sector listings (for the relink list target).
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "fuzz_support.h"

int main(int argc, char** argv) {
    using namespace isorelink;
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUT_DIR\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    for (const char* sub : {"fuzz_extract", "fuzz_relink_list", "fuzz_rebuild_image"})
        std::filesystem::create_directories(out / sub);
    const struct {
        ImageKind kind;
        const char* name;
        std::uint8_t selector;
    } kinds[] = {{ImageKind::Ps2Dvd, "ps2dvd", 0}, {ImageKind::Ps2Cd, "ps2cd", 1}, {ImageKind::PspUmd, "pspumd", 2}};
    for (const auto& k : kinds) {
        const auto& image = fuzz::sample_image(k.kind);
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
        fuzz::write_file((out / "fuzz_extract" / k.name).string(), bytes);

        std::string image_seed(1, static_cast<char>(k.selector));
        image_seed.append(reinterpret_cast<const char*>(image.data()), image.size());
        fuzz::write_file((out / "fuzz_rebuild_image" / k.name).string(),
                         std::span(reinterpret_cast<const std::uint8_t*>(image_seed.data()), image_seed.size()));

        const std::string& listing = fuzz::sample_listing(k.kind);
        std::string relink_seed = {static_cast<char>(k.selector), static_cast<char>(120), 0};
        relink_seed += listing;
        fuzz::write_file((out / "fuzz_relink_list" / k.name).string(),
                         std::span(reinterpret_cast<const std::uint8_t*>(relink_seed.data()), relink_seed.size()));
    }
    std::printf("seeds written to %s\n", out.string().c_str());
    return 0;
}
