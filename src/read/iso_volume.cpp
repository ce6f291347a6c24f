#include "read/iso_volume.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <set>

#include "common/messages.h"
#include "format/endian.h"
#include "format/iso9660/directory_record.h"
#include "format/iso9660/identifier_name.h"
#include "format/iso9660/layout.h"
#include "format/iso9660/volume_descriptor.h"
#include "format/iso9660/recording_time.h"
#include "format/sector.h"
#include "common/progress.h"

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

struct PendingDirectory {
    std::string path;
    std::uint32_t sector;
    std::uint32_t size;
    std::optional<std::int64_t> recorded;
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
        volume_.directories.push_back({directory.path, directory.sector, directory.size, directory.recorded});

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
                progress::tick();
                const RecordFit fit = record_fit(data.first(end), pos);
                if (fit == RecordFit::EmptyTail) break;  // the rest of this sector is empty
                if (fit == RecordFit::Overruns) {
                    problem("directory " + shown + ": record at byte " + hex_offset(offset + pos) +
                            " does not fit its sector");
                    break;
                }
                if (fit == RecordFit::IdentifierOverruns) {
                    problem("directory " + shown + ": identifier of the record at byte " + hex_offset(offset + pos) +
                            " runs past the record");
                    break;
                }
                const DirectoryRecord record = decode_directory_record(data, pos);
                take_record(path, record, offset + pos, previous_piece);
                pos += record.length;
            }
        }
    }

    void take_record(const std::string& parent, const DirectoryRecord& record, std::uint64_t offset,
                     std::string& previous_piece) {
        if (record.identifier.size() == 1) {
            const auto first = u8(record.identifier, 0);
            if (first == 0 || first == 1) return;  // the directory itself and its parent
        }
        const std::uint32_t sector = record.extent;
        const std::uint32_t size = record.data_length;
        const std::uint8_t flags = record.flags;
        const std::string name = listing_name(record.identifier);
        std::string path;
        path.reserve(parent.size() + 1 + name.size());
        path.append(parent).append(1, '\\').append(name);
        const auto recorded = recording_time(record.recording_time);
        if (flags & iso::dr::kFlagDirectory) {
            queue_.push_back({std::move(path), sector, size, recorded});
            previous_piece.clear();
            return;
        }
        IsoFile file{{}, sector, size, flags, offset, false, recorded};
        if (flags & iso::dr::kFlagMultiExtent) {
            file.multi_extent = true;
            previous_piece = path;
        } else if (!previous_piece.empty()) {
            file.multi_extent = previous_piece == path;  // the last extent of that file
            previous_piece.clear();
        }
        file.path = std::move(path);
        volume_.files.push_back(std::move(file));
    }

    const ImageSource& image_;
    IsoVolume& volume_;
    std::deque<PendingDirectory> queue_;
    std::set<std::uint32_t> visited_;
    std::vector<std::byte> block_;  // the block of the directory being read
};

} // namespace

Expected<IsoVolume> read_iso_volume(const ImageSource& image) {
    IsoVolume volume;
    const auto size = image.size();
    if (!size) return job_error(msg::kCannotReadImageLength);
    volume.image_size = *size;

    std::array<std::byte, kSectorSize> pvd{};
    if (!image.read_exact_at(iso::kPrimaryDescriptorOffset, pvd))
        return job_error(msg::kNoRoomForVolumeDescriptor);
    if (!is_primary_volume_descriptor(pvd)) return job_error(msg::kNoVolumeDescriptor);
    const auto descriptor = decode_primary_volume_descriptor(pvd);

    const auto kind = kind_named_by(system_byte(pvd), application_byte(pvd));
    volume.kind = kind.value_or(ImageKind::PspUmd);
    volume.kind_recognised = kind.has_value();
    volume.volume_space_size = descriptor.volume_space_size;
    volume.path_table_size = descriptor.path_table_size;
    volume.path_table_sectors[0] = descriptor.type_l_path_table;
    volume.path_table_sectors[1] = descriptor.optional_type_l_path_table;
    volume.path_table_sectors[2] = descriptor.type_m_path_table;
    volume.path_table_sectors[3] = descriptor.optional_type_m_path_table;

    Walker walker(image, volume);
    walker.walk({"", descriptor.root.extent, descriptor.root.data_length, recording_time(descriptor.root.recording_time)});
    return volume;
}

Expected<IsoVolume> read_iso_volume(const platform::ReadHandle& image) {
    return read_iso_volume(PlainSource(image));
}

std::string normalise_iso_path(std::string_view path) {
    std::string out;
    out.reserve(path.size() + 1);
    append_normalised_iso_path(out, path);
    return out;
}

void append_normalised_iso_path(std::string& out, std::string_view path) {
    if (path.empty() || (path.front() != '\\' && path.front() != '/')) out.push_back('\\');
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        out.push_back(c);
    }
}

} // namespace isorelink::host
