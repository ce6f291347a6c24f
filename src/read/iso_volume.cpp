#include "read/iso_volume.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <set>

#include "common/messages.h"
#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "platform/message_pump.h"

namespace isorelink::host {

namespace {

// A directory larger than this is not a directory any game disc holds.
constexpr std::uint32_t kLargestDirectory = 64u << 20;
// Directories are read in blocks of at most this many bytes, whole sectors.
constexpr std::size_t kDirectoryBlock = 64 * 1024;

std::string hex_offset(std::uint64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(offset));
    return text;
}

// The identifier as a name: the version (";1") cut off.
std::string identifier_name(ByteView record, std::size_t length) {
    std::string name;
    name.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(u8(record, iso::dr::kIdentifier + i));
        if (c == ';') break;
        name.push_back(c);
    }
    return name;
}

struct PendingDirectory {
    std::string path;
    std::uint32_t sector;
    std::uint32_t size;
};

class Walker {
public:
    Walker(const ImageSource& image, IsoVolume& volume) : image_(image), volume_(volume) {}

    void walk(PendingDirectory root) {
        queue_.push_back(std::move(root));
        while (!queue_.empty()) {
            auto directory = std::move(queue_.front());
            queue_.pop_front();
            if (!visited_.insert(directory.sector).second) continue;
            read_directory(directory);
        }
    }

private:
    void problem(std::string text) { volume_.problems.push_back(std::move(text)); }

    void read_directory(const PendingDirectory& directory) {
        const std::string shown = directory.path.empty() ? "\\" : directory.path;
        const std::uint64_t start = sector_offset(directory.sector);
        if (directory.size == 0 || directory.size > kLargestDirectory) {
            problem("directory " + shown + " has an implausible size of " + std::to_string(directory.size) + " bytes");
            return;
        }
        const std::uint64_t length = sector_offset(sectors_to_hold(directory.size));
        if (start + directory.size > volume_.image_size) {
            problem("directory " + shown + " at sector " + std::to_string(directory.sector) + " lies beyond the image");
            return;
        }
        volume_.directories.push_back({directory.path, directory.sector, directory.size});

        // Read a block of sectors at a time: records never cross a sector.
        std::string previous_piece;  // name of the last piece of a multi-extent file, if one is open
        for (std::uint64_t done = 0; done < directory.size;) {
            const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kDirectoryBlock, length - done));
            block_.resize(wanted);
            const std::size_t got = image_.read_at(start + done, block_);
            const auto usable = static_cast<std::size_t>(std::min<std::uint64_t>(got, directory.size - done));
            read_sectors(ByteView(block_).first(usable), start + done, directory.path, previous_piece);
            if (got < wanted) break;
            done += wanted;
        }
    }

    // The records of whole sectors (the last one possibly cut short) that lie at offset in the image.
    void read_sectors(ByteView data, std::uint64_t offset, const std::string& path, std::string& previous_piece) {
        const std::string shown = path.empty() ? "\\" : path;
        for (std::size_t sector = 0; sector < data.size(); sector += kSectorSize) {
            const std::size_t end = std::min<std::size_t>(sector + kSectorSize, data.size());
            std::size_t pos = sector;
            while (pos < end) {
                platform::yield_to_host();
                const std::size_t record_length = u8(data, pos);
                if (record_length == 0) break;  // the rest of this sector is empty
                if (record_length < iso::dr::kFixedSize + 1 || pos + record_length > end) {
                    problem("directory " + shown + ": record at byte " + hex_offset(offset + pos) +
                            " does not fit its sector");
                    break;
                }
                const auto record = data.subspan(pos, record_length);
                const std::size_t id_length = u8(record, iso::dr::kIdentifierLength);
                if (iso::dr::kFixedSize + id_length > record_length) {
                    problem("directory " + shown + ": identifier of the record at byte " + hex_offset(offset + pos) +
                            " runs past the record");
                    break;
                }
                take_record(path, record, id_length, offset + pos, previous_piece);
                pos += record_length;
            }
        }
    }

    void take_record(const std::string& parent, ByteView record, std::size_t id_length, std::uint64_t offset,
                     std::string& previous_piece) {
        if (id_length == 1) {
            const auto first = u8(record, iso::dr::kIdentifier);
            if (first == 0 || first == 1) return;  // the directory itself and its parent
        }
        const std::uint32_t sector = both32(record, iso::dr::kExtent);
        const std::uint32_t size = both32(record, iso::dr::kDataLength);
        const std::uint8_t flags = u8(record, iso::dr::kFlags);
        const std::string path = parent + "\\" + identifier_name(record, id_length);
        if (flags & iso::dr::kFlagDirectory) {
            queue_.push_back({path, sector, size});
            previous_piece.clear();
            return;
        }
        IsoFile file{path, sector, size, flags, offset, false};
        if (flags & iso::dr::kFlagMultiExtent) {
            file.multi_extent = true;
            previous_piece = path;
        } else if (!previous_piece.empty()) {
            file.multi_extent = previous_piece == path;  // the last extent of that file
            previous_piece.clear();
        }
        volume_.files.push_back(std::move(file));
    }

    const ImageSource& image_;
    IsoVolume& volume_;
    std::deque<PendingDirectory> queue_;
    std::set<std::uint32_t> visited_;
    std::vector<std::byte> block_;  // the block of the directory being read
};

} // namespace

