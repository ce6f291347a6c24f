// Writes the seed corpora: kit images of the three kinds (for the image
// targets) and their sector listings (for the relink list target).
#include <cstdio>
#include <filesystem>
#include <string>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
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
        const char* name;
        std::uint8_t selector;
    } kinds[] = {{"ps2dvd", 0}, {"ps2cd", 1}, {"pspumd", 2}};
    for (const auto& k : kinds) {
        const ImageKind kind = fuzz::kind_from_selector(k.selector);
        const auto& image = fuzz::sample_image(kind);
        fuzz::write_file((out / "fuzz_extract" / k.name).string(), fuzz::as_u8(image));
        // The path table size claiming every byte from the table to the image's end.
        auto claimed = image;
        const std::uint64_t table = sector_offset(fuzz::sample(kind).built.path_table_sector);
        put_both32(claimed, iso::kPathTableSizeOffset, static_cast<std::uint32_t>(claimed.size() - table));
        fuzz::write_file((out / "fuzz_extract" / (std::string(k.name) + "-path-table-to-the-end")).string(),
                         fuzz::as_u8(claimed));

        std::string image_seed(1, static_cast<char>(k.selector));
        image_seed.append(reinterpret_cast<const char*>(image.data()), image.size());
        fuzz::write_file((out / "fuzz_rebuild_image" / k.name).string(), fuzz::as_u8(image_seed));

        // A record file of 120 bytes: ten lines' worth.
        const std::string& listing = fuzz::sample_listing(kind, fuzz::scratch_prefix());
        std::string relink_seed = {static_cast<char>(k.selector), static_cast<char>(120), 0};
        relink_seed += listing;
        fuzz::write_file((out / "fuzz_relink_list" / k.name).string(), fuzz::as_u8(relink_seed));
    }
    std::printf("seeds written to %s\n", out.string().c_str());
    return 0;
}
