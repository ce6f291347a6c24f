// verify IMAGE.ISO
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "tools/verify_image.h"

namespace isorelink::cli {

int verify_command(Args args) {
    if (args.size() != 1 || args[0].starts_with("-")) {
        std::fprintf(stderr, "usage: isorelink verify IMAGE.ISO\n");
        return 2;
    }
    auto report = host::verify_image(std::string(args[0]));
    if (!report) {
        std::fprintf(stderr, "isorelink %s\n", report.error().message.c_str());
        return 1;
    }
    for (const auto& problem : report->problems) std::printf("%s\n", problem.c_str());
    std::printf("%s\n", report->summary.c_str());
    return report->problems.empty() ? 0 : 1;
}

} // namespace isorelink::cli
