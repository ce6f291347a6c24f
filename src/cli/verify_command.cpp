#include <cstdio>

#include "cli/commands.h"

namespace isorelink::cli {

int verify_command(Args) {
    std::fprintf(stderr, "isorelink: verify is not available in this build\n");
    return 2;
}

} // namespace isorelink::cli
