#include "rebuild/record_patch.h"

#include <optional>

#include "common/messages.h"
#include "format/iso9660/directory_record.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/entry_layout.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"

namespace isorelink {

namespace {

// The File Entry (or Extended File Entry) that opens the sector holding D,
// and where its fields lie by the lengths it records: D must be one of its
// allocation descriptors, or, in an entry that records none (an empty file),
// the place its first one would take.
std::optional<EntryEdit> locate_entry(PatchPlan& plan, std::uint32_t d, std::uint32_t size) {
    EntryEdit edit;
    const std::uint64_t sector = whole_sectors(d);
    const auto within = static_cast<std::size_t>(d - sector_offset(sector));
    // A whole sector: not the image's trailing part of one.
    if (sector_offset(sector) + kSectorSize > plan.image_size()) return std::nullopt;
    const auto bytes = plan.view(sector_offset(sector), kSectorSize);
    if (!bytes) return std::nullopt;
    const auto tag = udf::decode_tag(*bytes);
    const auto layout = udf::entry_layout(*bytes);
    if (!layout || udf::tag::kSize + tag.crc_length > kSectorSize) return std::nullopt;
    const std::size_t step = layout->descriptor_size();
    if (step == 0) return std::nullopt;  // the data lies in the entry: no extent to move
    if (layout->descriptors_length == 0 && within == layout->descriptors) {
        if (size == 0) {
            edit.no_descriptor = true;
        } else {
            // The descriptor joins the end of what the tag covers.
            if (layout->descriptors + step > kSectorSize || udf::tag::kSize + tag.crc_length != layout->descriptors)
                return std::nullopt;
            edit.add_descriptor = static_cast<std::uint8_t>(step);
        }
    } else if (within < layout->descriptors || within + step > layout->end() ||
               (within - layout->descriptors) % step != 0) {
        return std::nullopt;
    }
    edit.sector = static_cast<std::uint32_t>(sector);
    edit.descriptor = static_cast<std::uint16_t>(within);
    edit.crc_length = tag.crc_length;
    edit.extended = layout->extended;
    return edit;
}

// D + 8 inside the image, and not before the first place any entry's
// descriptors can begin.
bool descriptor_inside_image(std::uint32_t d, std::uint64_t image_size) {
    return d >= udf::fe::kExtendedAttributes && std::uint64_t{d} + udf::short_ad::kSize <= image_size;
}

void patch_directory_record(PatchPlan& plan, const RelinkLine& line) {
    // The 16 bytes at C: A, A big-endian, B, B big-endian.
    plan.write(line.record_field, extent_and_length_patch(line.sector, line.size));
}

} // namespace

std::string_view refusal_reason(LineVerdict verdict) {
    switch (verdict) {
    case LineVerdict::Applied: break;
    case LineVerdict::RecordOutsideImage: return msg::relink_refusal::kRecordOutsideImage;
    case LineVerdict::DescriptorOutsideImage: return msg::relink_refusal::kDescriptorOutsideImage;
    case LineVerdict::BelowPartition: return msg::relink_refusal::kBelowPartition;
    case LineVerdict::NoFileEntry: return msg::relink_refusal::kNoFileEntry;
    }
    return {};
}

LineVerdict apply_relink_line(PatchPlan& plan, EntryReseals& entries, const RelinkLine& line, ImageKind kind,
                              std::uint32_t partition_start) {
    if (std::uint64_t{line.record_field} + iso::dr::kPatchedBytes > plan.image_size())
        return LineVerdict::RecordOutsideImage;
    if (kind != ImageKind::Ps2Dvd) {
        patch_directory_record(plan, line);
        return LineVerdict::Applied;
    }
    if (!descriptor_inside_image(line.descriptor, plan.image_size())) return LineVerdict::DescriptorOutsideImage;
    // An empty file may sit below the partition (at sector 0, say): its
    // extent's position means nothing, and goes in as A - P modulo 2^32, so
    // that an unedited list leaves the entry as it found it.
    if (line.sector < partition_start && line.size != 0) return LineVerdict::BelowPartition;
    // The directory record first: should it share a sector with the entry,
    // the entry's tag is checked and sealed over what the line leaves there.
    patch_directory_record(plan, line);
    auto edit = locate_entry(plan, line.descriptor, line.size);
    if (!edit) return LineVerdict::NoFileEntry;
    edit->size = line.size;
    edit->position = line.sector - partition_start;
    entries.add(*edit);
    return LineVerdict::Applied;
}

} // namespace isorelink
