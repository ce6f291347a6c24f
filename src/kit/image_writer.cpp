#include "kit/image_writer.h"

#include <algorithm>

#include "common/messages.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "kit/file_content.h"
#include "kit/iso_structures.h"
#include "kit/udf_structures.h"
#include "common/progress.h"

namespace isorelink::kit {

namespace {

constexpr std::size_t kChunk = 4 * 1024 * 1024;

class Emitter {
public:
    explicit Emitter(ImageSink& sink) : sink_(sink) {}
    void at_sector(std::uint32_t sector, ByteView bytes) {
        if (ok_ && !sink_.write(sector_offset(sector), bytes)) ok_ = false;
    }
    void at_offset(std::uint64_t offset, ByteView bytes) {
        if (ok_ && !sink_.write(offset, bytes)) ok_ = false;
    }
    bool ok() const { return ok_; }

private:
    ImageSink& sink_;
    bool ok_ = true;
};

void write_descriptors(const ImageRecipe& recipe, const Plan& plan, Emitter& out) {
    std::vector<std::byte> sector(kSectorSize);
    encode_primary_descriptor(recipe, plan, sector);
    out.at_sector(16, sector);
    encode_set_terminator(sector);
    out.at_sector(17, sector);
    if (recipe.kind != ImageKind::Ps2Dvd) return;
    const char* recognition[] = {"BEA01", "NSR02", "TEA01"};
    for (std::uint32_t i = 0; i < 3; ++i) {
        encode_recognition_sector(sector, recognition[i]);
        out.at_sector(18 + i, sector);
    }
    out.at_sector(udf::avdp::kMainSequenceSector,
                  encode_volume_descriptor_sequence(recipe, plan, udf::avdp::kMainSequenceSector));
    out.at_sector(udf::avdp::kReserveSequenceSector,
                  encode_volume_descriptor_sequence(recipe, plan, udf::avdp::kReserveSequenceSector));
    out.at_sector(64, encode_integrity_sequence(plan));
    encode_anchor(sector, udf::avdp::kFirstAnchorSector);
    out.at_sector(udf::avdp::kFirstAnchorSector, sector);
}

void write_path_tables(const ImageRecipe& recipe, const Plan& plan, Emitter& out) {
    const auto type_l = encode_path_table(plan, false);
    const auto type_m = encode_path_table(plan, true);
    const bool copies = recipe.optional_path_table == OptionalPathTable::NextSector;
    out.at_sector(plan.type_l, type_l);
    if (copies) out.at_sector(plan.optional_l, type_l);
    out.at_sector(plan.type_m, type_m);
    if (copies) out.at_sector(plan.optional_m, type_m);
}

void write_partition_metadata(const ImageRecipe& recipe, const Plan& plan, Emitter& out) {
    out.at_sector(plan.partition_start, encode_file_set(recipe, plan));
    for (std::size_t d = 0; d < plan.directories.size(); ++d) {
        out.at_sector(plan.directories[d].fid_sector, encode_identifiers(recipe, plan, d));
        progress::tick();
    }
    std::vector<std::byte> sector(kSectorSize);
    for (std::size_t d = 0; d < plan.directories.size(); ++d) {
        encode_file_entry(sector, directory_entry(plan, d));
        out.at_sector(plan.directories[d].entry_sector, sector);
    }
    for (std::size_t f : plan.entry_order) {
        encode_file_entry(sector, file_entry(plan, f));
        out.at_sector(plan.files[f].entry_sector, sector);
        progress::tick();
    }
}

Status write_file_data(const ImageRecipe& recipe, const Plan& plan, Emitter& out) {
    struct Extent {
        std::uint32_t sector;
        std::size_t file;
        std::uint64_t file_offset;
        std::uint32_t size;
    };
    std::vector<Extent> extents;
    for (std::size_t f = 0; f < plan.files.size(); ++f) {
        if (recipe.files[f].pattern == ContentPattern::Zero) continue;  // a hole
        std::uint64_t file_offset = 0;
        for (const auto& piece : plan.files[f].pieces) {
            if (piece.size > 0) extents.push_back(Extent{piece.sector, f, file_offset, piece.size});
            file_offset += piece.size;
        }
    }
    std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.sector < b.sector; });
    std::vector<std::byte> chunk;
    for (const auto& extent : extents) {
        for (std::uint64_t done = 0; done < extent.size;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, extent.size - done));
            chunk.resize(n);
            if (!fill_file_content(recipe.files[extent.file], extent.file_offset + done, chunk))
                return job_error(msg::kKitCannotReadContent, recipe.files[extent.file].path);
            out.at_offset(sector_offset(extent.sector) + done, chunk);
            done += n;
        }
        progress::tick();
    }
    return ok_status();
}

} // namespace

Status write_planned_image(const ImageRecipe& recipe, const Plan& plan, ImageSink& sink) {
    Emitter out(sink);
    write_descriptors(recipe, plan, out);
    write_path_tables(recipe, plan, out);
    for (std::size_t d = 0; d < plan.directories.size(); ++d) {
        out.at_sector(plan.directories[d].sector, encode_directory(plan, d));
        progress::tick();
    }
    if (recipe.kind == ImageKind::Ps2Dvd) write_partition_metadata(recipe, plan, out);
    if (auto data = write_file_data(recipe, plan, out); !data) return data;
    if (recipe.kind == ImageKind::Ps2Dvd) {
        std::vector<std::byte> anchor(kSectorSize);
        encode_anchor(anchor, plan.sector_count - 1);
        out.at_sector(plan.sector_count - 1, anchor);
    }
    if (!out.ok() || !sink.finish(sector_offset(plan.sector_count)))
        return job_error(msg::kKit, "could not write the image");
    return ok_status();
}

} // namespace isorelink::kit
