#include "tools/replace_increment.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/messages.h"
#include "common/progress.h"
#include "format/sector.h"
#include "platform/file.h"
#include "tools/write_record.h"

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "isorelink increment record 1";
// Volume descriptors start at sector 16 and end at the terminator; an image
// without one within this many sectors is hashed over all of them.
constexpr std::uint64_t kMostDescriptors = 64;
constexpr std::size_t kChunk = 1u << 20;

std::string hex64(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

std::string absolute_path(const std::string& path) {
    std::error_code ec;
    auto full = fs::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

} // namespace

std::string increment_record_path(const std::string& new_image) {
    const fs::path image(new_image);
    // Built piece by piece: GCC 12 at -O3 warns (falsely) about a literal put in front of a temporary string.
    std::string hidden = ".";
    hidden += image.filename().string();
    hidden += ".increment";
    return (image.parent_path() / hidden).string();
}

std::string source_origin(const SourceIdentity& source) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const auto mix = [&hash](std::string_view text) {
        for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        hash = (hash ^ 0xFF) * 0x100000001b3ULL;  // a field's end
    };
    mix(std::to_string(source.size));
    mix(std::to_string(source.mtime));
    mix(source.descriptors_hash);
    mix(source.path);
    return hex64(hash);
}

std::string file_origin(const std::string& source_origin, std::uint32_t first_sector, std::uint64_t size) {
    char text[48];
    std::snprintf(text, sizeof text, ":%" PRIx32 ":%" PRIx64, first_sector, size);
    return source_origin + text;
}

bool stat_file(const std::string& path, std::uint64_t& size, std::int64_t& mtime) {
    WrittenFile now;
    if (!describe_file(path, now, false)) return false;
    size = now.size;
    mtime = now.mtime;
    return true;
}

std::optional<SourceIdentity> identify_source(const std::string& image_path) {
    SourceIdentity id;
    if (!stat_file(image_path, id.size, id.mtime)) return std::nullopt;
    auto in = File::open(image_path, "rb");
    if (!in) return std::nullopt;
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::array<std::byte, 2048> sector;
    for (std::uint64_t s = 16; s < 16 + kMostDescriptors; ++s) {
        const std::size_t got = in->read_at(sector_offset(s), sector);
        for (std::size_t i = 0; i < got; ++i) hash = (hash ^ std::to_integer<std::uint64_t>(sector[i])) * 0x100000001b3ULL;
        if (got < sector.size() || sector[0] == std::byte{255}) break;  // the end of the image, or the terminator
    }
    id.descriptors_hash = hex64(hash);
    id.path = absolute_path(image_path);
    return id;
}

std::optional<IncrementRecord> load_increment(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line) || line != kHeader) return std::nullopt;
    IncrementRecord record;
    bool source = false, kind = false, from = false, image = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        const auto rest = [&fields](std::string& out) { return static_cast<bool>(std::getline(fields >> std::ws, out)); };
        if (key == "source") {
            source = static_cast<bool>(fields >> record.source.size >> record.source.mtime >> record.source.descriptors_hash) &&
                     rest(record.source.path);
        } else if (key == "kind") {
            kind = rest(record.kind);
        } else if (key == "from") {
            from = rest(record.from_folder);
            if (record.from_folder == "-") record.from_folder.clear();
        } else if (key == "image") {
            image = static_cast<bool>(fields >> record.image_size >> record.image_mtime);
        } else if (key == "differs") {
            SectorRange r;
            if (!(fields >> r.first >> r.end) || r.end <= r.first) return std::nullopt;
            record.differs.push_back(r);
        } else if (key == "folder") {
            SeenFile seen;
            int same = 0;
            std::string name;
            if (!(fields >> seen.size >> seen.mtime >> seen.changed >> same) || !rest(name)) return std::nullopt;
            seen.same = same == 1;
            record.folder[name] = seen;
        } else {
            return std::nullopt;  // a line it cannot read vouches for nothing
        }
    }
    if (!source || !kind || !from || !image) return std::nullopt;
    return record;
}

bool save_increment(const std::string& path, const IncrementRecord& record) {
    std::string text = std::string(kHeader) + "\n";
    text += "source " + std::to_string(record.source.size) + " " + std::to_string(record.source.mtime) + " " +
            record.source.descriptors_hash + " " + record.source.path + "\n";
    text += "kind " + record.kind + "\n";
    text += "from " + (record.from_folder.empty() ? std::string("-") : record.from_folder) + "\n";
    text += "image " + std::to_string(record.image_size) + " " + std::to_string(record.image_mtime) + "\n";
    for (const auto& r : record.differs) text += "differs " + std::to_string(r.first) + " " + std::to_string(r.end) + "\n";
    for (const auto& [name, seen] : record.folder)
        text += "folder " + std::to_string(seen.size) + " " + std::to_string(seen.mtime) + " " +
                std::to_string(seen.changed) + " " + (seen.same ? "1 " : "0 ") + name + "\n";
    return replace_with_text(path, text);
}

bool remove_increment(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !fs::exists(fs::symlink_status(path, ec));
}

std::vector<SectorRange> outside_of(std::uint64_t total, std::vector<SectorRange> kept,
                                    const std::vector<SectorRange>& extra) {
    std::sort(kept.begin(), kept.end(), [](const SectorRange& a, const SectorRange& b) { return a.first < b.first; });
    std::vector<SectorRange> out;
    std::uint64_t at = 0;
    for (const auto& k : kept) {
        if (k.first > at) out.push_back({at, std::min(k.first, total)});
        at = std::max(at, k.end);
        if (at >= total) break;
    }
    if (at < total) out.push_back({at, total});
    out.insert(out.end(), extra.begin(), extra.end());
    std::sort(out.begin(), out.end(), [](const SectorRange& a, const SectorRange& b) { return a.first < b.first; });
    std::vector<SectorRange> merged;
    for (const auto& r : out) {
        if (r.end <= r.first) continue;
        if (!merged.empty() && r.first <= merged.back().end) merged.back().end = std::max(merged.back().end, r.end);
        else merged.push_back(r);
    }
    return merged;
}

