#include "rebuild/volume_end.h"

#include <optional>

#include "format/endian.h"
#include "platform/file.h"
#include "format/iso9660/layout.h"
#include "common/messages.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"
#include "platform/message_pump.h"
#include "rebuild/partition_length.h"

namespace isorelink {

namespace {

// The new image opened for update, remembering whether every write landed.
class EndImage {
public:
    static std::optional<EndImage> open(const std::string& path) {
        auto file = File::open(path, "r+b");
        if (!file) return std::nullopt;
        return EndImage(std::move(*file));
    }

    std::optional<std::uint64_t> length() { return file_.size(); }

    std::uint32_t recorded_volume_size() {
        std::array<std::byte, 4> field{};
        if (file_.read_at(iso::kVolumeSpaceSizeOffset, field) != field.size()) return 0;
        return le32(field, 0);
    }

    void write_volume_size(std::uint64_t sectors) {
        std::array<std::byte, 8> field{};
        put_both32(field, 0, static_cast<std::uint32_t>(sectors));
        write_at(iso::kVolumeSpaceSizeOffset, field);
    }

    void write_post_gap(std::uint64_t first_sector) {
        static const std::array<std::byte, kSectorSize> zero{};
        ok_ = file_.seek(sector_offset(first_sector)) && ok_;
        for (std::uint32_t i = 0; i < kPostGapSectors; ++i) {
            ok_ = file_.write(zero) && ok_;
            progress::tick();
        }
    }

    void write_marker(std::uint64_t offset) { write_at(offset, std::as_bytes(std::span(kPostGapMarker))); }

    void write_end_anchor(std::uint64_t sector) {
        write_at(sector_offset(sector), end_anchor(static_cast<std::uint32_t>(sector)));
    }

    void align_partition(std::uint32_t partition_start, std::uint64_t volume_sectors) {
        ok_ = align_partition_length(file_, partition_start, volume_sectors) && ok_;
    }

    // Closes and reports whether every write reached the file.
    bool finish() { return file_.close() && ok_; }

private:
    explicit EndImage(File file) : file_(std::move(file)) {}
    void write_at(std::uint64_t offset, ByteView bytes) { ok_ = file_.write_at(offset, bytes) && ok_; }

    File file_;
    bool ok_ = true;
};

// The new image reopened for one pass of the end step, with its length in
// whole sectors (a trailing partial sector is not counted).
struct EndPass {
    EndImage image;
    std::uint64_t length = 0;
    std::uint64_t sectors = 0;
};

Expected<EndPass> open_pass(const std::string& path, const Message& open_error) {
    auto image = EndImage::open(path);
    if (!image) return job_error(open_error, path);
    const auto length = image->length();
    if (!length) return job_error(msg::kRebuildInternal, path);
    return EndPass{std::move(*image), *length, whole_sectors(*length)};
}

Expected<VolumeEnd> finish(EndImage& image, VolumeEnd end, const std::string& path) {
    if (!image.finish()) return job_error(msg::kRebuildInternal, path);
    if (const auto size = file_size(path)) end.image_size = *size;
    return end;
}

Expected<VolumeEnd> finish_dvd(const std::string& path, std::uint32_t partition_start) {
    VolumeEnd end;
    {
        auto first = open_pass(path, msg::kDvdEndFirst);
        if (!first) return first.error();
        auto& [image, length, sectors] = *first;
        end.volume_size = image.recorded_volume_size();
        if (sectors != end.volume_size) {
            image.write_post_gap(sectors);
            image.write_marker(length);
            image.write_end_anchor(sectors + kPostGapSectors - 1);
            image.write_volume_size(sectors + kPostGapSectors);
            end.volume_size = static_cast<std::uint32_t>(sectors + kPostGapSectors);
            end.changed = true;
        }
        if (!image.finish()) return job_error(msg::kRebuildInternal, path);
    }
    auto second = open_pass(path, msg::kDvdEndSecond);
    if (!second) return second.error();
    auto& [image, length, sectors] = *second;
    end.volume_size = image.recorded_volume_size();
    if (sectors != end.volume_size) {
        image.write_end_anchor(sectors);
        image.write_volume_size(sectors + 1);
        end.volume_size = static_cast<std::uint32_t>(sectors + 1);
        end.changed = true;
    }
    if (end.changed) image.align_partition(partition_start, end.volume_size);
    return finish(image, end, path);
}

Expected<VolumeEnd> finish_cd(const std::string& path) {
    auto pass = open_pass(path, msg::kCdEnd);
    if (!pass) return pass.error();
    auto& [image, length, sectors] = *pass;
    const std::uint64_t gap_end = sector_offset(sectors + kPostGapSectors);
    image.write_post_gap(sectors);
    image.write_marker(gap_end - kPostGapMarker.size());
    image.write_volume_size(sectors + kPostGapSectors);
    return finish(image, {0, static_cast<std::uint32_t>(sectors + kPostGapSectors), true}, path);
}

Expected<VolumeEnd> finish_psp(const std::string& path) {
    auto pass = open_pass(path, msg::kPspEnd);
    if (!pass) return pass.error();
    auto& [image, length, sectors] = *pass;
    image.write_volume_size(sectors);
    return finish(image, {0, static_cast<std::uint32_t>(sectors), true}, path);
}

} // namespace

std::array<std::byte, 2048> end_anchor(std::uint32_t sector) {
    std::array<std::byte, kSectorSize> anchor{};
    put_le16(anchor, udf::tag::kIdentifier, udf::kAnchorVolumeDescriptorPointer);
    put_le16(anchor, udf::tag::kVersion, udf::kDescriptorVersion);
    put_le32(anchor, udf::tag::kLocation, sector);
    put_le32(anchor, udf::avdp::kMainSequenceLength, udf::avdp::kSequenceLength);
    put_le32(anchor, udf::avdp::kMainSequenceLocation, udf::avdp::kMainSequenceSector);
    put_le32(anchor, udf::avdp::kReserveSequenceLength, udf::avdp::kSequenceLength);
    put_le32(anchor, udf::avdp::kReserveSequenceLocation, udf::avdp::kReserveSequenceSector);
    udf::seal_tag(anchor, udf::avdp::kCrcLength);
    return anchor;
}

Expected<VolumeEnd> finish_volume(ImageKind kind, const std::string& image_path, std::uint32_t partition_start) {
    platform::pump_messages();
    switch (kind) {
    case ImageKind::Ps2Dvd: return finish_dvd(image_path, partition_start);
    case ImageKind::Ps2Cd: return finish_cd(image_path);
    case ImageKind::PspUmd: break;
    }
    return finish_psp(image_path);
}

} // namespace isorelink
