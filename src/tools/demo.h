#pragma once
// demo: the whole round trip on a small sample PS2 DVD image. Builds the
// image with the image kit, extracts its sector listing, replaces one file
// with a larger one and one with a smaller one, verifies the new image and
// shows the listing lines before and after.
#include <cstdio>
#include <string>

#include "common/result.h"

namespace isorelink::host {

// Runs in `folder` (created when missing); an empty folder means a new
// temporary folder. Writes its account to `out`.
Status run_demo(const std::string& folder, std::FILE* out);

} // namespace isorelink::host
