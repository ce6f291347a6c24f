#include "read/directory_walker.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>
#include <utility>

#include "format/iso9660/layout.h"
#include "common/job_error.h"
#include "common/messages.h"
#include "format/sector.h"
#include "format/iso9660/directory_record.h"
#include "common/progress.h"
#include "platform/read_handle.h"
#include "format/iso9660/identifier_name.h"

namespace isorelink {

namespace {

bool kept_flags(std::uint8_t flags) {
    return flags == 0x00 || flags == iso::dr::kFlagHidden || flags == iso::dr::kFlagMultiExtent;
}

std::uint64_t next_sector_start(std::uint64_t offset) { return (offset / kSectorSize + 1) * kSectorSize; }

// A record is at most 255 bytes long: the walk never needs more of an extent at once.
constexpr std::size_t kLongestRecord = 255;
// Directories are read in blocks of at most this many bytes.
constexpr std::size_t kExtentBlock = 256 * 1024;

// One directory's extent, read a block at a time: from any offset on it hands
// out at least the longest record's bytes, or what is left of the extent.
class ExtentReader {
public:
    ExtentReader(const platform::ReadHandle& image, std::uint64_t position, std::uint64_t length,
                 std::vector<std::byte>& block)
        : image_(image), position_(position), length_(length), block_(block) {
        block_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, kExtentBlock)));
    }

    std::optional<ByteView> operator()(std::uint64_t offset) {
        const std::uint64_t needed = std::min<std::uint64_t>(kLongestRecord, length_ - offset);
        if (offset < base_ || offset + needed > base_ + filled_) {
            base_ = offset;
            filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(block_.size(), length_ - offset));
            if (!image_.read_exact_at(position_ + offset, std::span(block_).first(filled_))) return std::nullopt;
        }
        return ByteView(block_).subspan(static_cast<std::size_t>(offset - base_)).first(
            static_cast<std::size_t>(base_ + filled_ - offset));
    }

private:
    const platform::ReadHandle& image_;
    std::uint64_t position_;
    std::uint64_t length_;
    std::vector<std::byte>& block_;
    std::uint64_t base_ = 0;
    std::size_t filled_ = 0;
};

} // namespace

// bytes_from(offset) gives the extent's bytes from offset on, at least the
// longest record's or all that is left, and never past the extent's end; so a
// record fits what it gives exactly when it fits the extent.
template <typename BytesFrom>
Status DirectoryWalker::walk_records(std::uint64_t length, BytesFrom&& bytes_from, std::uint64_t extent_offset,
                                     const std::string& directory_path) {
    // A broken record ends its directory, not the walk: what came before it is listed.
    const auto cut = [&](CutDirectory::Why why) {
        cut_.push_back({directory_path.empty() ? "\\" : directory_path, why});
        return ok_status();
    };
    const auto broken = [&] { return cut(CutDirectory::Why::BrokenRecord); };
    const auto unread = [&] { return structure_error(image_path_, "directory outside the image"); };
    std::uint64_t offset = 0;
    // The directory itself and its parent.
    for (int i = 0; i < 2; ++i) {
        if (offset >= length) return broken();
        const auto bytes = bytes_from(offset);
        if (!bytes) return unread();
        const RecordFit fit = record_fit(*bytes, 0);
        if (i == 0 && fit == RecordFit::EmptyTail) return cut(CutDirectory::Why::EmptySelfRecord);
        if (fit != RecordFit::Fits) return broken();
        offset += u8(*bytes, iso::dr::kLength);
    }
    while (offset < length) {
        progress::tick();
        const auto bytes = bytes_from(offset);
        if (!bytes) return unread();
        switch (record_fit(*bytes, 0)) {
        case RecordFit::EmptyTail:
            offset = next_sector_start(offset);
            break;
        case RecordFit::Overruns:
        case RecordFit::IdentifierOverruns:
            return broken();
        case RecordFit::Fits:
            if (auto kept = keep(*bytes, extent_offset + offset, directory_path); !kept) return kept;
            offset += u8(*bytes, iso::dr::kLength);
            break;
        }
    }
    return ok_status();
}

Status DirectoryWalker::walk_extent(ByteView extent, std::uint64_t extent_offset, const std::string& directory_path) {
    const auto from = [extent](std::uint64_t offset) {
        return std::optional<ByteView>(extent.subspan(static_cast<std::size_t>(offset)));
    };
    return walk_records(extent.size(), from, extent_offset, directory_path);
}

Status DirectoryWalker::walk_extent(const platform::ReadHandle& image, std::uint64_t position, std::uint32_t length,
                                    const std::string& directory_path) {
    return walk_records(length, ExtentReader(image, position, length, block_), position, directory_path);
}

