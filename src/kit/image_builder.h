#pragma once
// Builds an image of one of the three kinds from an ImageRecipe.
#include <cstddef>
#include <string>
#include <vector>

#include "common/result.h"
#include "kit/image_recipe.h"

namespace isorelink::kit {

// Plans the layout and writes the image to a file (sparse where the content
// is zero). Fails with a readable message for recipes it cannot honour
// (overlapping sectors, names ISO 9660 cannot hold, ...).
Expected<BuiltImage> write_image(const ImageRecipe& recipe, const std::string& path);

// The same image in memory.
Expected<BuiltImage> build_image(const ImageRecipe& recipe, std::vector<std::byte>& out);

// Reads a folder into an ImageRecipe: names upper-cased to d-characters where
// needed; refuses names it cannot represent.
Expected<ImageRecipe> recipe_from_folder(const std::string& folder, ImageKind kind);

} // namespace isorelink::kit