ImageKind kind_from_bytes(std::uint8_t system_byte, std::uint8_t application_byte, bool& recognised) {
    recognised = true;
    if ((system_byte == 'S' || system_byte == 'M') && application_byte == 'C') return ImageKind::PspUmd;
    if (system_byte == 'L' && application_byte == 0) return ImageKind::Ps2Dvd;
    if (system_byte == 'L' && application_byte == 'C') return ImageKind::Ps2Cd;
    recognised = false;
    return ImageKind::PspUmd;
}

Expected<IsoVolume> read_iso_volume(const ImageSource& image) {
    IsoVolume volume;
    const auto size = image.size();
    if (!size) return job_error(msg::kCannotReadImageLength);
    volume.image_size = *size;

    std::array<std::byte, kSectorSize> pvd{};
    if (!image.read_exact_at(iso::kPrimaryDescriptorOffset, pvd))
        return job_error(msg::kNoRoomForVolumeDescriptor);
    if (u8(pvd, iso::pvd::kType) != 1 || u8(pvd, iso::pvd::kStandardId) != 'C' ||
        u8(pvd, iso::pvd::kStandardId + 1) != 'D' || u8(pvd, iso::pvd::kStandardId + 2) != '0' ||
        u8(pvd, iso::pvd::kStandardId + 3) != '0' || u8(pvd, iso::pvd::kStandardId + 4) != '1')
        return job_error(msg::kNoVolumeDescriptor);

    volume.kind = kind_from_bytes(u8(pvd, iso::pvd::kSystemId + 1), u8(pvd, iso::pvd::kXaSignature),
                                  volume.kind_recognised);
    volume.volume_space_size = both32(pvd, iso::pvd::kVolumeSpaceSize);
    volume.path_table_size = both32(pvd, iso::pvd::kPathTableSize);
    volume.path_table_sectors[0] = le32(pvd, iso::pvd::kTypeLPathTable);
    volume.path_table_sectors[1] = le32(pvd, iso::pvd::kOptionalTypeLPathTable);
    volume.path_table_sectors[2] = be32(pvd, iso::pvd::kTypeMPathTable);
    volume.path_table_sectors[3] = be32(pvd, iso::pvd::kOptionalTypeMPathTable);

    const auto root = ByteView(pvd).subspan(iso::pvd::kRootDirectoryRecord, 34);
    Walker walker(image, volume);
    walker.walk({"", both32(root, iso::dr::kExtent), both32(root, iso::dr::kDataLength)});
    return volume;
}

Expected<IsoVolume> read_iso_volume(const platform::ReadHandle& image) {
    return read_iso_volume(PlainSource(image));
}

std::string normalise_iso_path(std::string_view path) {
    std::string out;
    out.reserve(path.size() + 1);
    if (path.empty() || (path.front() != '\\' && path.front() != '/')) out.push_back('\\');
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        out.push_back(c);
    }
    return out;
}

} // namespace isorelink::host
