#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "cli/commands.h"

namespace {

constexpr std::string_view kVersion = "isorelink 1.0.5";

constexpr std::string_view kUsage =
    "isorelink - sector listings and relinking for PS2 CD, PS2 DVD and PSP UMD images\n"
    "\n"
    "usage: isorelink COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  extract PATH/IMAGE.ISO     write IMAGE.ISO-LSN.TXT, IMAGE.ISO-Filelist.txt and IMAGE.ISO.xqe\n"
    "  rebuild PATH/IMAGE.ISO     patch NEW-IMAGE.ISO from IMAGE.ISO-relink-LSN.TXT\n"
    "  mkimage --kind ps2cd|ps2dvd|pspumd SRC_DIR OUT.ISO\n"
    "                             author a sample image from a folder\n"
    "  replace IMAGE.ISO ISO_PATH=LOCAL_FILE [...] [--quiet]\n"
    "                             write NEW-IMAGE.ISO with files replaced, every other file in place\n"
    "  verify IMAGE.ISO           check an image's volume size, extents and UDF bridge\n"
    "  demo [DIR]                 build a sample image and run the whole round trip on it\n"
    "  convert IN OUT [--mode1]   between .iso, .cue/.bin, .cso and .zso, by extension\n"
    "\n"
    "  --help, --version\n";

struct Command {
    std::string_view name;
    int (*run)(isorelink::cli::Args);
};

constexpr Command kCommands[] = {
    {"extract", isorelink::cli::extract_command}, {"rebuild", isorelink::cli::rebuild_command},
    {"mkimage", isorelink::cli::mkimage_command}, {"replace", isorelink::cli::replace_command},
    {"verify", isorelink::cli::verify_command},   {"demo", isorelink::cli::demo_command},
    {"convert", isorelink::cli::convert_command},
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage.data(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::printf("%s\n", kVersion.data());
        return 0;
    }
    for (const auto& command : kCommands) {
        if (args[0] != command.name) continue;
        try {
            return command.run(isorelink::cli::Args(args).subspan(1));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "isorelink: %s\n", e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "isorelink: unknown command '%.*s' (try --help)\n", static_cast<int>(args[0].size()),
                 args[0].data());
    return 2;
}
