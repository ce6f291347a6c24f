#include "read/volume_trees.h"

#include <array>
#include <unordered_set>
#include <utility>

#include "common/progress.h"
#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"

namespace isorelink {

namespace {

constexpr std::uint32_t kFirstDescriptorSector = 16;
constexpr std::uint32_t kMostDescriptors = 64;
constexpr std::uint8_t kSupplementary = 2;
constexpr std::uint8_t kTerminator = 255;
constexpr std::size_t kEscapeSequences = 88;  // 32 bytes
constexpr std::uint64_t kLargestDirectory = 64u << 20;
constexpr std::size_t kMostNames = std::size_t{1} << 22;

bool is_joliet(ByteView descriptor) {
    for (std::size_t i = kEscapeSequences; i + 3 <= kEscapeSequences + 32; ++i) {
        if (descriptor[i] == std::byte{'%'} && descriptor[i + 1] == std::byte{'/'} &&
            (descriptor[i + 2] == std::byte{'@'} || descriptor[i + 2] == std::byte{'C'} ||
             descriptor[i + 2] == std::byte{'E'}))
            return true;
    }
    return false;
}

// A record's name: UCS-2 big-endian in a Joliet tree (characters past ASCII
// as '?'), bytes otherwise; the ";1" version left off.
std::string record_name(ByteView identifier, bool joliet) {
    std::string name;
    if (joliet) {
        for (std::size_t i = 0; i + 1 < identifier.size(); i += 2) {
            const unsigned c = (std::to_integer<unsigned>(identifier[i]) << 8) | std::to_integer<unsigned>(identifier[i + 1]);
            name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
    } else {
        for (const std::byte b : identifier) name += static_cast<char>(b);
    }
    if (const auto semicolon = name.rfind(';'); semicolon != std::string::npos) name.erase(semicolon);
    return name;
}

void walk_tree(const ImageReader& read, std::uint64_t image_size, ByteView root, bool joliet, VolumeTree& tree) {
    std::vector<std::pair<std::uint64_t, std::pair<std::uint32_t, std::string>>> pending;
    pending.push_back({le32(root, iso::dr::kExtent), {le32(root, iso::dr::kDataLength), std::string()}});
    std::unordered_set<std::uint64_t> visited;
    std::vector<std::byte> data;
    std::size_t names = 0;
    while (!pending.empty()) {
        auto [sector, rest] = std::move(pending.back());
        auto [length, path] = std::move(rest);
        pending.pop_back();
        progress::tick();
        if (!visited.insert(sector).second) continue;
        const std::uint64_t size = std::min<std::uint64_t>(length, kLargestDirectory);
        if (sector_offset(sector) + size > image_size) {
            tree.complete = false;
            continue;
        }
        data.resize(static_cast<std::size_t>(size));
        if (!read(sector_offset(sector), data)) {
            tree.complete = false;
            continue;
        }
        const ByteView bytes(data);
        for (std::size_t pos = 0; pos < bytes.size();) {
            const std::size_t record = std::to_integer<std::size_t>(bytes[pos]);
            if (record == 0) {  // the rest of this sector is empty
                pos = (pos / kSectorSize + 1) * kSectorSize;
                continue;
            }
            if (record < iso::dr::kFixedSize || pos + record > bytes.size()) {
                tree.complete = false;
                break;
            }
            const auto r = bytes.subspan(pos, record);
            const std::size_t id_length = std::to_integer<std::size_t>(r[iso::dr::kIdentifierLength]);
            const std::uint64_t at = sector_offset(sector) + pos;
            pos += record;
            if (iso::dr::kFixedSize + id_length > record) {
                tree.complete = false;
                break;
            }
            const auto identifier = r.subspan(iso::dr::kIdentifier, id_length);
            if (id_length == 1 && std::to_integer<unsigned>(identifier[0]) <= 1) continue;  // itself, its parent
            if (++names > kMostNames) {
                tree.complete = false;
                return;
            }
            const std::uint8_t flags = std::to_integer<std::uint8_t>(r[iso::dr::kFlags]);
            std::string child = path + "\\" + record_name(identifier, joliet);
            if ((flags & iso::dr::kFlagDirectory) != 0) {
                pending.push_back({le32(r, iso::dr::kExtent), {le32(r, iso::dr::kDataLength), std::move(child)}});
            } else {
                tree.files.push_back({std::move(child), at, le32(r, iso::dr::kExtent), le32(r, iso::dr::kDataLength)});
            }
        }
    }
}

} // namespace

std::string tree_key(const std::string& path) {
    std::string key = path;
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

std::vector<VolumeTree> read_supplementary_trees(const ImageReader& read, std::uint64_t image_size) {
    std::vector<VolumeTree> trees;
    std::array<std::byte, kSectorSize> descriptor{};
    for (std::uint32_t i = 1; i < kMostDescriptors; ++i) {
        const std::uint32_t sector = kFirstDescriptorSector + i;
        if (sector_offset(sector) + kSectorSize > image_size || !read(sector_offset(sector), descriptor)) break;
        const ByteView d(descriptor);
        if (d[1] != std::byte{'C'} || d[2] != std::byte{'D'} || d[3] != std::byte{'0'} || d[4] != std::byte{'0'} ||
            d[5] != std::byte{'1'})
            break;
        const std::uint8_t type = std::to_integer<std::uint8_t>(d[0]);
        if (type == kTerminator) break;
        if (type != kSupplementary) continue;
        VolumeTree tree;
        const bool joliet = is_joliet(d);
        tree.name = joliet ? "Joliet tree" : "supplementary tree at sector " + std::to_string(sector);
        tree.descriptor_sector = sector;
        walk_tree(read, image_size, d.subspan(iso::pvd::kRootDirectoryRecord, 34), joliet, tree);
        trees.push_back(std::move(tree));
    }
    return trees;
}

} // namespace isorelink
