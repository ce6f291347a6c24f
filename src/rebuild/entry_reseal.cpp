#include "rebuild/entry_reseal.h"

#include <algorithm>

#include "format/sector.h"
#include "format/udf/file_entry.h"
#include "platform/message_pump.h"

namespace isorelink {

namespace {
// Entries are edited together while they lie within this span and no further
// apart than the gap: a run read and written back never carries much else.
constexpr std::uint64_t kRunSpan = std::uint64_t{1} << 20;
constexpr std::uint64_t kRunGap = 64 * 1024;
// Entries fetched ahead of the one being edited.
constexpr std::size_t kAhead = 16;
} // namespace

void edit_file_entry(MutableByteView entry, const EntryEdit& edit) {
    udf::RelinkPlace place;
    place.descriptor = edit.descriptor;
    place.extended = edit.extended;
    place.add_descriptor = edit.add_descriptor;
    place.no_descriptor = edit.no_descriptor;
    udf::relink_file_entry(entry, place, edit.size, edit.position, edit.crc_length);
}

EntryReseals::EntryReseals(File& image, std::uint64_t image_size, std::string image_path)
    : image_(image), image_size_(image_size), image_path_(std::move(image_path)) {}

bool EntryReseals::edit_run(std::size_t begin, std::size_t end) {
    const std::uint64_t start = edits_[begin].sector_offset();
    const std::uint64_t stop = edits_[end - 1].sector_offset() + kSectorSize;
    const auto length = static_cast<std::size_t>(stop - start);
    std::byte* bytes = updating_ ? updating_->update(start, length) : nullptr;
    const bool mapped = bytes != nullptr;
    if (!mapped) {
        run_.resize(length);
        if (image_.read_at(start, run_) != length) return false;
        bytes = run_.data();
    }
    const MutableByteView run(bytes, length);
    for (std::size_t i = begin; i < end; ++i) {
        if (i + kAhead < end) {
            const EntryEdit& next = edits_[i + kAhead];
            const std::byte* ahead = bytes + (next.sector_offset() - start);
            for (std::size_t line = 0; line <= next.descriptor; line += 64) __builtin_prefetch(ahead + line, 1, 2);
        }
        const auto at = static_cast<std::size_t>(edits_[i].sector_offset() - start);
        edit_file_entry(run.subspan(at, kSectorSize), edits_[i]);
    }
    return mapped || image_.write_at(start, run);
}

bool EntryReseals::commit() {
    if (edits_.empty()) return true;
    const auto by_offset = [](const EntryEdit& a, const EntryEdit& b) { return a.sector < b.sector; };
    // Lines in listing order leave the entries in ascending order already.
    // Two lines naming one entry edit it in their order, the later one last.
    if (!std::is_sorted(edits_.begin(), edits_.end(), by_offset))
        std::stable_sort(edits_.begin(), edits_.end(), by_offset);
    for (const EntryEdit& edit : edits_) {
        if (edit.sector_offset() > image_size_ || image_size_ - edit.sector_offset() < kSectorSize) return false;
    }
    platform::pump_messages();
    updating_ = platform::MappedFile::open_for_update(image_path_);
    if (updating_ && updating_->size() != image_size_) updating_.reset();
    bool ok = true;
    for (std::size_t begin = 0; begin < edits_.size();) {
        const std::uint64_t start = edits_[begin].sector_offset();
        std::size_t end = begin + 1;
        while (end < edits_.size() && edits_[end].sector_offset() + kSectorSize - start <= kRunSpan &&
               edits_[end].sector_offset() - edits_[end - 1].sector_offset() <= kRunGap)
            ++end;
        ok = edit_run(begin, end) && ok;
        progress::tick();
        begin = end;
    }
    updating_.reset();
    return ok;
}

} // namespace isorelink
