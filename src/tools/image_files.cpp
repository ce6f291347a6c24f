#include "tools/image_files.h"

#include "format/iso9660/layout.h"

namespace isorelink::host {

void for_each_file(const IsoVolume& volume, const std::function<void(std::span<const std::size_t>)>& fn) {
    constexpr std::uint8_t kAssociated = 0x04;
    std::vector<std::size_t> records;  // the file being joined
    bool open = false;                 // it is a piece waiting for its next extent
    for (std::size_t i = 0; i < volume.files.size(); ++i) {
        const auto& record = volume.files[i];
        if (record.flags & kAssociated) continue;
        if (!open || volume.files[records.front()].path != record.path) {
            if (!records.empty()) fn(records);
            records.clear();
        }
        records.push_back(i);
        open = (record.flags & iso::dr::kFlagMultiExtent) != 0;
    }
    if (!records.empty()) fn(records);
}

std::vector<ImageFile> files_of(const IsoVolume& volume) {
    std::vector<ImageFile> files;
    for_each_file(volume, [&](std::span<const std::size_t> records) {
        ImageFile file{volume.files[records.front()].path, {records.begin(), records.end()}, 0, {}};
        for (const auto r : records) {
            file.size += volume.files[r].size;
            file.recorded = volume.files[r].recorded;
        }
        files.push_back(std::move(file));
    });
    return files;
}

} // namespace isorelink::host
