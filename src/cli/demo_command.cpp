// demo [DIR]: the whole round trip on a sample image.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "tools/demo.h"

namespace isorelink::cli {

int demo_command(Args args) {
    if (args.size() > 1 || (!args.empty() && args[0].starts_with("-"))) {
        std::fprintf(stderr, "usage: isorelink demo [DIR]\n");
        return 2;
    }
    auto outcome = host::run_demo(args.empty() ? std::string() : std::string(args[0]), stdout);
    if (!outcome) {
        std::fprintf(stderr, "isorelink %s\n", outcome.error().message.c_str());
        return 1;
    }
    return 0;
}

} // namespace isorelink::cli
