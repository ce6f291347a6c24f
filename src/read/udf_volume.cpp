#include "read/udf_volume.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <set>

#include "format/endian.h"
#include "format/sector.h"
#include "format/udf/anchor.h"
#include "format/udf/file_entry.h"
#include "format/udf/file_identifier.h"
#include "format/udf/file_set_descriptor.h"
#include "format/udf/layout.h"
#include "format/udf/logical_volume_descriptor.h"
#include "format/udf/partition_descriptor.h"
#include "format/udf/tag.h"
#include "common/progress.h"
#include "common/sort_by_key.h"
#include "read/read_ahead.h"

namespace isorelink::host {

namespace {

using Sector = std::array<std::byte, kSectorSize>;

// Directory data larger than this is not a game disc's.
constexpr std::uint64_t kLargestDirectory = 64u << 20;
// Sectors of a volume descriptor sequence we look at before giving up.
constexpr std::uint32_t kLongestSequence = 64;

// A directory's data across its extents, read a window at a time: any File
// Identifier (at most 38 + 65,535 + 255 bytes and padding) is handed out whole,
// however long the extents claim to be.
class DirectoryData {
public:
    struct Piece {
        std::uint64_t offset = 0;  // in the image
        std::uint64_t length = 0;
    };

    DirectoryData(const ImageSource& image, std::vector<Piece> pieces, std::uint64_t size)
        : image_(image), pieces_(std::move(pieces)), size_(size) {}

    std::uint64_t size() const { return size_; }

    // The bytes [pos, pos + length) of the data; length at most kWindow, and
    // they must lie within size(). Nothing when a read fails.
    std::optional<ByteView> bytes(std::uint64_t pos, std::size_t length) {
        if (pos < base_ || pos + length > base_ + window_.size()) {
            base_ = pos;
            window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - pos)));
            if (!fill()) return std::nullopt;
        }
        return ByteView(window_).subspan(static_cast<std::size_t>(pos - base_), length);
    }

private:
    static constexpr std::size_t kWindow = 128 * 1024;

    // Reads the window's bytes from the pieces they lie in.
    bool fill() {
        std::uint64_t piece_start = 0;
        std::size_t filled = 0;
        for (const Piece& piece : pieces_) {
            if (filled == window_.size()) break;
            const std::uint64_t at = base_ + filled;
            if (at < piece_start + piece.length) {
                const std::uint64_t within = at - piece_start;
                const auto n = static_cast<std::size_t>(
                    std::min<std::uint64_t>(piece.length - within, window_.size() - filled));
                if (!image_.read_exact_at(piece.offset + within, std::span(window_).subspan(filled, n))) return false;
                filled += n;
            }
            piece_start += piece.length;
        }
        return filled == window_.size();
    }

    const ImageSource& image_;
    std::vector<Piece> pieces_;
    std::uint64_t size_;
    std::vector<std::byte> window_;
    std::uint64_t base_ = 0;
};

class UdfWalker {
public:
    UdfWalker(const ImageSource& image, std::uint64_t image_sectors, UdfDepth depth, UdfVolume& volume)
        : image_(image), sectors_(image), image_sectors_(image_sectors), depth_(depth), volume_(volume) {}

    void run() {
        Sector anchor{};
        if (!read_tag(udf::avdp::kFirstAnchorSector, udf::kAnchorVolumeDescriptorPointer,
                      udf::avdp::kFirstAnchorSector, {"anchor", {}}, anchor))
            return;
        check_closing_anchor();
        const auto pointer = udf::decode_anchor(anchor);
        if (!read_sequence(pointer.main.location, pointer.main.length)) return;
        const auto fsd = read_block(file_set_block_, udf::kFileSetDescriptor, {"File Set Descriptor", {}});
        if (!fsd) return;
        volume_.found = true;
        walk_directory("", udf::file_set_root(*fsd).block);
        if (depth_ == UdfDepth::FileEntries) read_file_entries();
    }

private:
    void problem(std::string text) {
        if (reading_ == kWalking)
            volume_.problems.push_back(std::move(text));
        else
            late_problems_.emplace_back(reading_, std::move(text));
    }

