#include "cli/console.h"

#include <string>

namespace isorelink::cli {

namespace {

void print_line(std::string_view prefix, std::string_view text) {
    std::fprintf(stderr, "%.*s%.*s\n", static_cast<int>(prefix.size()), prefix.data(), static_cast<int>(text.size()),
                 text.data());
}

} // namespace

int fail(const JobError& error, std::string_view next_step) {
    print_line("isorelink: ", error.message);
    if (next_step.empty()) next_step = next_step_for(error.kind);
    print_line("", next_step);
    return kExitFailed;
}

int usage_error(std::string_view reason, std::string_view usage) {
    print_line("isorelink: ", reason);
    std::fwrite(usage.data(), 1, usage.size(), stderr);
    return kExitUsage;
}

std::string_view next_step_for(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::BadInput: return "check the command line and the files it names, then run it again";
    case ErrorKind::BadImage: return "check that the image is a complete PS2 CD, PS2 DVD or PSP UMD image (isorelink verify IMAGE)";
    case ErrorKind::Io: return "check that the file exists, that you may read it and that its folder is writable, then run it again";
    case ErrorKind::Internal: return "this is a fault of isorelink: please report it with the command line and the image's listing";
    }
    return {};
}

} // namespace isorelink::cli