Status DirectoryWalker::keep(ByteView record_bytes, std::uint64_t record_offset, const std::string& directory_path) {
    const DirectoryRecord record = decode_directory_record(record_bytes, 0);
    if (!kept_flags(record.flags)) return ok_status();
    FileEntry file;
    file.sector = record.extent;
    file.size = record.data_length;
    file.record_offset = record_offset;
    if (file.extent_field_offset() > std::numeric_limits<std::uint32_t>::max()) {
        return structure_error(image_path_, "directory record beyond 4 GiB");
    }
    const std::string name = pieces_.name_for(record.flags, listing_name(record.identifier));
    if (directory_too_long_ || directory_path.size() + 1 + name.size() > longest_path_)
        return job_error(msg::kExtractNameTooLong, image_path_);
    file.path = paths_.store(directory_path, '\\', name);
    files_.push_back(file);
    return ok_status();
}

namespace {

// Orders walk positions by sector, equal sectors in walk order: a stable
// two-pass radix sort on the sector's 16-bit halves, linear in the count.
std::vector<std::uint32_t> walk_order_by_sector(const std::vector<FileEntry>& files) {
    const std::size_t n = files.size();
    std::vector<std::uint32_t> order(n);
    std::vector<std::uint32_t> sectors(n);
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = static_cast<std::uint32_t>(i);
        sectors[i] = files[i].sector;
    }
    std::vector<std::uint32_t> next(n);
    std::vector<std::uint32_t> start(1u << 16);
    for (const unsigned shift : {0u, 16u}) {
        std::fill(start.begin(), start.end(), 0u);
        for (const std::uint32_t sector : sectors) ++start[(sector >> shift) & 0xFFFF];
        if (start[0] == n) continue;  // every digit is zero: this pass changes nothing
        std::uint32_t sum = 0;
        for (auto& slot : start) sum += std::exchange(slot, sum);
        for (const std::uint32_t i : order) next[start[(sectors[i] >> shift) & 0xFFFF]++] = i;
        order.swap(next);
    }
    return order;
}

} // namespace

FileList DirectoryWalker::take_files() {
    const auto by_sector = [](const FileEntry& a, const FileEntry& b) { return a.sector < b.sector; };
    const auto taken = [this] { return FileList{std::move(files_), std::move(paths_), std::move(cut_)}; };
    // Images laid out in walk order need no sort.
    if (std::is_sorted(files_.begin(), files_.end(), by_sector)) return taken();
    if (files_.size() > std::numeric_limits<std::uint32_t>::max()) {
        std::stable_sort(files_.begin(), files_.end(), by_sector);
        return taken();
    }
    // Put each entry in its place by following the permutation's cycles: one
    // move per entry and no second list.
    std::vector<std::uint32_t> order = walk_order_by_sector(files_);
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        if (order[i] == i) continue;
        FileEntry held = std::move(files_[i]);
        std::uint32_t hole = i;
        for (;;) {
            const std::uint32_t from = std::exchange(order[hole], hole);
            if (from == i) break;
            files_[hole] = std::move(files_[from]);
            hole = from;
        }
        files_[hole] = std::move(held);
    }
    return taken();
}

Expected<FileList> walk_directories(const std::vector<DirectoryNode>& directories, const std::string& image_path,
                                    std::size_t longest_path) {
    auto image = platform::ReadHandle::open(image_path);
    if (!image) return job_error(msg::kWalkOpenImage, image_path);
    return walk_directories(directories, *image, image_path, longest_path);
}

Expected<FileList> walk_directories(const std::vector<DirectoryNode>& directories, const platform::ReadHandle& handle,
                                    const std::string& image_path, std::size_t longest_path) {
    const platform::ReadHandle* const image = &handle;
    const std::uint64_t image_size = image->size().value_or(0);
    const auto outside = [&] { return structure_error(image_path, "directory outside the image"); };

    DirectoryWalker walker(image_path, longest_path);
    // Directories of a sound image never share sectors, so together they are
    // no longer than the image; path table records that name one directory
    // over and over would otherwise walk it (and list its files) each time.
    std::uint64_t walked_bytes = 0;
    for (const DirectoryNode& directory : directories) {
        progress::tick();
        const std::uint64_t position = sector_offset(directory.extent);
        // The directory's first record gives its length.
        std::array<std::byte, iso::dr::kFixedSize> self{};
        if (!image->read_exact_at(position, self)) return outside();
        const std::uint32_t length = decode_directory_record(self, 0).data_length;
        if (position + length > image_size) return outside();
        walked_bytes += length;
        if (walked_bytes > image_size) return structure_error(image_path, "directories overlap");
        walker.set_directory_too_long(directory.path_too_long);
        if (auto walked = walker.walk_extent(*image, position, length, directory.path); !walked) return walked.error();
    }
    // Files whose data lies past the image's end (a trimmed dump) are listed
    // where their records put them: neither job reads file data.
    return walker.take_files();
}

} // namespace isorelink
