#include "common/job_error.h"

#include "common/messages.h"

namespace isorelink {

std::string_view to_string(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::BadInput: return "bad input";
    case ErrorKind::BadImage: return "bad image";
    case ErrorKind::Io: return "I/O";
    case ErrorKind::Internal: return "internal";
    }
    return "internal";
}

JobError job_error(const Message& message, std::initializer_list<std::string_view> arguments) {
    std::string text;
    std::size_t size = message.text.size();
    for (auto a : arguments) size += a.size();
    text.reserve(size);
    auto argument = arguments.begin();
    std::string_view rest = message.text;
    for (auto hole = rest.find("%s"); hole != std::string_view::npos; hole = rest.find("%s")) {
        text.append(rest.substr(0, hole));
        if (argument != arguments.end()) text.append(*argument++);
        rest.remove_prefix(hole + 2);
    }
    text.append(rest);
    if (text.size() > kMaxText) text.resize(kMaxText);
    return JobError{message.kind, std::move(text)};
}

JobError job_error(const Message& message, std::string_view argument) { return job_error(message, {argument}); }

JobError structure_error(std::string_view image_path, std::string_view reason) {
    // The reason comes last, so cut the path rather than lose the reason.
    const std::string_view head = msg::kInvalidStructure.text.substr(0, msg::kInvalidStructure.text.find("%s"));
    const std::size_t tail = reason.size() + 3;  // " (" REASON ")"
    if (head.size() + image_path.size() + tail > kMaxText) {
        const std::size_t room = kMaxText > head.size() + tail ? kMaxText - head.size() - tail : 0;
        image_path = image_path.substr(0, room);
    }
    return job_error(msg::kInvalidStructure, {image_path, reason});
}

JobError with_prefix(std::string_view prefix, const JobError& error) {
    std::string text(prefix);
    text.append(error.message);
    return JobError{error.kind, std::move(text)};
}

} // namespace isorelink
