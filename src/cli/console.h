#pragma once
// How every command speaks: results on stdout; on stderr, "isorelink: " and
// the message (a job's coded message verbatim), then one line of what to do
// next. Exit codes are the same for every command.
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "common/job_error.h"

namespace isorelink::cli {

// The documented exit codes (README "Exit codes").
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitProblemsFound = 1;  // verify found problems
inline constexpr int kExitUsage = 2;          // the command line was wrong
inline constexpr int kExitFailed = 3;         // the command or its job failed

// Prints the error and what to do next; returns kExitFailed. A message that
// already ends with its advice (a refusal to overwrite a file) is printed as
// it is; otherwise next_step, or the advice for the error's kind.
int fail(const JobError& error, std::string_view next_step = {});

// The usage text of a command that was called wrongly, with a reason:
// "isorelink: REASON", the usage, then a pointer to --help. Returns kExitUsage.
int usage_error(std::string_view reason, std::string_view usage);

// What to do next for a failure of this kind, when the command has nothing
// more precise to say.
std::string_view next_step_for(ErrorKind kind);

// A command's arguments: flags ("--force"), options with a value ("--out
// DIR" or "--out=DIR") and operands, in any order; "--" ends the options.
// "--help" and "-h" print the usage on stdout.
class CommandLine {
public:
    // Returns the exit code to end with (after --help, or a wrong option),
    // or nothing to go on. "-q" stands for "--quiet".
    std::optional<int> parse(Args args, std::string_view usage, std::initializer_list<std::string_view> flags,
                             std::initializer_list<std::string_view> valued = {});
    bool has(std::string_view flag) const;
    std::string value(std::string_view option) const;  // "" when not given
    const std::vector<std::string>& operands() const { return operands_; }

private:
    std::vector<std::string> flags_;
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> operands_;
};

// Results go to stdout unless --quiet; errors and warnings always reach stderr.
class Output {
public:
    explicit Output(bool quiet) : quiet_(quiet) {}
    bool quiet() const { return quiet_; }
    void print(std::string_view text) const {
        if (!quiet_) std::fwrite(text.data(), 1, text.size(), stdout);
    }

private:
    bool quiet_;
};

} // namespace isorelink::cli