    // What a tag names in a problem ("File Entry of " and the path), made into text only for a problem.
    struct What {
        std::string_view lead;
        std::string_view name;
        std::string text() const { return std::string(lead).append(name); }
    };

    // Reads an absolute sector and checks its tag: identifier, location,
    // checksum and CRC. The view lasts until the next read.
    std::optional<ByteView> read_tag(std::uint64_t sector, std::uint16_t identifier, std::uint32_t location,
                                     What what) {
        const auto out = sector < image_sectors_ ? sectors_.bytes(sector_offset(sector), kSectorSize) : std::nullopt;
        if (!out) {
            problem("UDF: " + what.text() + " at sector " + std::to_string(sector) + " lies beyond the image");
            return std::nullopt;
        }
        const auto tag = udf::decode_tag(*out);
        const std::uint16_t found = tag.identifier;
        if (found != identifier) {
            problem("UDF: sector " + std::to_string(sector) + " should hold the " + what.text() + " (tag " +
                    std::to_string(identifier) + ") but holds tag " + std::to_string(found));
            return std::nullopt;
        }
        if (tag.location != location)
            problem("UDF: " + what.text() + " at sector " + std::to_string(sector) + " records location " +
                    std::to_string(tag.location) + ", not " + std::to_string(location));
        if (tag.checksum != udf::tag_checksum(*out))
            problem("UDF: " + what.text() + " at sector " + std::to_string(sector) + " has a bad tag checksum");
        else if (!udf::tag_is_valid(*out))
            problem("UDF: " + what.text() + " at sector " + std::to_string(sector) + " has a bad CRC");
        return out;
    }

    // read_tag into a sector of the caller's.
    bool read_tag(std::uint64_t sector, std::uint16_t identifier, std::uint32_t location, What what, Sector& out) {
        const auto bytes = read_tag(sector, identifier, location, what);
        if (bytes) std::copy(bytes->begin(), bytes->end(), out.begin());
        return bytes.has_value();
    }

    std::optional<ByteView> read_block(std::uint32_t block, std::uint16_t identifier, What what) {
        return read_tag(std::uint64_t{volume_.partition_start} + block, identifier, block, what);
    }

    void check_closing_anchor() {
        if (image_sectors_ <= udf::avdp::kFirstAnchorSector + 1) return;
        const auto last = image_sectors_ - 1;
        read_tag(last, udf::kAnchorVolumeDescriptorPointer, static_cast<std::uint32_t>(last),
                 {"closing anchor (last sector)", {}});
    }

