#include "tools/replace_job.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "common/messages.h"
#include "tools/format_bridge.h"
#include "tools/image_path.h"
#include "platform/file.h"
#include "format/sector.h"
#include "extract/extraction_job.h"
#include "extract/extraction_names.h"
#include "read/iso_volume.h"
#include "read/sector_listing.h"
#include "read/udf_volume.h"
#include "platform/message_pump.h"
#include "platform/read_handle.h"
#include "rebuild/rebuild_job.h"
#include "rebuild/rebuild_names.h"

namespace isorelink::host {

namespace {

std::string match_key(std::string_view path) {
    auto key = normalise_iso_path(path);
    if (key.size() > 1 && key.back() == '.') key.pop_back();  // "README." and "README" name the same file
    return key;
}

struct LocalFile {
    std::string path;
    std::uint64_t size = 0;
};

Expected<LocalFile> examine_local(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return job_error(msg::kReplaceFolderGiven, path);
    auto file = File::open(path, "rb");
    if (!file) return job_error(msg::kReplaceCannotRead, path);
    const auto size = file->size();
    if (!size) return job_error(msg::kReplaceCannotRead, path);
    return LocalFile{path, *size};
}

// The listing line of the file the user named.
Expected<std::size_t> find_line(const std::string& asked, const IsoVolume& volume,
                                const std::vector<ListingLine>& listing, const std::string& image) {
    const auto key = match_key(asked);
    const IsoFile* record = nullptr;
    for (const auto& f : volume.files) {
        platform::yield_to_host();
        if (match_key(f.path) == key) {
            record = &f;
            break;
        }
    }
    std::optional<std::size_t> line;
    if (record != nullptr) {
        for (std::size_t i = 0; i < listing.size(); ++i)
            if (std::uint64_t{listing[i].extent_field} == record->record_offset + 2) line = i;
    } else {
        for (std::size_t i = 0; i < listing.size() && !line; ++i) {
            platform::yield_to_host();
            if (match_key(listing[i].path) == key) line = i;
        }
        if (line)
            for (const auto& f : volume.files)
                if (f.record_offset + 2 == listing[*line].extent_field) record = &f;
    }
    if (record == nullptr && !line) return job_error(msg::kReplaceNotInImage, {asked, image});
    if (record != nullptr && record->multi_extent)
        return job_error(msg::kReplaceMultiExtent, asked);
    if (!line) return job_error(msg::kReplaceNotListed, asked);
    return *line;
}

std::vector<std::uint32_t> metadata_sectors(const IsoVolume& iso, const UdfVolume& udf) {
    std::vector<std::uint32_t> sectors;
    for (const auto& d : iso.directories) sectors.push_back(d.sector);
    for (auto s : iso.path_table_sectors)
        if (s != 0) sectors.push_back(s);
    if (udf.found) {
        sectors.push_back(udf.partition_start);
        for (const auto& f : udf.files) sectors.push_back(f.entry_sector);
    }
    return sectors;
}

// The first sector in [first, end) of the source holding a byte other than zero; `end` when none does. Reads
// at most 1 MiB at a time; bytes past the source's end count as zeros, as the copy leaves them.
Expected<std::uint64_t> first_sector_with_data(const platform::ReadHandle& image, std::uint64_t image_size,
                                               const std::string& image_path, std::uint64_t first,
                                               std::uint64_t end) {
    constexpr std::uint64_t kChunkSectors = 512;
    std::vector<std::byte> chunk;
    for (std::uint64_t sector = first; sector < end; sector += kChunkSectors) {
        platform::yield_to_host();
        const std::uint64_t count = std::min(kChunkSectors, end - sector);
        const std::uint64_t from = sector_offset(sector);
        if (from >= image_size) break;
        chunk.resize(static_cast<std::size_t>(std::min(sector_offset(count), image_size - from)));
        if (!image.read_exact_at(from, chunk))
            return job_error(msg::kReplaceCannotReadSector, {std::to_string(sector), image_path});
        const auto hit = std::find_if(chunk.begin(), chunk.end(), [](std::byte b) { return b != std::byte{0}; });
        if (hit != chunk.end()) return sector + whole_sectors(static_cast<std::uint64_t>(hit - chunk.begin()));
    }
    return end;
}

// Where each file's new content goes in the new image: its bytes, then
// zeros up to the end of the sectors it clears.
std::vector<Overlay> overlays_of(const ReplacePlan& plan) {
    std::vector<Overlay> overlays;
    for (const auto& file : plan.files) {
        const std::uint64_t start = sector_offset(file.new_sector);
        const std::uint64_t end = std::max(start + file.new_size, sector_offset(file.clear_until));
        overlays.push_back({start, end - start, file.local_path, file.new_size});
    }
    return overlays;
}

Status write_text_file(const std::string& path, const std::string& text) {
    auto out = File::open(path, "wb");
    if (!out) return job_error(msg::kReplaceCannotCreate, path);
    if (!out->write_text(text) || !out->close()) return job_error(msg::kReplaceCannotWrite, path);
    return ok_status();
}

Expected<std::string> read_text_file(const std::string& path) {
    auto in = File::open(path, "rb");
    const auto size = in ? in->size() : std::nullopt;
    if (!size) return job_error(msg::kReplaceCannotRead, path);
    std::vector<std::byte> bytes(static_cast<std::size_t>(*size));
    if (in->read(bytes) != bytes.size()) return job_error(msg::kReplaceCannotRead, path);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

} // namespace

Expected<ReplaceRequest> parse_replace_argument(std::string_view argument) {
    const auto eq = argument.find('=');
    if (eq == std::string_view::npos || eq == 0 || eq + 1 == argument.size())
        return job_error(msg::kReplaceBadRequest, argument);
    return ReplaceRequest{std::string(argument.substr(0, eq)), std::string(argument.substr(eq + 1))};
}

namespace {

Expected<ReplaceReport> replace_unguarded(const std::string& image_path, const std::vector<ReplaceRequest>& requests,
                                          bool quiet) {
    const auto [folder, name] = cli::split_image_path(image_path);
    auto image = platform::ReadHandle::open(image_path);
    if (!image) return job_error(msg::kReplaceCannotOpen, image_path);
    const auto image_size = image->size();
    if (!image_size) return job_error(msg::kReplaceCannotReadLength, image_path);

    std::vector<LocalFile> locals;
    for (const auto& r : requests) {
        auto local = examine_local(r.local_path);
        if (!local) return local.error();
        locals.push_back(*local);
    }

    // Where every file lives now.
    auto extraction = run_extraction(folder, name);
    if (!extraction) return extraction.error();
    const ImageKind kind = extraction->kind;
    auto listing_text = read_text_file(extraction->names.sector_listing);
    if (!listing_text) return listing_text.error();
    auto listing = parse_sector_listing(*listing_text, kind);
    if (!listing) return listing.error();
    auto iso = read_iso_volume(*image);
    if (!iso) return with_prefix("replace: " + image_path + ": ", iso.error());
    const UdfVolume udf = kind == ImageKind::Ps2Dvd ? read_udf_volume(*image, whole_sectors(*image_size)) : UdfVolume{};

    // Plan the new layout.
    std::vector<Replacement> replacements;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        auto line = find_line(requests[i].iso_path, *iso, *listing, image_path);
        if (!line) return line.error();
        for (const auto& earlier : replacements)
            if (earlier.line == *line)
                return job_error(msg::kReplaceNamedTwice, requests[i].iso_path);
        replacements.push_back({*line, locals[i].size, locals[i].path});
    }
    auto read_gap = [&](std::uint64_t first, std::uint64_t end) {
        return first_sector_with_data(*image, *image_size, image_path, first, end);
    };
    LayoutInput layout{kind, *listing, metadata_sectors(*iso, udf), sectors_to_hold(*image_size),
                       iso->volume_space_size, read_gap};
    auto plan = plan_replace(layout, replacements);
    if (!plan) return plan.error();

