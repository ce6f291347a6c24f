#include "tools/verify_image.h"

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <string_view>

#include "common/messages.h"
#include "tools/format_bridge.h"
#include "format/sector.h"
#include "read/iso_volume.h"
#include "read/udf_volume.h"
#include "tools/counted.h"
#include "tools/tree_agreement.h"
#include "platform/read_handle.h"
#include "platform/message_pump.h"

namespace isorelink::host {

namespace {

constexpr std::string_view kPostGapMarker = "postgap";

// The UDF files by the key of their path, the first file of each key: an
// open-addressed table of indices over one string of keys, a few megabytes
// for the largest disc, looked up in a step or two.
class UdfByKey {
public:
    explicit UdfByKey(const std::vector<UdfFile>& files) : files_(files), taken_(files.size(), false) {
        starts_.reserve(files.size() + 1);
        for (const auto& f : files) {
            starts_.push_back(keys_.size());
            append_normalised_iso_path(keys_, f.path);
        }
        starts_.push_back(keys_.size());
        std::size_t slots = 16;
        while (slots < 2 * files.size()) slots *= 2;
        slots_.assign(slots, kEmpty);
        first_.assign(files.size(), false);
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::size_t& slot = slot_of(key(i));
            if (slot == kEmpty) slot = i, first_[i] = true;
        }
    }

    // The file of this key, unless taken already; takes it. A directory's
    // files come in the same order on both sides: the file after the one
    // taken last is tried first, a step through memory already at hand.
    const UdfFile* take(std::string_view key) {
        std::size_t i = next_;
        if (!(i < files_.size() && first_[i] && this->key(i) == key)) i = slot_of(key);
        if (i == kEmpty || taken_[i]) return nullptr;
        taken_[i] = true;
        next_ = i + 1;
        return &files_[i];
    }

    // The files of the table never taken, by key.
    std::vector<const UdfFile*> left() const {
        std::vector<std::size_t> left;
        for (const std::size_t i : slots_)
            if (i != kEmpty && !taken_[i]) left.push_back(i);
        std::sort(left.begin(), left.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
        std::vector<const UdfFile*> files;
        for (const std::size_t i : left) files.push_back(&files_[i]);
        return files;
    }

private:
    static constexpr std::size_t kEmpty = std::numeric_limits<std::size_t>::max();

    std::string_view key(std::size_t i) const {
        return std::string_view(keys_).substr(starts_[i], starts_[i + 1] - starts_[i]);
    }

    // The slot holding this key, or the empty one where it would go.
    std::size_t& slot_of(std::string_view key) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = std::hash<std::string_view>{}(key) & mask;; at = (at + 1) & mask)
            if (slots_[at] == kEmpty || this->key(slots_[at]) == key) return slots_[at];
    }

    const std::vector<UdfFile>& files_;
    std::string keys_;                 // every file's key, one after another
    std::vector<std::size_t> starts_;  // where each begins, and the end
    std::vector<std::size_t> slots_;   // file indices; at most half of them used
    std::vector<bool> first_;  // the file the table holds for its key
    std::vector<bool> taken_;
    std::size_t next_ = 0;     // the file after the one taken last
};

void check_volume_size(const IsoVolume& iso, std::vector<std::string>& problems) {
    const std::uint64_t sectors = whole_sectors(iso.image_size);
    if (!on_sector_boundary(iso.image_size))
        problems.push_back("the file's length (" + std::to_string(iso.image_size) +
                           " bytes) is not a whole number of sectors");
    if (iso.volume_space_size != sectors)
        problems.push_back("volume space size is " + std::to_string(iso.volume_space_size) +
                           " sectors but the file holds " + std::to_string(sectors) + " sectors");
}

void check_extents(const IsoVolume& iso, std::vector<std::string>& problems) {
    const std::uint64_t sectors = whole_sectors(iso.image_size);
    for (const auto& f : iso.files) {
        const std::uint64_t end = std::uint64_t{f.sector} + sectors_to_hold(f.size);
        if (f.size > 0 && end > sectors)
            problems.push_back(f.path + ": data past the end of the image: trimmed? (sectors " +
                               std::to_string(f.sector) + "-" + std::to_string(end - 1) + ", the image holds " +
                               std::to_string(sectors) + ")");
        else if (f.size == 0 && f.sector > sectors)
            problems.push_back(f.path + ": an empty file recorded past the end of the image: trimmed? (sector " +
                               std::to_string(f.sector) + ", the image holds " + std::to_string(sectors) + ")");
    }
}

void check_overlaps(const IsoVolume& iso, std::vector<std::string>& problems) {
    std::vector<const IsoFile*> files;
    for (const auto& f : iso.files)
        if (f.size > 0) files.push_back(&f);
    std::stable_sort(files.begin(), files.end(), [](auto* a, auto* b) { return a->sector < b->sector; });
    const IsoFile* reach = nullptr;  // the file whose extent ends furthest so far
    std::uint64_t reach_end = 0;
    for (const auto* f : files) {
        if (reach != nullptr && f->sector < reach_end)
            problems.push_back(f->path + " (sector " + std::to_string(f->sector) + ") overlaps " + reach->path +
                               " (sectors " + std::to_string(reach->sector) + "-" + std::to_string(reach_end - 1) + ")");
        const std::uint64_t end = std::uint64_t{f->sector} + sectors_to_hold(f->size);
        if (end > reach_end) {
            reach_end = end;
            reach = f;
        }
    }
}

