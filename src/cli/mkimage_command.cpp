// mkimage: author a PS2 CD, PS2 DVD or PSP UMD image from a folder.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/console.h"
#include "kit/image_builder.h"
#include "tools/replace_job.h"

namespace isorelink::cli {

namespace {

constexpr std::string_view kUsage =
    "usage: isorelink mkimage --kind ps2cd|ps2dvd|pspumd [--volume ID] [--quiet] SRC_DIR OUT.ISO\n"
    "  authors a sample image holding the files of SRC_DIR (names as ISO 9660 level 1 allows them)\n"
    "  --kind KIND   ps2cd, ps2dvd (ISO 9660 with a UDF bridge) or pspumd\n"
    "  --volume ID   the volume identifier (d-characters)\n"
    "  --quiet       print only errors and warnings\n";

std::optional<ImageKind> kind_named(std::string_view name) {
    if (name == "ps2cd") return ImageKind::Ps2Cd;
    if (name == "ps2dvd") return ImageKind::Ps2Dvd;
    if (name == "pspumd") return ImageKind::PspUmd;
    return std::nullopt;
}

} // namespace

int mkimage_command(Args args) {
    CommandLine line;
    if (const auto code = line.parse(args, kUsage, {"--quiet"}, {"--kind", "--volume"})) return *code;
    const std::string kind_name = line.value("--kind");
    if (kind_name.empty()) return usage_error("name the kind: --kind ps2cd, ps2dvd or pspumd", kUsage);
    const auto kind = kind_named(kind_name);
    if (!kind) return usage_error("unknown kind '" + kind_name + "': ps2cd, ps2dvd or pspumd", kUsage);
    if (line.operands().size() != 2) return usage_error("name the source folder and the new image", kUsage);
    const auto& source = line.operands()[0];
    const auto& image = line.operands()[1];
    auto recipe = kit::recipe_from_folder(source, *kind);
    if (!recipe) return fail(recipe.error());
    if (const auto volume = line.value("--volume"); !volume.empty()) recipe->volume_id = volume;
    auto built = kit::write_image(*recipe, image);
    if (!built) return fail(built.error());
    Output(line.has("--quiet"))
        .print(std::string(to_string(*kind)) + " image, " + host::counted(recipe->files.size(), "file", "files") +
               ", " + host::counted(built->directories.size(), "directory", "directories") + ", " +
               host::counted(built->sector_count, "sector", "sectors") + "\nwrote " + image + "\n");
    return kExitSuccess;
}

} // namespace isorelink::cli
