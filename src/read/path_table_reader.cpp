#include "read/path_table_reader.h"

#include <algorithm>
#include <array>

#include "format/iso9660/layout.h"
#include "common/messages.h"
#include "format/sector.h"
#include "common/progress.h"
#include "platform/read_handle.h"
#include "format/iso9660/identifier_name.h"
#include "format/iso9660/path_table_record.h"
#include "format/iso9660/volume_descriptor.h"

namespace isorelink {

namespace {

// The longest record: 8 fixed bytes, 255 identifier bytes and a pad byte.
constexpr std::size_t kLongestRecord = iso::ptr::record_size(255);

// Walking back from the insertion point of an ordered list reaches exactly
// the earlier records whose parent number is not above the new one's: that
// is where the parent may be found.
const DirectoryNode* visible_parent(const std::vector<DirectoryNode>& earlier, std::uint16_t parent_number) {
    if (parent_number == 0 || parent_number > earlier.size()) return nullptr;
    const DirectoryNode& candidate = earlier[parent_number - 1];
    return candidate.parent_number <= parent_number ? &candidate : nullptr;
}

} // namespace

Expected<std::vector<DirectoryNode>> directory_list(ByteView table, std::uint32_t table_size,
                                                    const std::string& image_path) {
    if (table_size == 0) return structure_error(image_path, "empty path table");
    std::vector<DirectoryNode> nodes;
    std::size_t path_characters = 0;
    for (std::uint64_t offset = 0; offset < table_size;) {
        progress::tick();
        if (nodes.size() == kMaxPathTableRecords) {
            return structure_error(image_path, "more than 65535 path table records");
        }
        const auto record = decode_path_table_record(table, static_cast<std::size_t>(offset));
        if (!record) return structure_error(image_path, "path table record outside the image");

        DirectoryNode node;
        node.extent = record->extent;
        node.number = static_cast<std::uint16_t>(nodes.size() + 1);
        node.parent_number = record->parent_number;
        node.identifier_length = record->identifier_length();
        if (!nodes.empty()) {
            std::string name = listing_name(record->identifier);
            const DirectoryNode* parent = visible_parent(nodes, record->parent_number);
            if (parent != nullptr && parent->path_too_long) {
                node.path_too_long = true;
            } else {
                node.path = parent == nullptr ? std::move(name) : parent->path + "\\" + name;
                if (node.path.size() > kMaxDirectoryPath) {
                    node.path_too_long = true;
                    node.path.clear();
                    node.path.shrink_to_fit();
                }
            }
            path_characters += node.path.size();
            if (path_characters > kMaxDirectoryPathsTotal)
                return structure_error(image_path, "directory paths too long in total");
        }
        nodes.push_back(std::move(node));
        offset += record->size;
    }
    std::stable_sort(nodes.begin(), nodes.end(), [](const DirectoryNode& a, const DirectoryNode& b) {
        return a.parent_number < b.parent_number;
    });
    return nodes;
}

Expected<std::vector<DirectoryNode>> read_directory_list(const std::string& image_path) {
    auto image = platform::ReadHandle::open(image_path);
    if (!image) return job_error(msg::kWalkOpenImage, image_path);
    return read_directory_list(*image, image_path);
}

Expected<std::vector<DirectoryNode>> read_directory_list(const platform::ReadHandle& image,
                                                         const std::string& image_path) {
    const platform::ReadHandle* const handle = &image;  // as the walker reads it
    std::array<std::byte, kPathTableFieldsEnd> descriptor{};
    if (!handle->read_exact_at(iso::kPrimaryDescriptorOffset, descriptor)) {
        return structure_error(image_path, "primary volume descriptor outside the image");
    }
    const std::uint32_t table_size = path_table_size(descriptor);
    const std::uint64_t table_offset = sector_offset(type_l_path_table(descriptor));

    // Read the table and the longest record that may start at its last byte,
    // as far as the image goes. The list refuses a table before its 65,536th
    // record, so a size claiming more than the longest table reads no further.
    const std::uint64_t image_size = handle->size().value_or(0);
    const std::uint64_t available = table_offset < image_size ? image_size - table_offset : 0;
    const std::uint64_t wanted = std::min<std::uint64_t>(table_size, kLongestPathTable) + kLongestRecord;
    std::vector<std::byte> table(static_cast<std::size_t>(std::min(wanted, available)));
    table.resize(handle->read_at(table_offset, table));
    progress::tick();
    return directory_list(table, table_size, image_path);
}

} // namespace isorelink
