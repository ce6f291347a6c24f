#include "common/job_error.h"

#include "common/messages.h"

namespace isorelink {

JobError job_error(std::string_view message_template, std::string_view argument) {
    std::string text;
    const auto hole = message_template.find("%s");
    if (hole == std::string_view::npos) {
        text.assign(message_template);
    } else {
        text.reserve(message_template.size() + argument.size());
        text.append(message_template.substr(0, hole));
        text.append(argument);
        text.append(message_template.substr(hole + 2));
    }
    if (text.size() > kMaxText) text.resize(kMaxText);
    return JobError{std::move(text)};
}

JobError structure_error(std::string_view image_path, std::string_view reason) {
    // The reason comes last, so cut the path rather than lose the reason.
    std::string tail = " (";
    tail.append(reason);
    tail.append(")");
    const std::string_view head = "Code 1106 - invalid volume structure ";
    std::string text(head);
    if (head.size() + image_path.size() + tail.size() > kMaxText) {
        const std::size_t room = kMaxText > head.size() + tail.size() ? kMaxText - head.size() - tail.size() : 0;
        text.append(image_path.substr(0, room));
    } else {
        text.append(image_path);
    }
    text.append(tail);
    if (text.size() > kMaxText) text.resize(kMaxText);
    return JobError{std::move(text)};
}

} // namespace isorelink
