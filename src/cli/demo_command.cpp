#include <cstdio>

#include "cli/commands.h"

namespace isorelink::cli {

int demo_command(Args) {
    std::fprintf(stderr, "isorelink: demo is not available in this build\n");
    return 2;
}

} // namespace isorelink::cli
