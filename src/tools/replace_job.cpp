#include "tools/replace_job.h"
#include "tools/image_diagnosis.h"
#include "tools/tree_sync.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <unordered_set>
#include <vector>

#include "common/messages.h"
#include "tools/file_lookup.h"
#include "tools/format_bridge.h"
#include "tools/image_layout.h"
#include "tools/job_place.h"
#include "tools/replace_folder.h"
#include "tools/replace_increment.h"
#include "tools/image_path.h"
#include "platform/file.h"
#include "format/sector.h"
#include "extract/extraction_job.h"
#include "extract/extraction_names.h"
#include "read/iso_volume.h"
#include "read/sector_listing.h"
#include "read/udf_volume.h"
#include "common/progress.h"
#include "platform/read_handle.h"
#include "rebuild/rebuild_job.h"
#include "rebuild/rebuild_names.h"
#include "platform/message_pump.h"

namespace isorelink::host {

namespace {

std::string absolute_or_empty(const std::string& path) {
    if (path.empty()) return {};
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
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

Expected<std::string> read_text_file(const std::string& path) {
    auto in = File::open(path, "rb");
    const auto size = in ? in->size() : std::nullopt;
    if (!size) return job_error(msg::kReplaceCannotRead, path);
    std::vector<std::byte> bytes(static_cast<std::size_t>(*size));
    if (in->read(bytes) != bytes.size()) return job_error(msg::kReplaceCannotRead, path);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

} // namespace

Status write_text_file(const std::string& path, const std::string& text) {
    auto out = File::open(path, "wb");
    if (!out) return job_error(msg::kReplaceCannotCreate, path);
    if (!out->write_text(text) || !out->close()) return job_error(msg::kReplaceCannotWrite, path);
    return ok_status();
}

Expected<ReplaceRequest> parse_replace_argument(std::string_view argument) {
    const auto eq = argument.find('=');
    if (eq == std::string_view::npos || eq == 0 || eq + 1 == argument.size())
        return job_error(msg::kReplaceBadRequest, argument);
    return ReplaceRequest{std::string(argument.substr(0, eq)), std::string(argument.substr(eq + 1))};
}

namespace {

// The requests of the command line, then the files of the folder that
// differ from the image's (a file named on the command line wins over the
// folder's copy).
Expected<std::vector<ReplaceRequest>> requests_with_folder(const std::vector<ReplaceRequest>& requests,
                                                           const ReplaceSettings& settings, const ImageFiles& files,
                                                           const platform::ReadHandle& image,
                                                           const std::string& image_path, ReplaceReport& report,
                                                           const std::map<std::string, SeenFile>& known,
                                                           const std::optional<SourceIdentity>& source,
                                                           std::map<std::string, SeenFile>& seen,
                                                           std::vector<std::uint64_t>& sizes) {
    if (settings.from_folder.empty()) return requests;
    auto changes = folder_changes(settings.from_folder, files, image, image_path, known,
                                  source ? &*source : nullptr);
    if (!changes) return changes.error();
    seen = std::move(changes->seen);
    std::unordered_set<std::string> asked;
    for (const auto& r : requests) asked.insert(match_key(r.iso_path));
    auto all = requests;
    for (auto& f : changes->changed) {
        if (asked.count(match_key(f.iso_path)) != 0) continue;
        all.push_back({std::move(f.iso_path), std::move(f.local_path)});
        sizes.push_back(f.size);
    }
    report.unchanged = changes->unchanged;
    return all;
}

// For --dry-run: the bytes each file kept in place may still grow there (zeros past its own sectors only).
Status measure_room(ReplacePlan& plan, const std::vector<ListingLine>& listing,
                    const std::function<Expected<std::uint64_t>(std::uint64_t, std::uint64_t)>& read_gap) {
    for (auto& f : plan.files) {
        if (f.moved) continue;
        const std::uint64_t own_end = std::uint64_t{f.old_sector} + sectors_to_hold(listing[f.line].size);
        std::uint64_t end = std::max(f.room_end, own_end);
        if (end > own_end) {
            auto data = read_gap(own_end, end);
            if (!data) return data.error();
            end = std::max(*data, own_end);
        }
        f.room_end = end;
    }
    return ok_status();
}

// The sectors where the new image may differ from the source: every sector no file that stayed keeps its
// bytes in (directories, descriptors, gaps, the replaced files and the tail), sorted and merged.
std::vector<SectorRange> sectors_that_may_differ(const std::vector<ListingLine>& listing, const ReplacePlan& plan,
                                                 const std::vector<Overlay>& overlays,
                                                 const std::vector<std::uint32_t>& metadata,
                                                 std::uint64_t source_sectors, std::uint64_t new_sectors) {
    std::vector<SectorRange> kept, written;
    std::vector<bool> replaced(listing.size(), false);
    for (const auto& f : plan.files) replaced[f.line] = true;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const auto& line = listing[i];
        if (!replaced[i] && line.size > 0) kept.push_back({line.sector, line.sector + sectors_to_hold(line.size)});
    }
    for (const auto& o : overlays) written.push_back({o.offset / 2048, sectors_to_hold(o.offset + o.length)});
    // A file that names the descriptors, a directory or the closing anchors (a dummy file over the whole
    // disc) keeps none of them out.
    for (const auto s : metadata) written.push_back({s, std::uint64_t{s} + 1});
    constexpr std::uint64_t kDescriptorArea = 300;  // system area, volume descriptors, UDF anchor at 256
    written.push_back({0, kDescriptorArea});
    written.push_back({source_sectors > kDescriptorArea ? source_sectors - kDescriptorArea : 0, source_sectors});
    return outside_of(new_sectors, kept, written);
}

Expected<ReplaceReport> replace_unguarded(const std::string& image_path, const std::vector<ReplaceRequest>& asked,
                                          const ReplaceSettings& settings, const JobPlace& place) {
    const platform::PumpWhileRunning pumping;
    const std::string& folder = place.folder();
    const std::string& name = place.name();
    auto image = platform::ReadHandle::open(image_path);
    if (!image) return job_error(msg::kReplaceCannotOpen, image_path);
    const auto image_size = image->size();
    if (!image_size) return job_error(msg::kReplaceCannotReadLength, image_path);

    std::vector<LocalFile> locals;
    for (const auto& r : asked) {
        auto local = examine_local(r.local_path);
        if (!local) return local.error();
        locals.push_back(*local);
    }

    // Where every file lives now.
    auto extraction = run_extraction(folder, name, ExtractionOptions{true});
    if (!extraction) {
        JobError refused = extraction.error();
        if (const auto answer = diagnose_image(image_path)) refused.message += "\nisorelink: " + *answer;
        return refused;
    }
    const ImageKind kind = extraction->kind;
    auto listing_text = read_text_file(extraction->names.sector_listing);
    if (!listing_text) return listing_text.error();
    auto listing = parse_sector_listing(*listing_text, kind);
    if (!listing) return listing.error();
    auto iso = read_iso_volume(*image);
    if (!iso) return with_prefix("replace: " + image_path + ": ", iso.error());
    const UdfVolume udf = kind == ImageKind::Ps2Dvd ? read_udf_volume(*image, whole_sectors(*image_size)) : UdfVolume{};

    auto names = rebuild_names(folder, name);
    if (!names) return names.error();

    // What the last run left beside the new image: whether it may be updated in place, and which files of the
    // folder need not be read again.
    const std::string record_path = increment_record_path(names->new_image);
    std::optional<IncrementRecord> previous;
    std::optional<SourceIdentity> source_id;
    if (!settings.dry_run) previous = load_increment(record_path);
    if (!settings.dry_run || !settings.from_folder.empty()) source_id = identify_source(image_path);
    const bool same_source =
        previous && source_id && previous->source == *source_id && previous->kind == to_string(kind);
    const std::string from_folder = absolute_or_empty(settings.from_folder);
    const std::map<std::string, SeenFile> no_files;
    const auto& known = same_source && previous->from_folder == from_folder ? previous->folder : no_files;
    std::map<std::string, SeenFile> seen;

    // What to replace: the files asked for, then the folder's changed ones.
    ReplaceReport report;
    const ImageFiles files(*iso, *listing);
    std::vector<std::uint64_t> folder_sizes;
    auto requests = requests_with_folder(asked, settings, files, *image, image_path, report, known, source_id, seen,
                                         folder_sizes);
    if (!requests) return requests.error();
    // The folder's files as its look found them.
    for (std::size_t i = locals.size(); i < requests->size(); ++i)
        locals.push_back({(*requests)[i].local_path, folder_sizes[i - asked.size()]});

    // Plan the new layout.
    std::vector<Replacement> replacements;
    std::vector<bool> named(listing->size(), false);
    for (std::size_t i = 0; i < requests->size(); ++i) {
        auto line = files.line_of((*requests)[i].iso_path, image_path);
        if (!line) return line.error();
        if (named[*line]) return job_error(msg::kReplaceNamedTwice, (*requests)[i].iso_path);
        named[*line] = true;
        replacements.push_back({*line, locals[i].size, locals[i].path});
    }
    std::function<Expected<std::uint64_t>(std::uint64_t, std::uint64_t)> read_gap =
        [&](std::uint64_t first, std::uint64_t end) {
            return first_sector_with_data(*image, *image_size, image_path, first, end);
        };
    LayoutInput layout{kind, *listing, metadata_sectors(*iso, udf), sectors_to_hold(*image_size),
                       iso->volume_space_size, read_gap};
    auto plan = plan_replace(layout, replacements);
    if (!plan) return plan.error();

    report.kind = kind;
    report.new_image = names->new_image;
    report.relink_list = names->relink_list;
    if (settings.dry_run) {
        if (auto measured = measure_room(*plan, *listing, read_gap); !measured) return measured.error();
        report.files = plan->files;
        report.dry_run = true;
        report.new_image_size = sector_offset(plan->new_sector_count);
        // Where it would go.
        report.new_image = settings.out_folder.empty()
                               ? cli::split_image_path(image_path).folder + "NEW-" + name
                               : (std::filesystem::path(settings.out_folder) / ("NEW-" + name)).string();
        report.relink_list.clear();
        return report;
    }

    // Write it: the copy, the new contents, the relink list; then the rebuild.
    report.files = plan->files;
    image.reset();

    // From here the image changes: no record may vouch for it until it is done.
    if (!remove_increment(record_path)) return job_error(msg::kReplaceCannotWrite, record_path);
    const auto overlays = overlays_of(*plan);
    std::uint64_t new_size = 0;
    std::int64_t new_mtime = 0;
    std::error_code link_ec;
    if (same_source && !std::filesystem::is_symlink(report.new_image, link_ec) &&
        stat_file(report.new_image, new_size, new_mtime) && new_size == previous->image_size &&
        new_mtime == previous->image_mtime) {
        // The new image is the one the last run wrote from this source: only what differs is written.
        if (auto updated = update_in_place(image_path, report.new_image, previous->differs, overlays); !updated)
            return with_prefix("replace: ", updated.error());
        report.in_place = true;
    } else {
        // One pass in file order: the source's bytes where they stay, the new
        // contents in their place (never copied first and written over).
        auto written = write_overlaid_copy(image_path, report.new_image, overlays, settings.quiet);
        if (!written) return with_prefix("replace: ", written.error());
        report.copy_method = written->method;
    }
    report.written_size = file_size(report.new_image).value_or(0);
    if (auto relink = write_text_file(report.relink_list, format_sector_listing(plan->relink_lines, kind)); !relink)
        return relink.error();
    auto rebuilt = run_rebuild(folder, name, RebuildOptions{true});
    if (!rebuilt) return rebuilt.error();
    std::vector<TreeMove> moves;
    for (const auto& f : report.files) moves.push_back({f.path, f.old_sector, f.old_size, f.new_sector, f.new_size});
    if (auto synced = sync_other_trees(report.new_image, rebuilt->kind, moves); !synced) return synced.error();
    report.lines_applied = rebuilt->lines_applied;
    report.new_image_size = file_size(report.new_image).value_or(rebuilt->new_image_size);

    report.may_differ = sectors_that_may_differ(*listing, *plan, overlays, metadata_sectors(*iso, udf),
                                                sectors_to_hold(*image_size), sectors_to_hold(report.new_image_size));

    // The record, last.
    if (source_id) {
        auto differs = differing_ranges(image_path, report.new_image, report.may_differ);
        IncrementRecord record;
        if (differs && stat_file(report.new_image, record.image_size, record.image_mtime)) {
            record.source = *source_id;
            record.kind = std::string(to_string(kind));
            record.from_folder = from_folder;
            record.differs = std::move(*differs);
            // A file changed within the file system's time granularity of the run would look unchanged next time:
            // only files that last changed before that are remembered.
            const std::int64_t recent =
                std::chrono::duration_cast<std::chrono::nanoseconds>(
                    (std::chrono::system_clock::now() - std::chrono::seconds(2)).time_since_epoch())
                    .count();
            for (const auto& [path, file] : seen)
                if (file.changed != 0 && file.changed < recent) record.folder[path] = file;
            save_increment(record_path, record);  // without it the next run copies in full
        }
    }
    return report;
}

} // namespace

Expected<ReplaceReport> run_replace(const std::string& image_path, const std::vector<ReplaceRequest>& requests,
                                    bool quiet, GuardOptions options) {
    ReplaceSettings settings;
    settings.quiet = quiet;
    settings.guard = options;
    return run_replace(image_path, requests, settings);
}

Expected<ReplaceReport> run_replace(const std::string& image_path, const std::vector<ReplaceRequest>& requests,
                                    const ReplaceSettings& settings) {
    if (requests.empty() && settings.from_folder.empty()) return job_error(msg::kReplaceNothing);
    std::error_code ec;
    if (!settings.from_folder.empty() && !std::filesystem::is_directory(settings.from_folder, ec))
        return job_error(msg::kReplaceFromNotFolder, settings.from_folder);  // before anything is written
    const bool folder_options = !settings.from_folder.empty() || !settings.out_folder.empty() || settings.dry_run;
    if (!folder_options) {
        if (auto other = replace_other_format(image_path, requests, settings.quiet, settings.guard))
            return std::move(*other);
    } else if (auto refusal = plain_image_required(image_path)) {
        return *refusal;  // --from, --out and --dry-run work on a 2,048-byte image
    }
    if (settings.dry_run) {
        // The listings go to a private temporary folder: nothing is written beside the image or in --out.
        auto place = JobPlace::temporary(image_path);
        if (!place) return place.error();
        return replace_unguarded(image_path, requests, settings, *place);
    }
    auto place = JobPlace::at(image_path, settings.out_folder);
    if (!place) return place.error();
    const std::string& folder = place->folder();
    const std::string& name = place->name();
    const auto listings = extraction_names(folder, name);
    if (!listings) return listings.error();
    const auto rebuild = rebuild_names(folder, name);
    if (!rebuild) return rebuild.error();
    // Everything the run may create, truncate or delete beside the image.
    const std::vector<std::string> products{listings->sector_listing, listings->file_listing, listings->record_file,
                                            rebuild->new_image, rebuild->relink_list,
                                            increment_record_path(rebuild->new_image)};
    std::vector<std::string> outputs = products;
    outputs.push_back(listings->header_copy);
    outputs.push_back(listings->path_table_copy);
    OutputGuard guard(folder, outputs, settings.guard);
    if (auto allowed = guard.check("replace"); !allowed) return allowed.error();

    auto report = replace_unguarded(image_path, requests, settings, *place);
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
        } else if (report.dry_run) {
            const std::uint64_t room = sector_offset(f.room_end) - sector_offset(f.new_sector) - f.new_size;
            text += " (";
            text += counted(room, "byte", "bytes");
            text += " of room left)";
        }
        text += '\n';
    }
    if (report.unchanged > 0) {
        text += counted(report.unchanged, "file", "files");
        text += report.unchanged == 1 ? " of the folder holds" : " of the folder hold";
        text += " the image's bytes: not replaced\n";
    }
    if (report.dry_run) {
        text += "dry run: nothing written; ";
        text += report.new_image;
        text += " would hold ";
        text += counted(whole_sectors(report.new_image_size), "sector", "sectors");
        text += " before the rebuild\n";
        return text;
    }
    text += "wrote " + report.relink_list + "\n";
    text += std::string(to_string(report.kind));
    text += " image, ";
    text += counted(report.lines_applied, "relink line", "relink lines");
    text += " applied; ";
    // Another format's file is told by its note below; this line then gives the image's own numbers.
    text += (report.container_note.empty() ? "wrote " + report.new_image : std::string("the image")) + " (" +
            counted(report.new_image_size, "byte", "bytes") + ", " +
            counted(whole_sectors(report.new_image_size), "sector", "sectors");
    if (report.new_image_size > report.written_size)
        text += ", of which " + std::to_string(whole_sectors(report.new_image_size - report.written_size)) +
                " post-gap sectors the rebuild appended";
    text += ")\n";
    if (report.in_place) text += "updated in place: only what changed since the last run was written\n";
    text += report.container_note;
    return text;
}

} // namespace isorelink::host
