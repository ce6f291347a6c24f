#include "rebuild/partition_length.h"

#include <vector>

#include "format/sector.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"

namespace isorelink {

namespace {

constexpr std::uint32_t kSequenceSectors = udf::avdp::kSequenceLength / kSectorSize;

bool is_partition_to_align(ByteView descriptor, std::uint64_t sector, std::uint32_t partition_start) {
    return le16(descriptor, udf::tag::kIdentifier) == udf::kPartitionDescriptor &&
           le32(descriptor, udf::tag::kLocation) == sector && udf::tag_is_valid(descriptor) &&
           le32(descriptor, udf::pd::kStartingLocation) == partition_start;
}

bool align_in_sequence(File& image, std::uint32_t first_sector, std::uint32_t partition_start, std::uint32_t length) {
    std::vector<std::byte> sequence(udf::avdp::kSequenceLength);
    const std::size_t got = image.read_at(sector_offset(first_sector), sequence);
    for (std::uint32_t i = 0; i < kSequenceSectors && (i + 1) * std::size_t{kSectorSize} <= got; ++i) {
        const std::uint64_t sector = first_sector + i;
        const auto descriptor = MutableByteView(sequence).subspan(i * std::size_t{kSectorSize}, kSectorSize);
        const auto identifier = le16(descriptor, udf::tag::kIdentifier);
        if (identifier == udf::kTerminatingDescriptor) break;
        if (!is_partition_to_align(descriptor, sector, partition_start)) continue;
        if (le32(descriptor, udf::pd::kLength) == length) continue;
        put_le32(descriptor, udf::pd::kLength, length);
        udf::reseal_tag(descriptor);
        if (!image.write_at(sector_offset(sector), descriptor)) return false;
    }
    return true;
}

} // namespace

bool align_partition_length(File& image, std::uint32_t partition_start, std::uint64_t volume_sectors) {
    if (volume_sectors <= std::uint64_t{partition_start} + 1) return true;
    const auto length = static_cast<std::uint32_t>(volume_sectors - 1 - partition_start);
    const bool main = align_in_sequence(image, udf::avdp::kMainSequenceSector, partition_start, length);
    const bool reserve = align_in_sequence(image, udf::avdp::kReserveSequenceSector, partition_start, length);
    return main && reserve;
}

} // namespace isorelink
