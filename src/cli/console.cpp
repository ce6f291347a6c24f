#include "cli/console.h"

#include <algorithm>
#include <string>

#include "common/messages.h"

namespace isorelink::cli {

namespace {

void print_line(std::string_view prefix, std::string_view text) {
    std::fprintf(stderr, "%.*s%.*s\n", static_cast<int>(prefix.size()), prefix.data(), static_cast<int>(text.size()),
                 text.data());
}

// A refusal's message ends with the line that says what to do.
bool ends_with_advice(std::string_view message) {
    const auto cut = message.rfind('\n');
    if (cut == std::string_view::npos) return false;
    const auto last = message.substr(cut + 1);
    for (const auto& advice : {msg::kForeignOutputAdvice, msg::kForeignOutputsAdvice, msg::kDemoForeignAdvice})
        if (last == advice.text) return true;
    return false;
}

} // namespace

int fail(const JobError& error, std::string_view next_step) {
    print_line("isorelink: ", error.message);
    if (ends_with_advice(error.message)) return kExitFailed;
    if (next_step.empty()) next_step = next_step_for(error.kind);
    print_line("", next_step);
    return kExitFailed;
}

int usage_error(std::string_view reason, std::string_view usage) {
    print_line("isorelink: ", reason);
    // The synopsis only (the lines before the first option's description), then where the rest is.
    std::size_t end = 0;
    while (end < usage.size()) {
        const auto next = usage.find('\n', end);
        const auto line = usage.substr(end, next == std::string_view::npos ? usage.size() - end : next - end);
        if (end != 0 && line.size() > 2 && line.starts_with("  ") && line[2] != ' ') break;
        end = next == std::string_view::npos ? usage.size() : next + 1;
    }
    std::fwrite(usage.data(), 1, end, stderr);
    // "usage: isorelink replace ..." names its command; the overview names none.
    std::string_view command;
    if (usage.starts_with("usage: isorelink ")) {
        command = usage.substr(17);
        command = command.substr(0, command.find_first_of(" \n"));
    }
    std::fprintf(stderr, "try 'isorelink %.*s%s--help'\n", static_cast<int>(command.size()), command.data(),
                 command.empty() ? "" : " ");
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

std::optional<int> CommandLine::parse(Args args, std::string_view usage, std::initializer_list<std::string_view> flags,
                                      std::initializer_list<std::string_view> valued) {
    const auto known = [](std::initializer_list<std::string_view> list, std::string_view name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    bool options_end = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (options_end || arg == "-" || !arg.starts_with("-")) {
            operands_.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fwrite(usage.data(), 1, usage.size(), stdout);
            return kExitSuccess;
        }
        if (arg == "-q") arg = "--quiet";
        const auto eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        if (known(valued, name)) {
            if (eq != std::string_view::npos) {
                values_.emplace_back(name, arg.substr(eq + 1));
            } else if (i + 1 < args.size()) {
                values_.emplace_back(name, args[++i]);
            } else {
                return usage_error(std::string(name) + " needs a value", usage);
            }
        } else if (eq == std::string_view::npos && known(flags, arg)) {
            flags_.emplace_back(arg);
        } else {
            return usage_error("unknown option '" + std::string(arg) + "'", usage);
        }
    }
    return std::nullopt;
}

bool CommandLine::has(std::string_view flag) const {
    return std::find(flags_.begin(), flags_.end(), flag) != flags_.end();
}

std::string CommandLine::value(std::string_view option) const {
    for (auto it = values_.rbegin(); it != values_.rend(); ++it)
        if (it->first == option) return it->second;
    return {};
}

} // namespace isorelink::cli
