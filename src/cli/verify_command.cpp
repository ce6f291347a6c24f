// verify IMAGE.ISO
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "tools/verify_image.h"

namespace isorelink::cli {

int verify_command(Args args) {
    // --any: a consistent plain ISO 9660 image passes although no kind's checks apply.
    bool any = false;
    std::string image;
    for (const auto arg : args) {
        if (arg == "--any" && !any) {
            any = true;
        } else if (arg.starts_with("-") || !image.empty()) {
            image.clear();
            break;
        } else {
            image = std::string(arg);
        }
    }
    if (image.empty()) {
        std::fprintf(stderr, "usage: isorelink verify [--any] IMAGE.ISO\n");
        return 2;
    }
    auto report = host::verify_image(image);
    if (!report) {
        std::fprintf(stderr, "isorelink %s\n", report.error().message.c_str());
        return 1;
    }
    for (const auto& problem : report->problems) std::printf("%s\n", problem.c_str());
    std::printf("%s\n", report->summary.c_str());
    if (!report->recognised) {
        std::fprintf(stderr, "isorelink: %s%s\n", report->skipped.c_str(),
                     any ? "" : "; pass --any to accept a consistent plain ISO 9660 image");
        if (!any) return 1;
    }
    return report->problems.empty() ? 0 : 1;
}

} // namespace isorelink::cli
