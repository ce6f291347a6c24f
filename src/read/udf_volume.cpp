#include "read/udf_volume.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <set>

#include "format/endian.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "format/udf/tag.h"
#include "platform/message_pump.h"

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
    UdfWalker(const ImageSource& image, std::uint64_t image_sectors, UdfVolume& volume)
        : image_(image), image_sectors_(image_sectors), volume_(volume) {}

    void run() {
        Sector anchor{};
        if (!read_tag(udf::avdp::kFirstAnchorSector, udf::kAnchorVolumeDescriptorPointer,
                      udf::avdp::kFirstAnchorSector, "anchor", anchor))
            return;
        check_closing_anchor();
        if (!read_sequence(le32(anchor, udf::avdp::kMainSequenceLocation),
                           le32(anchor, udf::avdp::kMainSequenceLength)))
            return;
        Sector fsd{};
        if (!read_block(file_set_block_, udf::kFileSetDescriptor, "File Set Descriptor", fsd)) return;
        volume_.found = true;
        const auto root = ByteView(fsd).subspan(udf::walk::kFsdRootIcb, 16);
        walk_directory("", le32(root, udf::walk::kLongAdBlock));
    }

private:
    void problem(std::string text) { volume_.problems.push_back(std::move(text)); }

    // Reads an absolute sector and checks its tag: identifier, location,
    // checksum and CRC.
    bool read_tag(std::uint64_t sector, std::uint16_t identifier, std::uint32_t location, const char* what,
                  Sector& out) {
        if (sector >= image_sectors_ || !image_.read_exact_at(sector_offset(sector), out)) {
            problem(std::string("UDF: ") + what + " at sector " + std::to_string(sector) + " lies beyond the image");
            return false;
        }
        const std::uint16_t found = le16(out, udf::tag::kIdentifier);
        if (found != identifier) {
            problem(std::string("UDF: sector ") + std::to_string(sector) + " should hold the " + what + " (tag " +
                    std::to_string(identifier) + ") but holds tag " + std::to_string(found));
            return false;
        }
        if (le32(out, udf::tag::kLocation) != location)
            problem(std::string("UDF: ") + what + " at sector " + std::to_string(sector) + " records location " +
                    std::to_string(le32(out, udf::tag::kLocation)) + ", not " + std::to_string(location));
        if (u8(out, udf::tag::kChecksum) != udf::tag_checksum(out))
            problem(std::string("UDF: ") + what + " at sector " + std::to_string(sector) + " has a bad tag checksum");
        else if (!udf::tag_is_valid(out))
            problem(std::string("UDF: ") + what + " at sector " + std::to_string(sector) + " has a bad CRC");
        return true;
    }

    bool read_block(std::uint32_t block, std::uint16_t identifier, const char* what, Sector& out) {
        return read_tag(std::uint64_t{volume_.partition_start} + block, identifier, block, what, out);
    }

    void check_closing_anchor() {
        if (image_sectors_ <= udf::avdp::kFirstAnchorSector + 1) return;
        const auto last = image_sectors_ - 1;
        Sector anchor{};
        read_tag(last, udf::kAnchorVolumeDescriptorPointer, static_cast<std::uint32_t>(last),
                 "closing anchor (last sector)", anchor);
    }

    bool read_sequence(std::uint32_t first, std::uint32_t length) {
        bool have_partition = false;
        bool have_volume = false;
        const std::uint32_t count = std::min<std::uint32_t>(length / kSectorSize, kLongestSequence);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t sector = std::uint64_t{first} + i;
            Sector d{};
            if (sector >= image_sectors_ || !image_.read_exact_at(sector_offset(sector), d)) break;
            const std::uint16_t id = le16(d, udf::tag::kIdentifier);
            if (id == udf::kTerminatingDescriptor || id == 0) break;
            if (!udf::tag_is_valid(d))
                problem("UDF: descriptor " + std::to_string(id) + " at sector " + std::to_string(sector) +
                        " has a bad checksum or CRC");
            if (id == udf::kPartitionDescriptor && !have_partition) {
                volume_.partition_start = le32(d, udf::pd::kStartingLocation);
                volume_.partition_length = le32(d, udf::pd::kLength);
                have_partition = true;
            } else if (id == udf::kLogicalVolumeDescriptor && !have_volume) {
                if (le32(d, udf::walk::kLvdBlockSize) != kSectorSize)
                    problem("UDF: the logical volume's block size is not 2048");
                file_set_block_ = le32(d, udf::walk::kLvdFileSetLocation + udf::walk::kLongAdBlock);
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
        Sector bytes{};
        std::uint64_t size = 0;
        std::uint32_t first_block = 0;
        std::uint32_t extent_count = 0;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;  // block, bytes
        bool directory = false;
    };

    bool read_entry(std::uint32_t block, const std::string& shown, Entry& entry) {
        if (!read_block(block, udf::kFileEntry, ("File Entry of " + shown).c_str(), entry.bytes)) return false;
        const ByteView fe(entry.bytes);
        entry.size = le64(fe, udf::fe::kInformationLength);
        entry.directory = u8(fe, udf::walk::kFileType) == udf::walk::kFileTypeDirectory;
        const std::uint32_t ea = le32(fe, udf::fe::kExtendedAttributesLength);
        const std::uint32_t ad = le32(fe, udf::fe::kAllocationDescriptorsLength);
        if (std::uint64_t{udf::fe::kExtendedAttributes} + ea + ad > kSectorSize) {
            problem("UDF: File Entry of " + shown + " claims more than one sector of attributes and descriptors");
            return false;
        }
        if ((le16(fe, udf::walk::kIcbFlags) & udf::walk::kAllocationTypeMask) != 0) {
            problem("UDF: File Entry of " + shown + " does not use short allocation descriptors");
            return false;
        }
        for (std::uint32_t at = 0; at + udf::short_ad::kSize <= ad; at += udf::short_ad::kSize) {
            const std::size_t off = udf::fe::kExtendedAttributes + ea + at;
            const std::uint32_t length = le32(fe, off + udf::short_ad::kExtentLength) & udf::walk::kExtentLengthMask;
            if (length == 0) break;
            entry.extents.emplace_back(le32(fe, off + udf::short_ad::kExtentPosition), length);
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
        while (pos + udf::walk::kFidFixedSize <= data.size()) {
            platform::yield_to_host();
            const auto fixed = data.bytes(pos, udf::walk::kFidFixedSize);
            if (!fixed) return;
            if (le16(*fixed, udf::tag::kIdentifier) != udf::kFileIdentifierDescriptor) {
                problem("UDF: directory " + shown + " holds no File Identifier at byte " + std::to_string(pos));
                return;
            }
            const std::size_t id_length = u8(*fixed, udf::walk::kFidIdentifierLength);
            const std::size_t iu_length = le16(*fixed, udf::walk::kFidImplementationUseLength);
            const std::size_t length = (udf::walk::kFidFixedSize + iu_length + id_length + 3) & ~std::size_t{3};
            if (pos + length > data.size()) {
                problem("UDF: directory " + shown + ": File Identifier at byte " + std::to_string(pos) +
                        " runs past the directory");
                return;
            }
            const auto fid = data.bytes(pos, length);
            if (!fid) return;
            if (!udf::tag_is_valid(*fid))
                problem("UDF: directory " + shown + ": File Identifier at byte " + std::to_string(pos) +
                        " has a bad checksum or CRC");
            const std::uint8_t traits = u8(*fid, udf::walk::kFidCharacteristics);
            if (!(traits & (udf::walk::kFidParent | udf::walk::kFidDeleted))) {
                const std::string child =
                    path + "\\" + identifier(fid->subspan(udf::walk::kFidFixedSize + iu_length, id_length));
                const std::uint32_t child_block = le32(*fid, udf::walk::kFidIcb + udf::walk::kLongAdBlock);
                if (traits & udf::walk::kFidDirectory)
                    walk_directory(child, child_block);
                else
                    take_file(child, child_block);
            }
            pos += length;
        }
    }

    void take_file(const std::string& path, std::uint32_t block) {
        Entry entry;
        if (!read_entry(block, path, entry)) return;
        UdfFile file;
        file.path = path;
        file.entry_sector = volume_.partition_start + block;
        file.size = entry.size;
        file.sector = volume_.partition_start + entry.first_block;
        file.extent_count = entry.extent_count;
        file.recorded_blocks = le64(entry.bytes, udf::fe::kLogicalBlocksRecorded);
        volume_.files.push_back(std::move(file));
    }

    // OSTA compressed Unicode: 8-bit or 16-bit big-endian characters.
    static std::string identifier(ByteView bytes) {
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
    std::uint64_t image_sectors_;
    UdfVolume& volume_;
    std::uint32_t file_set_block_ = 0;
    std::set<std::uint32_t> visited_;
};

} // namespace

UdfVolume read_udf_volume(const ImageSource& image, std::uint64_t image_sectors) {
    UdfVolume volume;
    UdfWalker(image, image_sectors, volume).run();
    return volume;
}

UdfVolume read_udf_volume(const platform::ReadHandle& image, std::uint64_t image_sectors) {
    return read_udf_volume(PlainSource(image), image_sectors);
}

} // namespace isorelink::host
