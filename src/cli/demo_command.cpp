// demo [DIR]: the whole round trip on a sample image.
#include <cstdio>
#include <string>

#include "cli/console.h"
#include "tools/demo.h"

namespace isorelink::cli {

namespace {

constexpr std::string_view kUsage =
    "usage: isorelink demo [--quiet] [DIR]\n"
    "  builds a sample PS2 DVD image, extracts its listing, replaces one file with a larger one and one\n"
    "  with a smaller one, verifies the new image and shows the listing before and after\n"
    "  DIR      run in DIR and keep its files there (created when missing); without it the demo runs\n"
    "           in a temporary folder and removes it at the end\n"
    "  --quiet  print only errors\n";

} // namespace

int demo_command(Args args) {
    CommandLine line;
    if (const auto code = line.parse(args, kUsage, {"--quiet"})) return *code;
    if (line.operands().size() > 1) return usage_error("name at most one folder", kUsage);
    const bool quiet = line.has("--quiet");
    std::FILE* out = quiet ? nullptr : stdout;
    auto outcome = host::run_demo(line.operands().empty() ? std::string() : line.operands()[0], out);
    if (!outcome) return fail(outcome.error());
    return kExitSuccess;
}

} // namespace isorelink::cli
