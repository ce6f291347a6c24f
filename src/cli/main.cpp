#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"

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
    "  replace IMAGE.ISO ISO_PATH=LOCAL_FILE [...] [--from DIR] [--dry-run]\n"
    "                             write NEW-IMAGE.ISO with files replaced, every other file in place\n"
    "  unpack IMAGE.ISO [DIR] [ISO_PATH...]\n"
    "                             write the image's files (or the named ones) under DIR (IMAGE.ISO-files)\n"
    "  list IMAGE.ISO [--json]    every file with its sector, size and room to grow; the disc it fits\n"
    "  verify IMAGE.ISO           check an image's volume size, extents and UDF bridge\n"
    "  demo [DIR]                 build a sample image and run the whole round trip on it\n"
    "  convert IN OUT [--mode1]   between .iso, .cue/.bin, .cso and .zso, by extension\n"
    "  help COMMAND               the command's options (as COMMAND --help)\n"
    "\n"
    "  --help, --version\n"
    "\n"
    "exit codes: 0 success, 1 verify found problems, 2 the command line was wrong, 3 the command failed\n";

struct Command {
    std::string_view name;
    int (*run)(isorelink::cli::Args);
};

constexpr Command kCommands[] = {
    {"extract", isorelink::cli::extract_command}, {"rebuild", isorelink::cli::rebuild_command},
    {"mkimage", isorelink::cli::mkimage_command}, {"replace", isorelink::cli::replace_command},
    {"verify", isorelink::cli::verify_command},   {"demo", isorelink::cli::demo_command},
    {"unpack", isorelink::cli::unpack_command},   {"list", isorelink::cli::list_command},
    {"convert", isorelink::cli::convert_command},
};

} // namespace

static const Command* command_named(std::string_view name) {
    for (const auto& command : kCommands)
        if (command.name == name) return &command;
    return nullptr;
}

static int run(const Command& command, isorelink::cli::Args args) {
    try {
        return command.run(args);
    } catch (const std::exception& e) {
        return isorelink::cli::fail({isorelink::ErrorKind::Internal, e.what()});
    }
}

int main(int argc, char** argv) {
    using namespace isorelink::cli;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return usage_error("name a command", kUsage);
    if (args[0] == "--help" || args[0] == "-h" || (args[0] == "help" && args.size() == 1)) {
        std::fputs(kUsage.data(), stdout);
        return kExitSuccess;
    }
    if (args[0] == "--version") {
        std::printf("%s\n", kVersion.data());
        return kExitSuccess;
    }
    if (args[0] == "help") {
        const auto* command = command_named(args[1]);
        if (command == nullptr || args.size() > 2)
            return usage_error("help: unknown command '" + std::string(args[1]) + "'", kUsage);
        constexpr std::string_view kHelp[] = {"--help"};
        return run(*command, Args(kHelp));
    }
    const auto* command = command_named(args[0]);
    if (command == nullptr) return usage_error("unknown command '" + std::string(args[0]) + "'", kUsage);
    return run(*command, Args(args).subspan(1));
}
