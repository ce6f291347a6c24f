// convert IN OUT [--mode1] [--quiet] [--force] [--keep]
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "tools/convert.h"

namespace isorelink::cli {

namespace {

constexpr std::string_view kConvertUsage =
    "usage: isorelink convert IN OUT [--mode1] [--quiet] [--force] [--keep]\n"
    "  converts between .iso, .cue/.bin, .cso and .zso, each told by its extension\n"
    "  a .cue or .bin OUT writes both: raw 2,352-byte Mode 2 Form 1 sectors (a PS2 CD's)\n"
    "  --mode1  write Mode 1 sectors instead\n"
    "  --quiet  no progress bar\n"
    "  --force  overwrite OUT even when isorelink did not write it\n"
    "  --keep   keep what a failed run wrote\n";

} // namespace

int convert_command(Args args) {
    host::ConvertOptions options;
    std::vector<std::string> paths;
    for (const auto arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kConvertUsage.data(), stdout);
            return kExitSuccess;
        }
        if (arg == "--mode1") options.mode1 = true;
        else if (arg == "--quiet" || arg == "-q") options.quiet = true;
        else if (arg == "--force") options.guard.force = true;
        else if (arg == "--keep") options.guard.keep = true;
        else if (arg.starts_with("-")) return usage_error("convert: unknown option '" + std::string(arg) + "'", kConvertUsage);
        else paths.emplace_back(arg);
    }
    if (paths.size() != 2) return usage_error("convert: name IN and OUT", kConvertUsage);
    auto report = host::run_convert(paths[0], paths[1], options);
    if (!report) return fail(report.error(), {});
    std::printf("%s\n", report->summary.c_str());
    for (const auto& file : report->written) std::printf("wrote %s\n", file.c_str());
    return kExitSuccess;
}

} // namespace isorelink::cli
