#include <cstdio>

#include "cli/commands.h"

namespace isorelink::cli {

int mkimage_command(Args) {
    std::fprintf(stderr, "isorelink: mkimage is not available in this build\n");
    return 2;
}

} // namespace isorelink::cli
