#include "imagekit/image_builder.h"

namespace isorelink::kit {

Expected<BuiltImage> write_image(const ImageSpec&, const std::string&) {
    return JobError{"image kit: not built yet"};
}

Expected<BuiltImage> build_image(const ImageSpec&, std::vector<std::byte>&) {
    return JobError{"image kit: not built yet"};
}

Expected<ImageSpec> spec_from_folder(const std::string&, ImageKind) { return JobError{"image kit: not built yet"}; }

} // namespace isorelink::kit
