#include "format/sample_images.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "kit/image_builder.h"
#include "support/test_support.h"

namespace isorelink::test {

std::optional<SampleImage> genisoimage_sample(bool udf) {
    if (!have_program("genisoimage")) return std::nullopt;
    ScratchDir dir;
    const auto tree = dir.path() / "tree";
    std::filesystem::create_directories(tree / "DATA" / "SUB");
    write_text((tree / "A.TXT").string(), "a\n");
    write_text((tree / "DATA" / "BB.BIN").string(), std::string(5000, 'b'));
    write_text((tree / "DATA" / "SUB" / "EMPTY").string(), "");
    write_text((tree / "DATA" / "SUB" / "ODD.X").string(), "odd");
    const std::string image = dir.file("g.iso");
    const auto made = run_command("genisoimage -quiet " + std::string(udf ? "-udf " : "") + "-o " +
                                  shell_quote(image) + " " + shell_quote(tree.string()));
    if (made.exit_code != 0) return std::nullopt;
    return SampleImage{read_bytes(image)};
}

SampleImage kit_sample(ImageKind kind) {
    kit::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.volume_id = "SAMPLE";
    for (const char* path : {"\\A.TXT", "\\DATA\\BB.BIN", "\\DATA\\SUB\\EMPTY", "\\DATA\\SUB\\ODD.X"}) {
        kit::FileRecipe file;
        file.path = path;
        file.pattern = kit::ContentPattern::Pattern;
        file.size = 3000;
        recipe.files.push_back(file);
    }
    SampleImage sample;
    const auto built = kit::build_image(recipe, sample.bytes);
    if (!built) ADD_FAILURE() << built.error().message;
    return sample;
}

} // namespace isorelink::test
