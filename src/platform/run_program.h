#pragma once
// Finds and runs another program, as replace --patch runs xdelta3.
#include <optional>
#include <string>
#include <vector>

namespace isorelink::platform {

// The program's full path from the folders of PATH ("xdelta3" looks for
// xdelta3.exe on Windows), or "" when none holds it.
std::string find_program(const std::string& name);

// Runs arguments[0] (a full path) with the arguments, without a shell, and
// waits for it: its exit status, or nothing when it could not be started or
// did not exit by itself.
std::optional<int> run_program(const std::vector<std::string>& arguments);

} // namespace isorelink::platform
