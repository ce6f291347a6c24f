// mkimage: author a PS2 CD, PS2 DVD or PSP UMD image from a folder.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "kit/image_builder.h"

namespace isorelink::cli {

namespace {

constexpr const char* kUsage = "usage: isorelink mkimage --kind ps2cd|ps2dvd|pspumd [--volume ID] SRC_DIR OUT.ISO\n";

std::optional<ImageKind> kind_named(std::string_view name) {
    if (name == "ps2cd") return ImageKind::Ps2Cd;
    if (name == "ps2dvd") return ImageKind::Ps2Dvd;
    if (name == "pspumd") return ImageKind::PspUmd;
    return std::nullopt;
}

} // namespace

int mkimage_command(Args args) {
    std::optional<ImageKind> kind;
    std::optional<std::string> volume;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if ((arg == "--kind" || arg == "--volume") && i + 1 < args.size()) {
            if (arg == "--kind") {
                kind = kind_named(args[++i]);
                if (!kind) break;
            } else {
                volume = std::string(args[++i]);
            }
        } else if (arg.starts_with("--kind=")) {
            kind = kind_named(arg.substr(7));
            if (!kind) break;
        } else if (arg.starts_with("-")) {
            kind.reset();
            break;
        } else {
            positional.emplace_back(arg);
        }
    }
    if (!kind || positional.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    auto recipe = kit::recipe_from_folder(positional[0], *kind);
    if (!recipe) {
        std::fprintf(stderr, "%s\n", recipe.error().message.c_str());
        return 1;
    }
    if (volume) recipe->volume_id = *volume;
    auto built = kit::write_image(*recipe, positional[1]);
    if (!built) {
        std::fprintf(stderr, "%s\n", built.error().message.c_str());
        return 1;
    }
    std::printf("%s image, %zu files, %zu directories, %u sectors\nwrote %s\n", std::string(to_string(*kind)).c_str(),
                recipe->files.size(), built->directories.size(), built->sector_count, positional[1].c_str());
    return 0;
}

} // namespace isorelink::cli
