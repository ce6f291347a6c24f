#include "tools/image_files.h"

#include "format/iso9660/layout.h"

namespace isorelink::host {

namespace {

// take: the volume itself, to move the paths out of it; nullptr to copy them.
std::vector<ImageFile> gather_files(const IsoVolume& volume, IsoVolume* take) {
    constexpr std::uint8_t kAssociated = 0x04;
    std::vector<ImageFile> files;
    files.reserve(volume.files.size());
    bool open = false;  // the last file is a piece waiting for its next extent
    for (std::size_t i = 0; i < volume.files.size(); ++i) {
        const auto& record = volume.files[i];
        if (record.flags & kAssociated) continue;
        if (!open || files.back().path != record.path)
            files.push_back(ImageFile{take ? std::move(take->files[i].path) : record.path, {}, 0, {}});
        auto& file = files.back();
        file.records.push_back(i);
        file.size += record.size;
        file.recorded = record.recorded;
        open = (record.flags & iso::dr::kFlagMultiExtent) != 0;
    }
    return files;
}

} // namespace

std::vector<ImageFile> files_of(const IsoVolume& volume) { return gather_files(volume, nullptr); }

std::vector<ImageFile> take_files_of(IsoVolume& volume) { return gather_files(volume, &volume); }

} // namespace isorelink::host
