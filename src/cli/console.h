#pragma once
// How every command speaks: results on stdout; on stderr, "isorelink: " and
// the message (a job's coded message verbatim), then one line of what to do
// next. Exit codes are the same for every command.
#include <cstdio>
#include <string_view>

#include "common/job_error.h"

namespace isorelink::cli {

// The documented exit codes (README "Exit codes").
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitProblemsFound = 1;  // verify found problems
inline constexpr int kExitUsage = 2;          // the command line was wrong
inline constexpr int kExitFailed = 3;         // the command or its job failed

// Prints the error and what to do next; returns kExitFailed.
int fail(const JobError& error, std::string_view next_step);

// The usage text of a command that was called wrongly, with a reason:
// "isorelink: REASON", the usage, then a pointer to --help. Returns kExitUsage.
int usage_error(std::string_view reason, std::string_view usage);

// What to do next for a failure of this kind, when the command has nothing
// more precise to say.
std::string_view next_step_for(ErrorKind kind);

} // namespace isorelink::cli