    // Write it: the copy, the new contents, the relink list; then the rebuild.
    auto names = rebuild_names(folder, name);
    if (!names) return names.error();
    ReplaceReport report;
    report.kind = kind;
    report.new_image = names->new_image;
    report.relink_list = names->relink_list;
    report.files = plan->files;
    image.reset();

    // One pass in file order: the source's bytes where they stay, the new
    // contents in their place (never copied first and written over).
    auto written = write_overlaid_copy(image_path, report.new_image, overlays_of(*plan), quiet);
    if (!written) return with_prefix("replace: ", written.error());
    report.copy_method = written->method;
    report.written_size = file_size(report.new_image).value_or(0);
    if (auto relink = write_text_file(report.relink_list, format_sector_listing(plan->relink_lines, kind)); !relink)
        return relink.error();
    auto rebuilt = run_rebuild(folder, name);
    if (!rebuilt) return rebuilt.error();
    report.lines_applied = rebuilt->lines_applied;
    report.new_image_size = file_size(report.new_image).value_or(rebuilt->new_image_size);
    return report;
}

} // namespace

Expected<ReplaceReport> run_replace(const std::string& image_path, const std::vector<ReplaceRequest>& requests,
                                    bool quiet, GuardOptions options) {
    if (requests.empty()) return job_error(msg::kReplaceNothing);
    if (auto other = replace_other_format(image_path, requests, quiet, options)) return std::move(*other);
    const auto [folder, name] = cli::split_image_path(image_path);
    const auto listings = extraction_names(folder, name);
    if (!listings) return listings.error();
    const auto rebuild = rebuild_names(folder, name);
    if (!rebuild) return rebuild.error();
    // Everything the run may create, truncate or delete beside the image.
    const std::vector<std::string> products{listings->sector_listing, listings->file_listing, listings->record_file,
                                            rebuild->new_image, rebuild->relink_list};
    std::vector<std::string> outputs = products;
    outputs.push_back(listings->header_copy);
    outputs.push_back(listings->path_table_copy);
    OutputGuard guard(folder, outputs, options);
    if (auto allowed = guard.check("replace"); !allowed) return allowed.error();

    auto report = replace_unguarded(image_path, requests, quiet);
    if (!report) {
        const auto cleaned = guard.failed();
        return cleaned.empty() ? report.error() : JobError{report.error().kind, report.error().message + "\n" + cleaned};
    }
    guard.succeeded(products, {listings->header_copy, listings->path_table_copy});
    return report;
}

std::string describe_replace(const ReplaceReport& report) {
    std::string text;
    char line[160];
    for (const auto& f : report.files) {
        std::snprintf(line, sizeof line, "%s sector %u, %u bytes -> sector %u, %u bytes",
                      f.moved ? "moved   " : "in place", f.old_sector, f.old_size, f.new_sector, f.new_size);
        // Appended piece by piece: GCC 12 at -O3 warns (falsely) about a
        // literal put in front of a temporary string.
        text += line;
        text += "  ";
        text += f.path;
        if (f.moved) {
            text += ' ';
            text += why_moved(f);
        }
        text += '\n';
    }
    text += "wrote " + report.relink_list + "\n";
    std::snprintf(line, sizeof line, "%s image, %u relink lines applied; ", std::string(to_string(report.kind)).c_str(),
                  report.lines_applied);
    text += line;
    // Another format's file is told by its note below; this line then gives the image's own numbers.
    text += (report.container_note.empty() ? "wrote " + report.new_image : std::string("the image")) + " (" +
            std::to_string(report.new_image_size) + " bytes, " +
            std::to_string(whole_sectors(report.new_image_size)) + " sectors";
    if (report.new_image_size > report.written_size)
        text += ", of which " + std::to_string(whole_sectors(report.new_image_size - report.written_size)) +
                " post-gap sectors the rebuild appended";
    text += ")\n";
    text += report.container_note;
    return text;
}

} // namespace isorelink::host
