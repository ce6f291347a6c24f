#include "tools/output_guard.h"
#include "common/messages.h"

#include <filesystem>

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

bool present(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

} // namespace

std::string join_names(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

OutputGuard::OutputGuard(const std::string& folder, std::vector<std::string> outputs, GuardOptions options)
    : record_(WriteRecord::load(folder)), options_(options) {
    for (auto& path : outputs) {
        Before before;
        before.existed = present(path);
        if (before.existed) {
            before.identity = platform::file_identity(path);
            // Only isorelink's own files are hashed: what the record says of
            // them is checked, and a failed run that rewrote them with the same
            // bytes leaves them as they were.
            describe_file(path, before.state, false);
            before.was_ours = record_.wrote_unchanged(path, before.state);
        }
        before.path = std::move(path);
        before_.push_back(std::move(before));
    }
}

Status OutputGuard::check(std::string_view command, std::string_view hint) const {
    if (options_.force) return ok_status();
    std::vector<std::string> foreign;
    for (const auto& before : before_)
        if (before.existed && !before.was_ours) foreign.push_back(before.path);
    if (foreign.empty()) return ok_status();
    const bool one = foreign.size() == 1;
    const std::string advice = hint.empty() ? job_error(one ? msg::kForeignOutputAdvice : msg::kForeignOutputsAdvice).message
                                            : std::string(hint);
    // unpack may find thousands in its way (a folder 7-Zip filled): name a few and count the rest.
    constexpr std::size_t kNamed = 5;
    if (foreign.size() > kNamed + 1) {
        const auto more = foreign.size() - kNamed;
        foreign.resize(kNamed);
        foreign.push_back(std::to_string(more) + " more");
    }
    return job_error(one ? msg::kForeignOutput : msg::kForeignOutputs, {command, join_names(foreign), advice});
}

std::vector<std::string> OutputGuard::touched() {
    std::vector<std::string> paths;
    for (const auto& before : before_) {
        if (!present(before.path)) continue;
        // A stamped file of ours (unpack's) is as it was while its stamp holds; any write breaks it.
        if (before.was_ours && before.state.hash.starts_with('@')) {
            if (!stamp_still_holds(before.state, before.path)) paths.push_back(before.path);
            continue;
        }
        WrittenFile now;
        const bool described = describe_file(before.path, now, before.was_ours);
        // Written again with the same bytes (the listings of the same image):
        // what was there is there, and stays isorelink's.
        const bool same_bytes = before.was_ours && described && now.size == before.state.size &&
                                now.hash == before.state.hash && now.hash != "-";
        const bool same = same_bytes || (before.existed && described && now == before.state &&
                                         platform::file_identity(before.path) == before.identity);
        if (!same) paths.push_back(before.path);
        else if (same_bytes) record_.note(before.path);
    }
    return paths;
}

void OutputGuard::succeeded(const std::vector<std::string>& written, const std::vector<std::string>& deleted,
                            const std::vector<std::string>& origins) {
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (i < origins.size()) record_.note_stamped(written[i], origins[i]);
        else record_.note(written[i]);
    }
    for (const auto& path : deleted)
        if (!present(path)) record_.forget(path);
    record_.save();
}

std::string OutputGuard::failed() {
    const auto paths = touched();
    if (paths.empty()) {
        record_.save();
        return {};
    }
    if (options_.keep) {
        for (const auto& path : paths) record_.note(path);
        record_.save();
        return "kept what the failed run wrote: " + join_names(paths);
    }
    std::vector<std::string> removed;
    for (const auto& path : paths) {
        std::error_code ec;
        if (fs::remove(path, ec)) removed.push_back(path);
        record_.forget(path);
    }
    record_.save();
    if (removed.empty()) return {};
    return "removed what the failed run wrote: " + join_names(removed) + " (--keep keeps it)";
}

} // namespace isorelink::host
