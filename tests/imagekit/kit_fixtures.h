#pragma once
// Recipes the image kit tests share.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imagekit/image_builder.h"
#include "imagekit/image_recipe.h"

namespace isorelink::test {

// Builds in memory; a refusal fails the test and leaves an empty result.
inline kit::BuiltImage built_image(const kit::ImageRecipe& recipe, std::vector<std::byte>& image) {
    auto built = kit::build_image(recipe, image);
    EXPECT_TRUE(built.ok()) << (built.ok() ? "" : built.error().message);
    return built.ok() ? *built : kit::BuiltImage{};
}

inline std::string kind_name(ImageKind kind) {
    return kind == ImageKind::Ps2Cd ? "Ps2Cd" : kind == ImageKind::PspUmd ? "PspUmd" : "Ps2Dvd";
}

inline const auto kEveryKind = ::testing::Values(ImageKind::Ps2Cd, ImageKind::PspUmd, ImageKind::Ps2Dvd);

inline kit::FileRecipe pattern_file(std::string path, std::uint64_t size) {
    kit::FileRecipe file;
    file.path = std::move(path);
    file.pattern = kit::ContentPattern::Pattern;
    file.size = size;
    return file;
}

inline kit::FileRecipe text_file(std::string path, const std::string& text) {
    kit::FileRecipe file;
    file.path = std::move(path);
    for (char c : text) file.content.push_back(static_cast<std::byte>(c));
    return file;
}

// A small game-like volume: root files, a folder, a nested folder, an odd
// and an even identifier length, a file of several sectors.
inline kit::ImageRecipe sample_recipe(ImageKind kind) {
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.volume_id = "SAMPLE";
    recipe.files.push_back(text_file("\\SYSTEM.CNF", "BOOT2 = cdrom0:\\SLUS_000.01;1\r\nVER = 1.00\r\n"));
    recipe.files.push_back(pattern_file("\\SLUS_000.01", 70000));
    recipe.files.push_back(pattern_file("\\DATA\\MOVIE.PSS", 5000));
    recipe.files.push_back(pattern_file("\\DATA\\SOUND\\BGM.VAG", 2048));
    recipe.files.push_back(pattern_file("\\DATA\\A.BIN", 1));
    recipe.files.push_back(pattern_file("\\DATA\\AB.BIN", 4097));
    return recipe;
}

// Every layout knob at once: data order unlike the directory order, files
// sharing a sector, pieces (also hidden ones and a name with two dots), a
// given sector, a deep path, no version suffix, a directory of several
// sectors and padding at the end.
inline kit::ImageRecipe knobs_recipe(ImageKind kind) {
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.volume_id = "KNOBS";
    recipe.files.push_back(pattern_file("\\ZLAST.BIN", 3000));
    recipe.files.push_back(pattern_file("\\EMPTY1.DAT", 0));
    recipe.files.push_back(pattern_file("\\EMPTY2.DAT", 0));
    recipe.files.push_back(pattern_file("\\AFIRST.BIN", 100));
    auto movie = pattern_file("\\DATA\\MOVIE.PSS", 5 * 2048 + 100);
    movie.extent_limit = 4096;
    recipe.files.push_back(movie);
    auto secret = pattern_file("\\DATA\\SECRET.DAT", 5000);
    secret.extent_limit = 2048;
    secret.hidden = true;
    recipe.files.push_back(secret);
    auto dots = pattern_file("\\DATA\\A.B.C", 3000);
    dots.extent_limit = 2048;
    recipe.files.push_back(dots);
    auto hidden = pattern_file("\\HIDDEN.BIN", 10);
    hidden.hidden = true;
    recipe.files.push_back(hidden);
    auto fixed = pattern_file("\\FIXED.BIN", 2049);
    fixed.sector = 900;
    recipe.files.push_back(fixed);
    recipe.files.push_back(pattern_file("\\D1\\D2\\D3\\D4\\D5\\D6\\D7\\D8\\D9\\DEEP.TXT", 7));
    auto nover = pattern_file("\\NOVER.TXT", 12);
    nover.no_version = true;
    recipe.files.push_back(nover);
    for (int i = 0; i < 100; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "\\MANY\\F%03d.BIN", 99 - i);
        recipe.files.push_back(pattern_file(name, static_cast<std::uint64_t>(i) * 37));
    }
    recipe.directories.push_back("\\EMPTYDIR");
    recipe.padding_sectors = 10;
    return recipe;
}

} // namespace isorelink::test
