#include "rebuild/new_image_kind.h"

#include "format/iso9660/layout.h"
#include "common/messages.h"
#include "read/image_kind_probe.h"

namespace isorelink {

Expected<ImageKind> new_image_kind(File& image, std::uint64_t image_size, const std::string& image_path) {
    static_assert(iso::kApplicationByteOffset > iso::kSystemByteOffset);
    if (image_size <= iso::kApplicationByteOffset) return job_error(msg::kNewImageTooShort, image_path);
    // The same two bytes and rules as the extraction, from another start.
    return detect_image_kind(image, ImageKind::PspUmd);
}

} // namespace isorelink
