#pragma once
// The new image's bytes as the relink list will leave them. Every line is
// planned here first; only when the whole list has been accepted does
// commit() write the changes back, in ascending order. A refused list leaves
// the file untouched.
//
// A sector that several patch targets touch (a directory sector holds many
// records) is kept whole, read ahead in runs of neighbours. Any other sector
// belongs to one target alone: its original bytes are read through a mapped
// window of the image and the plan keeps only the pieces of at most 16 bytes
// that change, written in runs, the bytes between them read back first.
// (File Entries in sectors of their own are not planned here: see
// entry_reseal.h.)
#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "format/endian.h"
#include "platform/file.h"
#include "format/sector.h"
#include "platform/bulk_memory.h"
#include "platform/image_window.h"

namespace isorelink {

class PatchPlan {
public:
    // Pieces of a single-target sector are kept in at most this many bytes.
    static constexpr std::size_t kPieceSize = 16;

    PatchPlan(File& image, std::uint64_t image_size, const std::string& image_path);

    std::uint64_t image_size() const { return image_size_; }

    // Names a sector a patch target will read or write, each target naming
    // each of its sectors once (in any order). Sectors beyond the image are
    // left out.
    void name(std::uint64_t index);
    // Reads the sectors named more than once ahead, whole. Call it once,
    // after every target's sectors were named and before anything is planned.
    void prepare();

    // The planned bytes at offset, which must lie within one sector, without
    // copying them; valid until the next call. Nothing when they do not lie
    // inside the image or cannot be read.
    std::optional<ByteView> view(std::uint64_t offset, std::size_t length);

    // A hint that the bytes at offset will be looked at soon.
    void prefetch(std::uint64_t offset, std::size_t length) const;

    // Plans bytes at an image offset; false (nothing planned) when they do
    // not lie inside the image.
    bool write(std::uint64_t offset, ByteView bytes);

    // Whether a sector is held whole: more than one patch target named it.
    bool holds_whole(std::uint64_t index) const;

    // Writes every planned change; false when a read or a write failed.
    bool commit();

private:
    struct Piece {
        std::uint64_t offset = 0;
        std::array<std::byte, kPieceSize> bytes{};
        std::uint8_t length = 0;
    };

    std::size_t sector_length(std::uint64_t index) const;
    // The whole sector's planned bytes, or an empty view when it is not held whole.
    MutableByteView whole_sector(std::uint64_t index);
    bool write_whole_runs(std::size_t& next_whole, std::uint64_t before);
    bool write_pieces(std::size_t begin, std::size_t end);

    File& image_;
    std::uint64_t image_size_;
    ImageWindow window_;
    // Sectors held whole: ascending indices, their bytes side by side (2048
    // each), one bit per sector telling them from the rest at a glance, and
    // per word of those bits how many are held in the words before it.
    std::vector<std::uint64_t> whole_;
    std::vector<std::uint64_t> whole_bits_;
    std::vector<std::uint32_t> whole_ranks_;
    // One bit per sector named so far, until prepare().
    std::vector<std::uint64_t> named_;
    platform::BulkBuffer whole_bytes_;
    MutableByteView whole_bytes() { return {whole_bytes_.data(), whole_bytes_.size()}; }
    std::vector<Piece> pieces_;
    bool read_failed_ = false;
};

} // namespace isorelink
