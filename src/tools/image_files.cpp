#include "tools/image_files.h"

#include "format/iso9660/layout.h"

namespace isorelink::host {

std::vector<ImageFile> files_of(const IsoVolume& volume) {
    constexpr std::uint8_t kAssociated = 0x04;
    std::vector<ImageFile> files;
    bool open = false;  // the last file is a piece waiting for its next extent
    for (std::size_t i = 0; i < volume.files.size(); ++i) {
        const auto& record = volume.files[i];
        if (record.flags & kAssociated) continue;
        if (!open || files.back().path != record.path) files.push_back(ImageFile{record.path, {}, 0, {}});
        auto& file = files.back();
        file.records.push_back(i);
        file.size += record.size;
        file.recorded = record.recorded;
        open = (record.flags & iso::dr::kFlagMultiExtent) != 0;
    }
    return files;
}

} // namespace isorelink::host
