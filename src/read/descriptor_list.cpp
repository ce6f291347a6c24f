#include "read/descriptor_list.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <map>

#include "read/directory_walker.h"

#include "format/sector.h"
#include "format/udf/layout.h"
#include "common/progress.h"

namespace isorelink {

Expected<std::vector<DescriptorEntry>> read_descriptor_list(ImageWindow& image, std::uint64_t anchor,
                                                            std::size_t count, const std::string& image_path) {
    std::vector<DescriptorEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        progress::tick();
        DescriptorEntry entry;
        entry.offset = anchor + sector_offset(i);
        if (entry.offset > std::numeric_limits<std::uint32_t>::max()) {
            return structure_error(image_path, "UDF allocation descriptor beyond 4 GiB");
        }
        const auto descriptor = image.bytes(entry.offset, udf::short_ad::kSize);
        if (!descriptor) return structure_error(image_path, "UDF allocation descriptor outside the image");
        entry.extent_position = le32(*descriptor, udf::short_ad::kExtentPosition);
        // The descriptor must sit in a File Entry: past the run of entries
        // lies file data, and the rebuild would patch it.
        const std::uint64_t entry_start = entry.offset - udf::fe::kShortAllocationDescriptor;
        const auto head = image.bytes(entry_start, udf::fe::kInformationLength + 8);
        if (!head || le32(*head, udf::tag::kIdentifier) != udf::kFileEntryTagWord) {
            return structure_error(image_path, "fewer UDF file entries than files");
        }
        entry.information_length = le64(*head, udf::fe::kInformationLength);
        entries.push_back(entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const DescriptorEntry& a, const DescriptorEntry& b) {
        return a.extent_position < b.extent_position;
    });
    return entries;
}

void pair_shared_sectors(const std::vector<FileEntry>& files, std::vector<DescriptorEntry>& descriptors) {
    for (std::size_t begin = 0; begin < files.size();) {
        std::size_t end = begin + 1;
        while (end < files.size() && files[end].sector == files[begin].sector) ++end;
        if (end - begin > 1) {
            std::map<std::uint64_t, std::deque<std::size_t>> by_size;
            for (std::size_t i = begin; i < end; ++i) by_size[descriptors[i].information_length].push_back(i);
            std::vector<bool> used(end - begin, false);
            std::vector<std::size_t> pick(end - begin, SIZE_MAX);
            for (std::size_t i = begin; i < end; ++i) {
                auto match = by_size.find(files[i].size);
                if (match == by_size.end() || match->second.empty()) continue;
                pick[i - begin] = match->second.front();
                used[match->second.front() - begin] = true;
                match->second.pop_front();
            }
            std::size_t next_unused = begin;
            for (auto& chosen : pick) {
                if (chosen != SIZE_MAX) continue;
                while (used[next_unused - begin]) ++next_unused;
                chosen = next_unused;
                used[next_unused - begin] = true;
            }
            std::vector<DescriptorEntry> run;
            for (const auto chosen : pick) run.push_back(descriptors[chosen]);
            std::copy(run.begin(), run.end(), descriptors.begin() + static_cast<std::ptrdiff_t>(begin));
        }
        progress::tick();
        begin = end;
    }
}

} // namespace isorelink
