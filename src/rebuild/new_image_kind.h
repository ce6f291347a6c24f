#pragma once
// The kind of the new image, from two bytes of its primary volume
// descriptor: the system identifier's second character (32777) and the
// first byte of the XA signature in the application use area (33792).
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "format/image_kind.h"
#include "common/result.h"

namespace isorelink {

// Reads the two bytes. The rebuild starts from PspUmd and makes no header
// test: a pair of bytes that matches no kind is served as a PSP UMD. An image too short to hold them is no disc image at
// all and is refused with code 409: serving it as a PSP UMD would have the
// end step write a volume size beyond its end.
Expected<ImageKind> new_image_kind(File& image, std::uint64_t image_size, const std::string& image_path);

} // namespace isorelink
