#include "rebuild/rebuild_job.h"

#include <cstdint>
#include <span>
#include <vector>

#include "platform/file.h"
#include "common/messages.h"
#include "format/sector.h"
#include "platform/file_identity.h"
#include "platform/message_pump.h"
#include "rebuild/entry_read_ahead.h"
#include "rebuild/new_image_kind.h"
#include "read/image_kind_probe.h"
#include "read/partition_start_scan.h"
#include "read/udf_generic_walk.h"
#include "rebuild/patch_plan.h"
#include "rebuild/record_patch.h"
#include "rebuild/relink_list.h"
#include "rebuild/volume_end.h"

namespace isorelink {

namespace {

// The extraction job writes 12 bytes per listed file into the record file.
constexpr std::uint64_t kRecordSize = 12;

// The new image is patched in place: it must not be the source image, nor a
// file the job reads its lines and their count from.
Status refuse_own_files(const RebuildNames& names, const std::string& source_image) {
    const auto image = platform::file_identity(names.new_image);
    if (!image) return ok_status();
    for (const std::string* own : {&source_image, &names.relink_list, &names.record_file}) {
        if (platform::file_identity(*own) == image) return job_error(msg::kNewImageIsJobFile, *own);
    }
    return ok_status();
}

Expected<File> open_new_image(const std::string& path) {
    auto image = File::open(path, "r+b");
    if (!image) return job_error(msg::kOpenNewImage, path);
    return std::move(*image);
}

Expected<File> open_relink_list(const std::string& path) {
    auto list = File::open(path, "rb");
    if (!list) return job_error(msg::kOpenRelinkList, path);
    return std::move(*list);
}

// Only the record file's length counts: n = length / 12.
Expected<std::uint32_t> record_count(const std::string& path) {
    auto records = File::open(path, "rb");
    if (!records) return job_error(msg::kOpenRecordFile, path);
    const auto length = records->size();
    if (!length) return job_error(msg::kRebuildInternal, path);
    const std::uint64_t count = *length / kRecordSize;
    return count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count);
}

Expected<std::uint64_t> image_length(File& image, const std::string& path) {
    const auto length = image.size();
    if (!length) return job_error(msg::kRebuildInternal, path);
    return *length;
}

// Names the sectors each line's patch targets touch: the sectors of its
// directory record's 16 bytes and, on a PS2 DVD, the sector of its File
// Entry, each target naming a sector once.
void name_sectors_to_patch(PatchPlan& plan, const RelinkLines& lines, ImageKind kind) {
    for (const auto& line : lines) {
        const std::uint64_t first = whole_sectors(line.record_field);
        const std::uint64_t last = whole_sectors(std::uint64_t{line.record_field} + 15);
        plan.name(first);
        if (last != first) plan.name(last);
        if (kind == ImageKind::Ps2Dvd) plan.name(whole_sectors(line.descriptor));
        progress::tick();
    }
    plan.prepare();
}

// Plans every line, then writes them all, or nothing when one line is refused.
Status apply_relink_lines(File& image, std::uint64_t length, const RelinkLines& lines,
                          ImageKind kind, std::uint32_t partition_start, const RebuildNames& names) {
    PatchPlan plan(image, length, names.new_image);
    name_sectors_to_patch(plan, lines, kind);
    EntryReseals entries(image, length, names.new_image);
    if (kind == ImageKind::Ps2Dvd) entries.reserve(lines.size());
    const EntryReadAhead read_ahead(plan, lines, kind);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        read_ahead.before(i);
        const auto& line = lines[i];
        if (const auto verdict = apply_relink_line(plan, entries, line, kind, partition_start);
            verdict != LineVerdict::Applied)
            return invalid_relink_line(static_cast<std::uint32_t>(i + 1), names.relink_list, refusal_reason(verdict));
        progress::tick();
    }
    platform::pump_messages();
    const bool committed = plan.commit() && entries.commit();
    if (!committed || !image.close()) return job_error(msg::kRebuildInternal, names.new_image);
    return ok_status();
}

ImageReader file_reader(File& image) {
    return [&image](std::uint64_t offset, std::span<std::byte> out) { return image.read_at(offset, out) == out.size(); };
}

// A kind the two bytes do not name, on an image with a sound UDF partition.
bool unnamed_kind_with_udf_bridge(File& image, std::uint64_t length) {
    if (detect_image_kind(image, ImageKind::Ps2Cd) == detect_image_kind(image, ImageKind::PspUmd)) return false;
    return find_udf_partition(file_reader(image), length).has_value();
}

} // namespace

Expected<RebuildSummary> run_rebuild(std::string_view folder, std::string_view image_name, RebuildOptions options) {
    const platform::PumpWhileRunning pumping;
    platform::pump_messages();
    auto names = rebuild_names(folder, image_name);
    if (!names) return names.error();
    if (image_name.empty()) return job_error(msg::kNoImageRebuild);

    RebuildSummary summary;
    summary.names = std::move(*names);
    const auto& paths = summary.names;

    if (auto own = refuse_own_files(paths, std::string(folder) + std::string(image_name)); !own) return own.error();
    auto image = open_new_image(paths.new_image);
    if (!image) return image.error();
    const auto length = image_length(*image, paths.new_image);
    if (!length) return length.error();
    const auto kind = new_image_kind(*image, *length, paths.new_image);
    if (!kind) return kind.error();
    summary.kind = *kind;
    if (options.accept_udf_bridge && summary.kind == ImageKind::PspUmd && unnamed_kind_with_udf_bridge(*image, *length))
        summary.kind = ImageKind::Ps2Dvd;

    auto list = open_relink_list(paths.relink_list);
    if (!list) return list.error();
    const auto count = record_count(paths.record_file);
    if (!count) return count.error();
    summary.record_count = *count;

    if (summary.kind == ImageKind::Ps2Dvd) {
        auto start = find_partition_start(*image, paths.new_image);
        if (!start && options.accept_udf_bridge) {
            // The partition the UDF anchor leads to, where no File Set
            // Descriptor carries its charset on the console's grid.
            if (const auto partition = find_udf_partition(file_reader(*image), *length)) start = partition->start;
        }
        if (!start) return start.error();
        summary.partition_start = *start;
    }

    const auto lines = read_relink_list(*list, paths.relink_list, summary.kind, summary.record_count);
    if (!lines) return lines.error();
    list->close();
    const auto applied =
        apply_relink_lines(*image, *length, *lines, summary.kind, summary.partition_start, summary.names);
    if (!applied) return applied.error();
    summary.lines_applied = static_cast<std::uint32_t>(lines->size());

    const auto end = finish_volume(summary.kind, paths.new_image, summary.partition_start);
    if (!end) return end.error();
    summary.new_image_size = end->image_size;
    summary.volume_size = end->volume_size;
    return summary;
}

} // namespace isorelink
