// verify IMAGE.ISO
#include <cstdio>
#include <string>

#include "cli/console.h"
#include "platform/bulk_memory.h"
#include "tools/verify_image.h"

namespace isorelink::cli {

namespace {

constexpr std::string_view kUsage =
    "usage: isorelink verify [--quiet] [--any] IMAGE.ISO\n"
    "  checks the volume size, every extent, overlaps and (PS2 DVD) the UDF bridge; writes nothing\n"
    "  exits 0 when the image is consistent, 1 when it found problems (one line each)\n"
    "  --quiet  print only the problems\n"
    "  --any    accept a consistent plain ISO 9660 image, which is no PS2 or PSP image\n";

} // namespace

int verify_command(Args args) {
    CommandLine line;
    if (const auto code = line.parse(args, kUsage, {"--quiet", "--any"})) return *code;
    if (line.operands().size() != 1)
        return usage_error(line.operands().empty() ? "name the image" : "name one image", kUsage);
    platform::keep_freed_heap();
    auto report = host::verify_image(line.operands()[0]);
    if (!report) return fail(report.error());
    for (const auto& problem : report->problems) std::printf("%s\n", problem.c_str());
    Output(line.has("--quiet")).print(report->summary + "\n");
    if (!report->recognised) {
        // --any: a consistent plain ISO 9660 image passes although no kind's checks apply.
        const bool any = line.has("--any");
        std::fprintf(stderr, "isorelink: %s%s\n", report->skipped.c_str(),
                     any ? "" : "; pass --any to accept a consistent plain ISO 9660 image");
        if (!any) return kExitProblemsFound;
    }
    return report->problems.empty() ? kExitSuccess : kExitProblemsFound;
}

} // namespace isorelink::cli
