#include <cstdio>

#include "cli/commands.h"

namespace isorelink::cli {

int replace_command(Args) {
    std::fprintf(stderr, "isorelink: replace is not available in this build\n");
    return 2;
}

} // namespace isorelink::cli
