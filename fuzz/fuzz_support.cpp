#include "fuzz_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

#include "extract/extraction_job.h"
#include "imagekit/image_builder.h"

namespace isorelink::fuzz {

namespace fs = std::filesystem;

const std::string& scratch_prefix() {
    static const std::string prefix = [] {
        auto dir = fs::temp_directory_path() / ("isorelink-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        // Keep the status file (if any) out of the shared temporary folder.
        return dir.string() + "/";
    }();
    return prefix;
}

void write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {

kit::ImageSpec sample_spec(ImageKind kind) {
    kit::ImageSpec spec;
    spec.kind = kind;
    auto text = [](const char* path, std::string body) {
        kit::FileSpec f;
        f.path = path;
        for (char c : body) f.content.push_back(static_cast<std::byte>(c));
        return f;
    };
    spec.files.push_back(text("\\SYSTEM.CNF", "BOOT2 = cdrom0:\\SLUS_000.00;1\r\nVER = 1.00\r\n"));
    spec.files.push_back(text("\\DATA\\TEXT.BIN", std::string(3000, 'T')));
    kit::FileSpec movie = text("\\DATA\\MOVIE.PSS", std::string(5000, 'M'));
    movie.extent_limit = 2048;
    spec.files.push_back(movie);
    kit::FileSpec hidden = text("\\DATA\\HIDDEN.DAT", "h");
    hidden.hidden = true;
    spec.files.push_back(hidden);
    spec.files.push_back(text("\\DATA\\DEEP\\EMPTY.BIN", ""));
    spec.files.push_back(text("\\Z.TXT", "z"));
    return spec;
}

} // namespace

const std::vector<std::byte>& sample_image(ImageKind kind) {
    static std::map<ImageKind, std::vector<std::byte>> images;
    auto& image = images[kind];
    if (image.empty()) {
        auto built = kit::build_image(sample_spec(kind), image);
        if (!built) throw std::runtime_error(built.error().message);
    }
    return image;
}

const std::string& sample_listing(ImageKind kind) {
    static std::map<ImageKind, std::string> listings;
    auto& listing = listings[kind];
    if (listing.empty()) {
        const auto& image = sample_image(kind);
        const std::string name = "SAMPLE" + std::to_string(static_cast<int>(kind)) + ".ISO";
        write_file(scratch_prefix() + name,
                   std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()));
        auto done = run_extraction(scratch_prefix(), name);
        if (!done) throw std::runtime_error(done.error().message);
        std::ifstream in(done->names.sector_listing, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        listing = s.str();
    }
    return listing;
}

} // namespace isorelink::fuzz
