#include "round_trip_support.h"

#include <filesystem>

namespace isorelink::test {

Bytes sample_bytes(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) b = static_cast<std::byte>((x = x * 1103515245u + 12345u) >> 16);
    return out;
}

std::optional<SampleImage> make_sample(ImageKind kind, const std::string& folder) {
    const std::string cnf = kind == ImageKind::PspUmd ? "PSP GAME\r\n" : "BOOT2 = cdrom0:\\SLUS_000.00;1\r\n";
    const std::pair<const char*, Bytes> files[] = {  // in the kit's data order
        {"\\SYSTEM.CNF", Bytes(reinterpret_cast<const std::byte*>(cnf.data()),
                               reinterpret_cast<const std::byte*>(cnf.data() + cnf.size()))},
        {"\\DATA\\GROW.BIN", sample_bytes(3000, 1)}, {"\\DATA\\SHRINK.BIN", sample_bytes(10000, 2)},
        {"\\DATA\\SAME.BIN", sample_bytes(4000, 3)}, {"\\DATA\\KEEP.BIN", sample_bytes(5000, 4)},
        {"\\MOVIE\\LAST.PSS", sample_bytes(20000, 5)}};
    SampleImage sample{(std::filesystem::path(folder) / "GAME.ISO").string(), {}, {}};
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    for (const auto& [path, bytes] : files) {
        sample.contents[path] = bytes;
        recipe.files.push_back(kit::FileRecipe{});
        recipe.files.back().path = path;
        recipe.files.back().content = bytes;
    }
    auto built = kit::write_image(recipe, sample.path);
    if (!built) return std::nullopt;
    sample.built = *built;
    return sample;
}

} // namespace isorelink::test