    bool read_sequence(std::uint32_t first, std::uint32_t length) {
        bool have_partition = false;
        bool have_volume = false;
        const std::uint32_t count = std::min<std::uint32_t>(length / kSectorSize, kLongestSequence);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t sector = std::uint64_t{first} + i;
            Sector d{};
            if (sector >= image_sectors_ || !image_.read_exact_at(sector_offset(sector), d)) break;
            const std::uint16_t id = udf::decode_tag(d).identifier;
            if (id == udf::kTerminatingDescriptor || id == 0) break;
            if (!udf::tag_is_valid(d))
                problem("UDF: descriptor " + std::to_string(id) + " at sector " + std::to_string(sector) +
                        " has a bad checksum or CRC");
            if (id == udf::kPartitionDescriptor && !have_partition) {
                const auto partition = udf::decode_partition_descriptor(d);
                volume_.partition_start = partition.starting_location;
                volume_.partition_length = partition.length;
                have_partition = true;
            } else if (id == udf::kLogicalVolumeDescriptor && !have_volume) {
                if (udf::logical_block_size(d) != kSectorSize)
                    problem("UDF: the logical volume's block size is not 2048");
                file_set_block_ = udf::file_set_location(d).block;
                have_volume = true;
            }
        }
        if (!have_partition) problem("UDF: the volume descriptor sequence at sector " + std::to_string(first) +
                                     " holds no partition descriptor");
        if (!have_volume) problem("UDF: the volume descriptor sequence at sector " + std::to_string(first) +
                                  " holds no logical volume descriptor");
        return have_partition && have_volume;
    }

    struct Entry {
        std::uint64_t size = 0;
        std::uint32_t first_block = 0;
        std::uint32_t extent_count = 0;
        std::uint64_t recorded_blocks = 0;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;  // block, bytes
        bool directory = false;
    };

    // Fills entry anew (its extents keep their room, so one entry serves a loop).
    bool read_entry(std::uint32_t block, std::string_view shown, Entry& entry) {
        entry.extents.clear();
        entry.first_block = 0;
        const auto bytes = read_block(block, udf::kFileEntry, {"File Entry of ", shown});
        if (!bytes) return false;
        const auto decoded = udf::decode_file_entry(*bytes);
        if (!decoded) {
            problem("UDF: File Entry of " + std::string(shown) +
                    " claims more than one sector of attributes and descriptors");
            return false;
        }
        entry.size = decoded->information_length;
        entry.recorded_blocks = decoded->logical_blocks_recorded;
        entry.directory = decoded->is_directory();
        if (decoded->icb_tag.allocation_type() != 0) {
            problem("UDF: File Entry of " + std::string(shown) + " does not use short allocation descriptors");
            return false;
        }
        for (std::size_t i = 0; i < decoded->short_ad_count(); ++i) {
            const auto ad = decoded->short_ad_at(i);
            if (ad.recorded_length() == 0) break;
            entry.extents.emplace_back(ad.position, ad.recorded_length());
        }
        entry.extent_count = static_cast<std::uint32_t>(entry.extents.size());
        if (!entry.extents.empty()) entry.first_block = entry.extents.front().first;
        return true;
    }

    void walk_directory(const std::string& path, std::uint32_t block) {
        const std::string shown = path.empty() ? "\\" : path;
        if (!visited_.insert(block).second) {
            problem("UDF: directory " + shown + " is reached twice");
            return;
        }
        Entry entry;
        if (!read_entry(block, "directory " + shown, entry)) return;
        if (entry.size > kLargestDirectory) {
            problem("UDF: directory " + shown + " has an implausible size");
            return;
        }
        std::vector<DirectoryData::Piece> pieces;
        std::uint64_t recorded = 0;
        for (const auto& [extent_block, length] : entry.extents) {
            const std::uint64_t sector = std::uint64_t{volume_.partition_start} + extent_block;
            if (sector + sectors_to_hold(length) > image_sectors_) {
                problem("UDF: directory " + shown + " lies beyond the image");
                return;
            }
            pieces.push_back({sector_offset(sector), length});
            recorded += length;
        }
        DirectoryData data(image_, std::move(pieces), std::min(recorded, entry.size));

        std::uint64_t pos = 0;
        while (pos + udf::fid::kFixedSize <= data.size()) {
            progress::tick();
            const auto fixed = data.bytes(pos, udf::fid::kFixedSize);
            if (!fixed) return;
            if (udf::decode_tag(*fixed).identifier != udf::kFileIdentifierDescriptor) {
                problem("UDF: directory " + shown + " holds no File Identifier at byte " + std::to_string(pos));
                return;
            }
            const std::size_t length = udf::file_identifier_size(*fixed);
            if (pos + length > data.size()) {
                problem("UDF: directory " + shown + ": File Identifier at byte " + std::to_string(pos) +
                        " runs past the directory");
                return;
            }
            const auto bytes = data.bytes(pos, length);
            if (!bytes) return;
            if (!udf::tag_is_valid(*bytes))
                problem("UDF: directory " + shown + ": File Identifier at byte " + std::to_string(pos) +
                        " has a bad checksum or CRC");
            const auto fid = udf::decode_file_identifier(*bytes);
            if (!fid.is_parent_or_deleted() && !fid.is_directory() && depth_ == UdfDepth::Directories) {
                // Where its entry lies is all the caller asked for.
                volume_.file_entry_sectors.push_back(volume_.partition_start + fid.icb.block);
            } else if (!fid.is_parent_or_deleted()) {
                const std::string name = identifier(fid.identifier);
                std::string child;
                child.reserve(path.size() + 1 + name.size());
                child.append(path).append(1, '\\').append(name);
                if (fid.is_directory())
                    walk_directory(child, fid.icb.block);
                else
                    take_file(std::move(child), fid.icb.block);
            }
            pos += length;
        }
    }

    // A file's File Entry is read after the walk, with the others in sector
    // order (the walk meets them scattered); what it finds is put back in
    // walk order.
    void take_file(std::string path, std::uint32_t block) {
        pending_.push_back({std::move(path), block, volume_.problems.size()});
    }

    void read_file_entries() {
        std::vector<std::pair<std::uint32_t, std::size_t>> order;  // block, pending file
        order.reserve(pending_.size());
        for (std::size_t i = 0; i < pending_.size(); ++i) order.emplace_back(pending_[i].block, i);
        stable_sort_by_key(order);
        // What each entry says, by pending file; a file whose entry could not be read has none.
        struct Read {
            std::uint64_t size = 0;
            std::uint64_t recorded_blocks = 0;
            std::uint32_t first_block = 0;
            std::uint32_t extent_count = 0;
            bool read = false;
        };
        std::vector<Read> read(pending_.size());
        std::size_t files = 0;
        Entry entry;
        for (const auto& [block, i] : order) {
            progress::tick();
            reading_ = i;
            if (!read_entry(block, pending_[i].path, entry)) continue;
            read[i] = {entry.size, entry.recorded_blocks, entry.first_block, entry.extent_count, true};
            ++files;
        }
        reading_ = kWalking;

        // Walk order: each file after the walk's problems met before it, with its own problems.
        std::stable_sort(late_problems_.begin(), late_problems_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> walk_problems = std::move(volume_.problems);
        volume_.problems.clear();
        volume_.files.reserve(volume_.files.size() + files);
        std::size_t walk_next = 0;
        auto late = late_problems_.begin();
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            while (walk_next < pending_[i].problems_before)
                volume_.problems.push_back(std::move(walk_problems[walk_next++]));
            for (; late != late_problems_.end() && late->first == i; ++late)
                volume_.problems.push_back(std::move(late->second));
            if (!read[i].read) continue;
            UdfFile file;
            file.path = std::move(pending_[i].path);
            file.entry_sector = volume_.partition_start + pending_[i].block;
            file.size = read[i].size;
            file.sector = volume_.partition_start + read[i].first_block;
            file.extent_count = read[i].extent_count;
            file.recorded_blocks = read[i].recorded_blocks;
            volume_.files.push_back(std::move(file));
        }
        while (walk_next < walk_problems.size()) volume_.problems.push_back(std::move(walk_problems[walk_next++]));
        pending_.clear();
        late_problems_.clear();
    }

    // OSTA compressed Unicode by the listing's name rule; '?' for characters
    // past ASCII in 16-bit names, which no ISO 9660 name matches.
    static std::string identifier(ByteView bytes) {
        if (auto name = udf::identifier_listing_name(bytes)) return std::move(*name);
        std::string name;
        if (bytes.empty()) return name;
        const std::uint8_t compression = u8(bytes, 0);
        const std::size_t step = compression == 16 ? 2 : 1;
        for (std::size_t i = 1; i + step <= bytes.size(); i += step) {
            const unsigned c = step == 2 ? be16(bytes, i) : u8(bytes, i);
            name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return name;
    }

    const ImageSource& image_;
    ReadAhead sectors_;  // the descriptors: a directory's File Entries mostly stand one after another
    std::uint64_t image_sectors_;
    UdfDepth depth_;
    UdfVolume& volume_;
    std::uint32_t file_set_block_ = 0;
    std::set<std::uint32_t> visited_;

    struct PendingFile {
        std::string path;
        std::uint32_t block = 0;
        std::size_t problems_before = 0;  // the walk's problems met before the file
    };
    static constexpr std::size_t kWalking = std::numeric_limits<std::size_t>::max();
    std::vector<PendingFile> pending_;  // walk order
    std::size_t reading_ = kWalking;    // the pending file whose entry is being read
    std::vector<std::pair<std::size_t, std::string>> late_problems_;  // the entries' problems, by pending file
};

} // namespace

UdfVolume read_udf_volume(const ImageSource& image, std::uint64_t image_sectors, UdfDepth depth) {
    UdfVolume volume;
    UdfWalker(image, image_sectors, depth, volume).run();
    return volume;
}

UdfVolume read_udf_volume(const platform::ReadHandle& image, std::uint64_t image_sectors, UdfDepth depth) {
    return read_udf_volume(PlainSource(image), image_sectors, depth);
}

} // namespace isorelink::host
