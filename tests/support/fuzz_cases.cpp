#include "support/fuzz_cases.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "extract/extraction_job.h"
#include "rebuild/rebuild_job.h"

namespace isorelink::fuzz {

void write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

kit::ImageRecipe sample_recipe(ImageKind kind) {
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    auto text = [](const char* path, const std::string& body) {
        kit::FileRecipe f;
        f.path = path;
        for (char c : body) f.content.push_back(static_cast<std::byte>(c));
        return f;
    };
    recipe.files.push_back(text("\\SYSTEM.CNF", "BOOT2 = cdrom0:\\SLUS_000.00;1\r\nVER = 1.00\r\n"));
    recipe.files.push_back(text("\\DATA\\TEXT.BIN", std::string(3000, 'T')));
    kit::FileRecipe movie = text("\\DATA\\MOVIE.PSS", std::string(5000, 'M'));
    if (kind != ImageKind::Ps2Dvd) movie.extent_limit = 2048;
    recipe.files.push_back(movie);
    kit::FileRecipe hidden = text("\\DATA\\HIDDEN.DAT", "h");
    hidden.hidden = true;
    recipe.files.push_back(hidden);
    recipe.files.push_back(text("\\DATA\\DEEP\\EMPTY.BIN", ""));
    recipe.files.push_back(text("\\Z.TXT", "z"));
    return recipe;
}

const Sample& sample(ImageKind kind) {
    static std::map<ImageKind, Sample> samples;
    auto& s = samples[kind];
    if (s.image.empty()) {
        auto built = kit::build_image(sample_recipe(kind), s.image);
        if (!built) throw std::runtime_error(built.error().message);
        s.built = *built;
    }
    return s;
}

const std::string& sample_listing(ImageKind kind, const std::string& folder) {
    static std::map<ImageKind, std::string> listings;
    auto& listing = listings[kind];
    if (listing.empty()) {
        const std::string name = "SAMPLE" + std::to_string(static_cast<int>(kind)) + ".ISO";
        write_file(folder + name, as_u8(sample_image(kind)));
        auto done = run_extraction(folder, name);
        if (!done) throw std::runtime_error(done.error().message);
        const Bytes bytes = read_file(done->names.sector_listing);
        listing.assign(bytes.begin(), bytes.end());
    }
    return listing;
}

namespace {

// Every sector listing line names a record, a descriptor and a file's data
// inside the image: "SECTOR|SIZE|RECORD|[DESCRIPTOR|]PATH".
std::string listing_fault(const std::string& listing, std::uint64_t image_size, ImageKind kind) {
    std::istringstream lines(listing);
    std::string line;
    std::size_t number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::size_t fields = kind == ImageKind::Ps2Dvd ? 4 : 3;
        std::uint64_t value[4] = {};
        std::size_t at = 0;
        for (std::size_t i = 0; i < fields; ++i, at += 9) {
            if (line.size() < at + 9 || line[at + 8] != '|')
                return "listing line " + std::to_string(number) + " malformed";
            value[i] = std::stoull(line.substr(at, 8), nullptr, 16);
        }
        // Records and descriptors lie inside the image; file data may lie
        // past its end (a trimmed dump is listed).
        const bool record_inside = value[2] + 8 <= image_size;
        const bool descriptor_inside = kind != ImageKind::Ps2Dvd || value[3] + 8 <= image_size;
        if (!record_inside || !descriptor_inside)
            return "listing line " + std::to_string(number) + " names bytes outside the image: " + line;
    }
    return "";
}

// A refused rebuild must leave the new image as it was.
template <typename Outcome>
std::string refusal_fault(const Outcome& outcome, const std::string& new_image, std::span<const std::uint8_t> before) {
    if (outcome) return "";
    if (!is_coded(outcome.error().message)) return "uncoded failure: " + outcome.error().message;
    const Bytes after = read_file(new_image);
    if (!std::equal(after.begin(), after.end(), before.begin(), before.end()))
        return "a refused rebuild changed the new image: " + outcome.error().message;
    return "";
}

} // namespace

std::string extract_case(const std::string& folder, std::span<const std::uint8_t> image) {
    const std::string name = "IMAGE.ISO";
    write_file(folder + name, image);
    auto outcome = run_extraction(folder, name);
    const Bytes after = read_file(folder + name);
    if (!std::equal(after.begin(), after.end(), image.begin(), image.end())) return "the image changed";
    if (!outcome) return is_coded(outcome.error().message) ? "" : "uncoded failure: " + outcome.error().message;
    const Bytes listing = read_file(outcome->names.sector_listing);
    return listing_fault(std::string(listing.begin(), listing.end()), image.size(), outcome->kind);
}

std::string relink_list_case(const std::string& folder, std::span<const std::uint8_t> data) {
    if (data.size() < 3) return "";
    const ImageKind kind = kind_from_selector(data[0]);
    const std::size_t record_length = std::size_t{data[1]} | std::size_t{data[2]} << 8;
    const auto image = as_u8(sample_image(kind));
    write_file(folder + "NEW-R.ISO", image);
    write_file(folder + "R.ISO-relink-LSN.TXT", data.subspan(3));
    write_file(folder + "R.ISO.xqe", Bytes(record_length, 0));
    return refusal_fault(run_rebuild(folder, "R.ISO"), folder + "NEW-R.ISO", image);
}

std::string rebuild_image_case(const std::string& folder, std::span<const std::uint8_t> data) {
    if (data.empty()) return "";
    const ImageKind kind = kind_from_selector(data[0]);
    const std::string& listing = sample_listing(kind, folder);
    const auto image = data.subspan(1);
    write_file(folder + "NEW-B.ISO", image);
    write_file(folder + "B.ISO-relink-LSN.TXT", as_u8(listing));
    write_file(folder + "B.ISO.xqe", Bytes(12 * 64, 0));
    return refusal_fault(run_rebuild(folder, "B.ISO"), folder + "NEW-B.ISO", image);
}

} // namespace isorelink::fuzz
