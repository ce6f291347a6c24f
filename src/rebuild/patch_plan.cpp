#include "rebuild/patch_plan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "format/sector.h"
#include "platform/message_pump.h"

namespace isorelink {

namespace {
// Neighbouring whole sectors are read and written in runs of at most this many.
constexpr std::size_t kRunSectors = 512;
// Pieces are written together, the bytes between them read back first, while
// they lie within this span and no further apart than the gap.
constexpr std::uint64_t kPieceSpan = std::uint64_t{1} << 20;
constexpr std::uint64_t kPieceGap = 8 * 1024;

// The runs of consecutive indices in a sorted list: [begin, end) positions.
template <typename Visit>
bool for_each_run(const std::vector<std::uint64_t>& indices, std::size_t from, std::size_t to, Visit visit) {
    bool ok = true;
    for (std::size_t begin = from; begin < to;) {
        std::size_t end = begin + 1;
        while (end < to && end - begin < kRunSectors && indices[end] == indices[end - 1] + 1) ++end;
        ok = visit(begin, end) && ok;
        begin = end;
    }
    return ok;
}

// Marks bit index in a bit set; false when it was set already.
bool mark(std::vector<std::uint64_t>& bits, std::uint64_t index) {
    std::uint64_t& word = bits[static_cast<std::size_t>(index / 64)];
    const std::uint64_t bit = std::uint64_t{1} << (index % 64);
    const bool fresh = (word & bit) == 0;
    word |= bit;
    return fresh;
}
} // namespace

PatchPlan::PatchPlan(File& image, std::uint64_t image_size, const std::string& image_path)
    : image_(image), image_size_(image_size), window_(image, image_size, image_path) {}

std::size_t PatchPlan::sector_length(std::uint64_t index) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(kSectorSize, image_size_ - sector_offset(index)));
}

void PatchPlan::name(std::uint64_t index) {
    // Two bit sets over the sectors named: named once, named again.
    if (index >= whole_sectors(image_size_)) return;
    const auto word = static_cast<std::size_t>(index / 64);
    if (word >= named_.size()) {
        named_.resize(word + 1, 0);
        whole_bits_.resize(word + 1, 0);
    }
    if (!mark(named_, index)) mark(whole_bits_, index);
}

void PatchPlan::prepare() {
    const std::vector<std::uint64_t>& again = whole_bits_;
    named_.clear();
    named_.shrink_to_fit();
    whole_ranks_.resize(again.size());
    for (std::size_t w = 0; w < again.size(); ++w) {
        whole_ranks_[w] = static_cast<std::uint32_t>(whole_.size());
        for (std::uint64_t word = again[w]; word != 0; word &= word - 1) {
            whole_.push_back(std::uint64_t{w} * 64 + static_cast<std::uint64_t>(std::countr_zero(word)));
        }
    }
    // Not cleared first: every byte is read from the image (or zeroed after a short read).
    whole_bytes_ = platform::BulkBuffer(whole_.size() * kSectorSize);
    for_each_run(whole_, 0, whole_.size(), [&](std::size_t begin, std::size_t end) {
        const std::uint64_t start = sector_offset(whole_[begin]);
        const std::size_t length = (end - begin - 1) * kSectorSize + sector_length(whole_[end - 1]);
        auto target = whole_bytes().subspan(begin * kSectorSize, length);
        if (const std::size_t got = image_.read_at(start, target); got != length) {
            std::fill(target.begin() + static_cast<std::ptrdiff_t>(got), target.end(), std::byte{0});
            read_failed_ = true;
        }
        progress::tick();
        return true;
    });
}

bool PatchPlan::holds_whole(std::uint64_t index) const {
    const auto word = static_cast<std::size_t>(index / 64);
    return word < whole_bits_.size() && (whole_bits_[word] >> (index % 64) & 1) != 0;
}

MutableByteView PatchPlan::whole_sector(std::uint64_t index) {
    if (!holds_whole(index)) return {};
    // Its place among the held sectors: those held in the words before its
    // word and those below it in its own.
    const auto word = static_cast<std::size_t>(index / 64);
    const std::uint64_t below = (std::uint64_t{1} << (index % 64)) - 1;
    const std::size_t at = whole_ranks_[word] + static_cast<std::size_t>(std::popcount(whole_bits_[word] & below));
    return whole_bytes().subspan(at * kSectorSize, sector_length(index));
}

