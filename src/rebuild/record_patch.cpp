#include "rebuild/record_patch.h"

#include <optional>

#include "common/messages.h"
#include "format/iso9660/directory_record.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"

namespace isorelink {

namespace {

// Where the File Entry holding a short_ad at image offset D lives, and where
// within it the fields lie.
struct EntryFields {
    std::uint64_t sector = 0;
    std::size_t descriptor = 0;          // D within the entry
    std::size_t information_length = 0;  // D - 252 within the entry
};

bool descriptor_inside_image(std::uint32_t d, std::uint64_t image_size) {
    return d >= udf::fe::kDescriptorToInformationLength && std::uint64_t{d} + udf::short_ad::kSize <= image_size;
}

// The entry is the sector that holds D; its Information Length and the
// short_ad must both lie in it, below the end its tag's CRC can cover.
std::optional<EntryFields> locate_entry(PatchPlan& plan, std::uint32_t d, std::uint16_t& crc_length) {
    EntryFields at;
    at.sector = whole_sectors(d);
    at.descriptor = static_cast<std::size_t>(d - sector_offset(at.sector));
    if (at.descriptor < udf::fe::kDescriptorToInformationLength) return std::nullopt;
    if (at.descriptor + udf::short_ad::kSize > kSectorSize) return std::nullopt;
    at.information_length = at.descriptor - udf::fe::kDescriptorToInformationLength;
    // The Information Length must not land in the tag the patch reseals.
    if (at.information_length < udf::tag::kSize) return std::nullopt;

    // A whole sector: not the image's trailing part of one.
    if (sector_offset(at.sector) + kSectorSize > plan.image_size()) return std::nullopt;
    const auto bytes = plan.view(sector_offset(at.sector), udf::tag::kSize);
    if (!bytes) return std::nullopt;
    const auto tag = udf::decode_tag(*bytes);
    if (tag.identifier != udf::kFileEntry) return std::nullopt;
    crc_length = tag.crc_length;
    if (udf::tag::kSize + crc_length > kSectorSize) return std::nullopt;
    return at;
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
    std::uint16_t crc_length = 0;
    const auto at = locate_entry(plan, line.descriptor, crc_length);
    if (!at) return LineVerdict::NoFileEntry;
    EntryEdit edit;
    edit.sector = static_cast<std::uint32_t>(at->sector);
    edit.descriptor = static_cast<std::uint16_t>(at->descriptor);
    edit.crc_length = crc_length;
    edit.size = line.size;
    edit.position = line.sector - partition_start;
    entries.add(edit);
    return LineVerdict::Applied;
}

} // namespace isorelink
