#pragma once
// One input through one job, with every promise a job makes about hostile
// input checked afterwards. The fuzz targets and the corpus replay test
// (tests/corrupt) share these, so a stored input replays the same path.
//
// Each case returns "" when the job kept its promises, or what it broke.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/image_kind.h"
#include "extract/extraction_job.h"
#include "kit/image_builder.h"
#include "rebuild/rebuild_job.h"

namespace isorelink::fuzz {

using Bytes = std::vector<std::uint8_t>;

inline void write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

inline std::span<const std::uint8_t> as_u8(const std::vector<std::byte>& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

inline std::span<const std::uint8_t> as_u8(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The kinds a selector byte picks.
inline ImageKind kind_from_selector(std::uint8_t selector) {
    static constexpr ImageKind kinds[] = {ImageKind::Ps2Dvd, ImageKind::Ps2Cd, ImageKind::PspUmd};
    return kinds[selector % 3];
}

// A small kit image: a few files, two folder levels, a hidden file and an
// empty one; on the ISO-only kinds also a file in three extents (the PS2
// DVD extraction refuses those: one File Entry would serve three records).
inline kit::ImageRecipe sample_recipe(ImageKind kind) {
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

struct Sample {
    std::vector<std::byte> image;
    kit::BuiltImage built;
};

inline const Sample& sample(ImageKind kind) {
    static std::map<ImageKind, Sample> samples;
    auto& s = samples[kind];
    if (s.image.empty()) {
        auto built = kit::build_image(sample_recipe(kind), s.image);
        if (!built) throw std::runtime_error(built.error().message);
        s.built = *built;
    }
    return s;
}

inline const std::vector<std::byte>& sample_image(ImageKind kind) { return sample(kind).image; }

// The sector listing the extraction job writes for sample_image(kind); the
// job runs in `folder` (a prefix with its trailing separator).
inline const std::string& sample_listing(ImageKind kind, const std::string& folder) {
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

inline bool is_coded(const std::string& message) { return message.rfind("Code ", 0) == 0; }

// Every sector listing line names a record, a descriptor and a file's data
// inside the image: "SECTOR|SIZE|RECORD|[DESCRIPTOR|]PATH".
inline std::string listing_fault(const std::string& listing, std::uint64_t image_size, ImageKind kind) {
    std::istringstream lines(listing);
    std::string line;
    std::size_t number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::size_t fields = kind == ImageKind::Ps2Dvd ? 4 : 3;
        std::uint64_t value[4] = {};
        std::size_t at = 0;
        for (std::size_t i = 0; i < fields; ++i, at += 9) {
            if (line.size() < at + 9 || line[at + 8] != '|') return "listing line " + std::to_string(number) + " malformed";
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

// The extraction job on an arbitrary image in `folder`.
inline std::string extract_case(const std::string& folder, std::span<const std::uint8_t> image) {
    const std::string name = "IMAGE.ISO";
    write_file(folder + name, image);
    auto outcome = run_extraction(folder, name);
    const Bytes after = read_file(folder + name);
    if (!std::equal(after.begin(), after.end(), image.begin(), image.end())) return "the image changed";
    if (!outcome) return is_coded(outcome.error().message) ? "" : "uncoded failure: " + outcome.error().message;
    const Bytes listing = read_file(outcome->names.sector_listing);
    return listing_fault(std::string(listing.begin(), listing.end()), image.size(), outcome->kind);
}

// The rebuild job on a kit image with an arbitrary relink list and record
// file length: byte 0 picks the kind, bytes 1-2 the record file's length
// (little-endian), the rest is the relink list.
inline std::string relink_list_case(const std::string& folder, std::span<const std::uint8_t> data) {
    if (data.size() < 3) return "";
    const ImageKind kind = kind_from_selector(data[0]);
    const std::size_t record_length = std::size_t{data[1]} | std::size_t{data[2]} << 8;
    const auto& image = sample_image(kind);
    write_file(folder + "NEW-R.ISO", as_u8(image));
    write_file(folder + "R.ISO-relink-LSN.TXT", data.subspan(3));
    write_file(folder + "R.ISO.xqe", Bytes(record_length, 0));
    auto outcome = run_rebuild(folder, "R.ISO");
    if (outcome) return "";
    if (!is_coded(outcome.error().message)) return "uncoded failure: " + outcome.error().message;
    const Bytes after = read_file(folder + "NEW-R.ISO");
    const auto original = as_u8(image);
    if (!std::equal(after.begin(), after.end(), original.begin(), original.end()))
        return "a refused rebuild changed the new image: " + outcome.error().message;
    return "";
}

// The rebuild job on an arbitrary new image with the sound relink list of
// the kit image of the kind byte 0 picks; the rest is the new image.
inline std::string rebuild_image_case(const std::string& folder, std::span<const std::uint8_t> data) {
    if (data.empty()) return "";
    const ImageKind kind = kind_from_selector(data[0]);
    const std::string& listing = sample_listing(kind, folder);
    const auto image = data.subspan(1);
    write_file(folder + "NEW-B.ISO", image);
    write_file(folder + "B.ISO-relink-LSN.TXT", as_u8(listing));
    write_file(folder + "B.ISO.xqe", Bytes(12 * 64, 0));
    auto outcome = run_rebuild(folder, "B.ISO");
    if (outcome) return "";
    if (!is_coded(outcome.error().message)) return "uncoded failure: " + outcome.error().message;
    const Bytes after = read_file(folder + "NEW-B.ISO");
    if (!std::equal(after.begin(), after.end(), image.begin(), image.end()))
        return "a refused rebuild changed the new image: " + outcome.error().message;
    return "";
}

} // namespace isorelink::fuzz
