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
    "  --quiet  print only errors and warnings\n"
    "  --force  overwrite OUT even when isorelink did not write it\n"
    "  --keep   keep what a failed run wrote\n";

} // namespace

int convert_command(Args args) {
    CommandLine line;
    if (const auto code = line.parse(args, kConvertUsage, {"--mode1", "--quiet", "--force", "--keep"})) return *code;
    if (line.operands().size() != 2) return usage_error("convert: name IN and OUT", kConvertUsage);
    host::ConvertOptions options;
    options.mode1 = line.has("--mode1");
    options.quiet = line.has("--quiet");
    options.guard = {line.has("--force"), line.has("--keep")};
    auto report = host::run_convert(std::string(line.operands()[0]), std::string(line.operands()[1]), options);
    if (!report) return fail(report.error(), {});
    for (const auto& warning : report->warnings) std::fprintf(stderr, "isorelink: %s\n", warning.c_str());
    const Output out(options.quiet);
    out.print(report->summary + "\n");
    for (const auto& file : report->written) out.print("wrote " + file + "\n");
    return kExitSuccess;
}

} // namespace isorelink::cli