void check_udf(const IsoVolume& iso, const UdfVolume& udf, std::vector<std::string>& problems) {
    problems.insert(problems.end(), udf.problems.begin(), udf.problems.end());
    if (!udf.found) return;
    UdfByKey by_key(udf.files);
    const std::uint64_t partition_end = std::uint64_t{udf.partition_start} + udf.partition_length;
    std::string key;
    for (const auto& f : iso.files) {
        if (f.multi_extent) continue;  // one UDF entry with several extents; not a PS2 layout
        key.clear();
        append_normalised_iso_path(key, f.path);
        const UdfFile* found = by_key.take(key);
        if (found == nullptr) {
            problems.push_back(f.path + ": the UDF side has no such file");
            continue;
        }
        const UdfFile& u = *found;
        if (u.size != f.size)
            problems.push_back(f.path + ": ISO 9660 says " + std::to_string(f.size) + " bytes, UDF says " +
                               std::to_string(u.size));
        if (f.size > 0 && u.sector != f.sector)
            problems.push_back(f.path + ": ISO 9660 says sector " + std::to_string(f.sector) + ", UDF says " +
                               std::to_string(u.sector) + " (partition start " + std::to_string(udf.partition_start) +
                               ")");
        if (f.size > 0 && u.recorded_blocks != sectors_to_hold(u.size))
            problems.push_back(f.path + ": its File Entry records " + std::to_string(u.recorded_blocks) +
                               " blocks for " + std::to_string(u.size) + " bytes");
        if (f.size > 0 && u.sector + sectors_to_hold(u.size) > partition_end)
            problems.push_back(f.path + ": lies beyond the UDF partition's end (sector " +
                               std::to_string(partition_end) + ")");
    }
    for (const UdfFile* u : by_key.left()) problems.push_back(u->path + ": the ISO 9660 side has no such file");
}

bool ends_with_post_gap(const ImageSource& image, std::uint64_t size) {
    std::array<std::byte, kPostGapMarker.size()> tail{};
    if (size < sector_offset(150) || !image.read_exact_at(size - tail.size(), tail)) return false;
    return std::equal(tail.begin(), tail.end(), kPostGapMarker.begin(),
                      [](std::byte b, char c) { return std::to_integer<char>(b) == c; });
}

} // namespace

Expected<VerifyReport> verify_image(const std::string& image_path) {
    const platform::PumpWhileRunning pumping;
    auto opened = open_image_source(image_path);
    if (!opened) return with_prefix("verify: ", opened.error());
    const ImageSource& image = **opened;
    auto iso = read_iso_volume(image);
    if (!iso) return with_prefix("verify: " + image_path + ": ", iso.error());

    VerifyReport report;
    auto& problems = report.problems;
    problems = iso->problems;
    check_volume_size(*iso, problems);
    check_extents(*iso, problems);
    check_overlaps(*iso, problems);
    // An image whose kind bytes name no kind but which carries a UDF bridge
    // is the PS2 DVD the CLI lists and rebuilds it as.
    const bool bridge = !iso->kind_recognised && carries_udf_bridge(image, iso->image_size);
    const bool dvd = (iso->kind_recognised && iso->kind == ImageKind::Ps2Dvd) || bridge;
    UdfVolume udf;
    if (dvd) {
        udf = read_udf_volume(image, whole_sectors(iso->image_size));
        if (!udf.found && udf.problems.empty()) problems.push_back("UDF: no volume found from the anchor at 256");
        check_udf(*iso, udf, problems);
    }

    // The trees beside the primary one; a PS2 DVD's UDF side was checked above.
    const auto trees = check_other_trees(image, *iso, !dvd, problems);

    std::string kind = bridge ? "PS2 DVD (UDF bridge)"
                              : iso->kind_recognised ? std::string(to_string(iso->kind)) : "unrecognised kind";
    report.summary = image_path + ": " + kind + ", " + counted(iso->files.size(), "file", "files") + ", " +
                     counted(iso->volume_space_size, "sector", "sectors");
    check_container(image, problems, false);
    if (ends_with_post_gap(image, iso->image_size)) report.summary += " (post-gap included)";
    if (dvd) report.summary += ", UDF bridge agrees (partition at " + std::to_string(udf.partition_start) + ")";
    for (const auto& tree : trees) report.summary += ", " + tree + " checked";
    report.summary += problems.empty() ? ": consistent" : ": " + counted(problems.size(), "problem", "problems");
    report.recognised = iso->kind_recognised || bridge;
    if (!report.recognised)
        report.skipped = "not a PS2 or PSP image (its kind bytes name no kind and it carries no UDF bridge): the PS2 "
                         "DVD's UDF bridge check was skipped";
    return report;
}

} // namespace isorelink::host