std::optional<ByteView> PatchPlan::view(std::uint64_t offset, std::size_t length) {
    const auto within = static_cast<std::size_t>(offset & (kSectorSize - 1));
    if (offset > image_size_ || length > image_size_ - offset || length > kSectorSize - within) return std::nullopt;
    if (const auto whole = whole_sector(whole_sectors(offset)); !whole.empty()) return whole.subspan(within, length);
    if (const std::byte* mapped = window_.mapped(offset, length)) return ByteView(mapped, length);
    const auto original = window_.bytes(offset, length);
    if (!original) read_failed_ = true;
    return original;
}

void PatchPlan::prefetch(std::uint64_t offset, std::size_t length) const { window_.prefetch(offset, length); }

bool PatchPlan::write(std::uint64_t offset, ByteView bytes) {
    if (offset > image_size_ || bytes.size() > image_size_ - offset) return false;
    while (!bytes.empty()) {
        const auto within = static_cast<std::size_t>(offset & (kSectorSize - 1));
        std::size_t n = std::min(bytes.size(), kSectorSize - within);
        if (const auto whole = whole_sector(whole_sectors(offset)); !whole.empty()) {
            std::copy_n(bytes.begin(), n, whole.begin() + static_cast<std::ptrdiff_t>(within));
        } else {
            n = std::min(n, kPieceSize);
            Piece piece;
            piece.offset = offset;
            piece.length = static_cast<std::uint8_t>(n);
            std::copy_n(bytes.begin(), n, piece.bytes.begin());
            pieces_.push_back(piece);
        }
        bytes = bytes.subspan(n);
        offset += n;
    }
    return true;
}

bool PatchPlan::write_whole_runs(std::size_t& next_whole, std::uint64_t before) {
    std::size_t end = next_whole;
    while (end < whole_.size() && sector_offset(whole_[end]) < before) ++end;
    const bool ok = for_each_run(whole_, next_whole, end, [&](std::size_t begin, std::size_t run_end) {
        const std::size_t length = (run_end - begin - 1) * kSectorSize + sector_length(whole_[run_end - 1]);
        const bool written = image_.write_at(sector_offset(whole_[begin]),
                                             whole_bytes().subspan(begin * kSectorSize, length));
        progress::tick();
        return written;
    });
    next_whole = end;
    return ok;
}

bool PatchPlan::write_pieces(std::size_t begin, std::size_t end) {
    const Piece& first = pieces_[begin];
    if (end - begin == 1) return image_.write_at(first.offset, ByteView(first.bytes).first(first.length));
    const std::uint64_t start = first.offset;
    const std::uint64_t stop = pieces_[end - 1].offset + pieces_[end - 1].length;
    std::vector<std::byte> span(static_cast<std::size_t>(stop - start));
    if (image_.read_at(start, span) != span.size()) return false;
    for (std::size_t i = begin; i < end; ++i) {
        const Piece& piece = pieces_[i];
        std::memcpy(span.data() + (piece.offset - start), piece.bytes.data(), piece.length);
    }
    return image_.write_at(start, span);
}

bool PatchPlan::commit() {
    if (read_failed_) return false;
    // Lines in listing order leave the pieces in ascending order already.
    const auto by_offset = [](const Piece& a, const Piece& b) { return a.offset < b.offset; };
    if (!std::is_sorted(pieces_.begin(), pieces_.end(), by_offset)) {
        std::stable_sort(pieces_.begin(), pieces_.end(), by_offset);
    }
    platform::pump_messages();
    bool ok = true;
    std::size_t next_whole = 0;
    for (std::size_t begin = 0; begin < pieces_.size();) {
        const std::uint64_t start = pieces_[begin].offset;
        ok = write_whole_runs(next_whole, start) && ok;
        // Pieces never share a sector with a whole sector: stop before the next one.
        const std::uint64_t limit =
            next_whole < whole_.size() ? sector_offset(whole_[next_whole]) : UINT64_MAX;
        std::uint64_t stop = start + pieces_[begin].length;
        std::size_t end = begin + 1;
        while (end < pieces_.size()) {
            const Piece& next = pieces_[end];
            const std::uint64_t next_stop = next.offset + next.length;
            if (next.offset < stop || next.offset - stop > kPieceGap || next_stop - start > kPieceSpan ||
                next_stop > limit)
                break;
            stop = next_stop;
            ++end;
        }
        ok = write_pieces(begin, end) && ok;
        progress::tick();
        begin = end;
    }
    ok = write_whole_runs(next_whole, UINT64_MAX) && ok;
    return image_.flush() && ok;
}

} // namespace isorelink
