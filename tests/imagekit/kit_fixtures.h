#pragma once
// Recipes the image kit tests share.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kit/image_builder.h"
#include "kit/image_recipe.h"

namespace isorelink::test {

inline std::string kind_name(ImageKind kind) {
    return kind == ImageKind::Ps2Cd ? "Ps2Cd" : kind == ImageKind::PspUmd ? "PspUmd" : "Ps2Dvd";
}

inline const auto kEveryKind = ::testing::Values(ImageKind::Ps2Cd, ImageKind::PspUmd, ImageKind::Ps2Dvd);

inline kit::FileRecipe pattern_file(std::string path, std::uint64_t size, std::uint32_t extent_limit = 0) {
    kit::FileRecipe file;
    file.path = std::move(path);
    file.pattern = kit::ContentPattern::Pattern;
    file.size = size;
    file.extent_limit = extent_limit;
    return file;
}

// Every layout knob at once: data order unlike the directory order, empty files sharing a sector, pieces (hidden
// ones, a name with two dots), a given sector, a deep path, no version suffix, a 100-file folder, end padding.
inline kit::ImageRecipe knobs_recipe(ImageKind kind) {
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.volume_id = "KNOBS";
    auto& f = recipe.files;
    f = {pattern_file("\\ZLAST.BIN", 3000), pattern_file("\\EMPTY1.DAT", 0), pattern_file("\\EMPTY2.DAT", 0),
         pattern_file("\\AFIRST.BIN", 100), pattern_file("\\DATA\\MOVIE.PSS", 5 * 2048 + 100, 4096),
         pattern_file("\\DATA\\SECRET.DAT", 5000, 2048), pattern_file("\\DATA\\A.B.C", 3000, 2048),
         pattern_file("\\HIDDEN.BIN", 10), pattern_file("\\FIXED.BIN", 2049),
         pattern_file("\\D1\\D2\\D3\\D4\\D5\\D6\\D7\\D8\\D9\\DEEP.TXT", 7), pattern_file("\\NOVER.TXT", 12)};
    f[5].hidden = f[7].hidden = true;
    f[8].sector = 900;
    f[10].no_version = true;
    for (int i = 0; i < 100; ++i)
        f.push_back(pattern_file("\\MANY\\F" + std::to_string(199 - i).substr(1) + ".BIN", i * 37u));
    recipe.directories.push_back("\\EMPTYDIR");
    recipe.padding_sectors = 10;
    return recipe;
}

} // namespace isorelink::test
