#include "cli/round_trip_support.h"

#include <filesystem>
#include <fstream>

#include "imagekit/image_builder.h"
#include "support/oracles.h"

namespace isorelink::test {

namespace fs = std::filesystem;

Bytes sample_bytes(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::byte>(x & 0xFF);
    }
    return out;
}

namespace {

std::map<std::string, Bytes> sample_contents(ImageKind kind) {
    std::map<std::string, Bytes> files;
    const std::string cnf = kind == ImageKind::PspUmd ? "PSP GAME\r\n" : "BOOT2 = cdrom0:\\SLUS_000.00;1\r\n";
    files["\\SYSTEM.CNF"] = Bytes(reinterpret_cast<const std::byte*>(cnf.data()),
                                  reinterpret_cast<const std::byte*>(cnf.data()) + cnf.size());
    files["\\DATA\\GROW.BIN"] = sample_bytes(3000, 1);
    files["\\DATA\\SHRINK.BIN"] = sample_bytes(10000, 2);
    files["\\DATA\\SAME.BIN"] = sample_bytes(4000, 3);
    files["\\DATA\\KEEP.BIN"] = sample_bytes(5000, 4);
    files["\\MOVIE\\LAST.PSS"] = sample_bytes(20000, 5);
    return files;
}

// Data order of the kit images: GROW.BIN is followed at once by SHRINK.BIN.
const char* const kDataOrder[] = {"\\SYSTEM.CNF", "\\DATA\\GROW.BIN", "\\DATA\\SHRINK.BIN", "\\DATA\\SAME.BIN",
                                  "\\DATA\\KEEP.BIN", "\\MOVIE\\LAST.PSS"};

void patch(const std::string& path, std::uint64_t offset, std::string_view bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

std::optional<SampleImage> make_sample(Maker maker, ImageKind kind, const std::string& folder, std::string& why) {
    SampleImage sample;
    sample.kind = kind;
    sample.contents = sample_contents(kind);
    sample.path = (fs::path(folder) / "GAME.ISO").string();
    if (maker == Maker::Kit) {
        kit::ImageRecipe recipe;
        recipe.kind = kind;
        for (const char* path : kDataOrder) {
            kit::FileRecipe f;
            f.path = path;
            f.content = sample.contents[path];
            recipe.files.push_back(std::move(f));
        }
        auto built = kit::write_image(recipe, sample.path);
        if (!built) {
            why = "the image kit cannot build the sample: " + built.error().message;
            return std::nullopt;
        }
        sample.built = *built;
        return sample;
    }
    if (!have_program("genisoimage")) {
        why = "genisoimage is not installed";
        return std::nullopt;
    }
    const auto tree = fs::path(folder) / "tree";
    for (const auto& [path, bytes] : sample.contents) {
        const auto file = tree / slashed(path).substr(1);
        fs::create_directories(file.parent_path());
        write_bytes(file.string(), bytes);
    }
    // The system identifier gives the kind byte at 32777; "CD-XA001" at 33792 the header.
    const std::string system = kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION";
    const auto made = run_command("genisoimage -quiet -sysid " + shell_quote(system) + " -V GAME -o " +
                                  shell_quote(sample.path) + " " + shell_quote(tree.string()));
    if (made.exit_code != 0) {
        why = "genisoimage failed: " + made.output;
        return std::nullopt;
    }
    patch(sample.path, 33792, "CD-XA001");
    fs::remove_all(tree);
    return sample;
}

} // namespace isorelink::test