Expected<std::vector<SectorRange>> differing_ranges(const std::string& source, const std::string& image,
                                                    const std::vector<SectorRange>& candidates) {
    auto a = File::open(source, "rb");
    if (!a) return job_error(msg::kCannotOpen, source);
    auto b = File::open(image, "rb");
    if (!b) return job_error(msg::kCannotOpen, image);
    const auto source_size = a->size();
    const auto image_size = b->size();
    if (!source_size || !image_size) return job_error(msg::kCannotReadLength, image);
    const std::uint64_t source_sectors = sectors_to_hold(*source_size);
    const std::uint64_t image_sectors = sectors_to_hold(*image_size);
    std::vector<SectorRange> out;
    const auto add = [&out](std::uint64_t first, std::uint64_t end) {
        if (!out.empty() && out.back().end == first) out.back().end = end;
        else out.push_back({first, end});
    };
    std::vector<std::byte> ours(kChunk), theirs(kChunk);
    for (const auto& c : candidates) {
        const std::uint64_t end = std::min(c.end, image_sectors);
        for (std::uint64_t s = c.first; s < end;) {
            if (s >= source_sectors) {
                add(s, end);
                break;
            }
            const std::uint64_t count = std::min<std::uint64_t>({kChunk / 2048, end - s, source_sectors - s});
            const auto bytes = static_cast<std::size_t>(sector_offset(count));
            const std::size_t got_a = a->read_at(sector_offset(s), std::span(ours).first(bytes));
            const std::size_t got_b = b->read_at(sector_offset(s), std::span(theirs).first(bytes));
            // Short reads only at an end: the missing bytes count as differing.
            std::fill(ours.begin() + static_cast<std::ptrdiff_t>(got_a), ours.begin() + static_cast<std::ptrdiff_t>(bytes),
                      std::byte{0});
            std::fill(theirs.begin() + static_cast<std::ptrdiff_t>(got_b),
                      theirs.begin() + static_cast<std::ptrdiff_t>(bytes), std::byte{1});
            for (std::uint64_t i = 0; i < count; ++i) {
                const auto from = static_cast<std::ptrdiff_t>(i * 2048);
                if (!std::equal(ours.begin() + from, ours.begin() + from + 2048, theirs.begin() + from))
                    add(s + i, s + i + 1);
            }
            s += count;
            progress::slow_step();
        }
    }
    return out;
}

Status update_in_place(const std::string& source, const std::string& target,
                       const std::vector<SectorRange>& differs, const std::vector<Overlay>& overlays) {
    auto in = File::open(source, "rb");
    if (!in) return job_error(msg::kCannotOpen, source);
    const auto source_size = in->size();
    if (!source_size) return job_error(msg::kCannotReadLength, source);
    std::error_code ec;
    // The tail first: whatever lay behind the source's end is gone before
    // anything is written. A long tail is cut back a step at a time, so that
    // the host hears from us between the steps.
    constexpr std::uint64_t kTruncateStep = 64u << 20;
    for (std::uint64_t size = file_size(target).value_or(0); size > *source_size + kTruncateStep;) {
        size -= kTruncateStep;
        fs::resize_file(target, size, ec);
        if (ec) return job_error(msg::kCannotWriteBecause, {target, ec.message()});
        progress::slow_step();
    }
    fs::resize_file(target, *source_size, ec);
    if (ec) return job_error(msg::kCannotWriteBecause, {target, ec.message()});
    auto out = File::open(target, "r+b");
    if (!out) return job_error(msg::kCannotOpen, target);
    std::vector<std::byte> buffer(kChunk);
    const auto fail = [&target]() { return job_error(msg::kCannotWriteBecause, {target, "write failed"}); };
    // The sectors the last run changed, back to the source's bytes.
    for (const auto& r : differs) {
        const std::uint64_t end = std::min(sector_offset(r.end), *source_size);
        for (std::uint64_t at = sector_offset(r.first); at < end;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - at));
            if (in->read_at(at, std::span(buffer).first(n)) != n) return job_error(msg::kCannotReadToEnd, source);
            if (!out->write_at(at, std::span(buffer).first(n))) return fail();
            at += n;
            progress::slow_step();
        }
    }
    // The new contents, then zeros to each overlay's end; the length a fresh copy has.
    std::uint64_t length = *source_size;
    for (const auto& o : overlays) {
        length = std::max(length, o.offset + o.length);
        auto local = File::open(o.local_path, "rb");
        if (!local) return job_error(msg::kCannotOpen, o.local_path);
        for (std::uint64_t done = 0; done < o.length;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, o.length - done));
            auto block = std::span(buffer).first(n);
            std::size_t have = 0;
            if (done < o.content_length) {
                have = static_cast<std::size_t>(std::min<std::uint64_t>(n, o.content_length - done));
                if (local->read_at(done, block.first(have)) != have) return job_error(msg::kCannotReadToEnd, o.local_path);
            }
            std::fill(block.begin() + static_cast<std::ptrdiff_t>(have), block.end(), std::byte{0});
            if (!out->write_at(o.offset + done, block)) return fail();
            done += n;
            progress::slow_step();
        }
    }
    if (!out->close()) return fail();
    if (file_size(target).value_or(0) < length) {
        fs::resize_file(target, length, ec);
        if (ec) return job_error(msg::kCannotWriteBecause, {target, ec.message()});
    }
    return ok_status();
}

} // namespace isorelink::host
