#pragma once
// The CLI's commands. Each takes the arguments after its name and returns
// the process exit code (cli/console.h). Errors go to stderr as
// "isorelink: " and the same coded message the status file would hold, then
// what to do next.
#include <span>
#include <string_view>

namespace isorelink::cli {

using Args = std::span<const std::string_view>;

int extract_command(Args args);
int rebuild_command(Args args);
int mkimage_command(Args args);
int replace_command(Args args);
int verify_command(Args args);
int demo_command(Args args);
int list_command(Args args);
int unpack_command(Args args);
int convert_command(Args args);

} // namespace isorelink::cli
