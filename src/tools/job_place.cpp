#include "tools/job_place.h"

#include <filesystem>
#include <random>
#include <utility>

#include "common/messages.h"
#include "platform/file_identity.h"
#include "tools/image_path.h"

namespace isorelink::host {

namespace fs = std::filesystem;

namespace {

std::string prefix_of(const fs::path& folder) {
    std::string prefix = folder.string();
    if (!prefix.empty() && prefix.back() != '/' && prefix.back() != static_cast<char>(fs::path::preferred_separator))
        prefix.push_back(static_cast<char>(fs::path::preferred_separator));
    return prefix;
}

// Makes `link` name the image, unless it already does; refuses a file of that
// name that is not the image.
Status link_image(const std::string& image_path, const std::string& link, std::string& made) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(link, ec))) {
        if (platform::same_file(link, image_path)) return ok_status();
        return job_error(msg::kOutNameTaken, {link, image_path});
    }
    const fs::path target = fs::absolute(image_path, ec);
    if (!ec) fs::create_symlink(target, link, ec);
    if (ec) {
        // Windows makes symbolic links only for the privileged: a hard link does on the same volume.
        std::error_code hard;
        fs::create_hard_link(image_path, link, hard);
        if (hard) return job_error(msg::kOutCannotLink, {link, image_path, ec.message()});
    }
    made = link;
    return ok_status();
}

} // namespace

Expected<JobPlace> JobPlace::at(const std::string& image_path, const std::string& out_folder, bool need_image) {
    const auto [image_folder, name] = cli::split_image_path(image_path);
    JobPlace place;
    place.name_ = name;
    place.folder_ = image_folder;
    if (out_folder.empty()) return place;
    std::error_code ec;
    fs::create_directories(out_folder, ec);
    if (!fs::is_directory(out_folder, ec)) return job_error(msg::kOutCannotCreate, out_folder);
    if (fs::equivalent(image_folder.empty() ? fs::path(".") : fs::path(image_folder), out_folder, ec))
        return place;  // the image's own folder
    place.folder_ = prefix_of(out_folder);
    if (!fs::exists(image_path, ec)) {
        if (need_image) return job_error(msg::kCannotOpen, image_path);
        return place;
    }
    if (auto linked = link_image(image_path, place.folder_ + name, place.link_); !linked) return linked.error();
    return place;
}

Expected<JobPlace> JobPlace::temporary(const std::string& image_path) {
    std::error_code ec;
    const auto base = fs::temp_directory_path(ec);
    if (ec) return job_error(msg::kNoTemporaryFolder, "the system's temporary folder");
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("isorelink-" + std::to_string(random() % 100000000));
        if (!fs::create_directory(candidate, ec)) continue;
        JobPlace place;
        place.temporary_ = candidate.string();
        place.folder_ = prefix_of(candidate);
        place.name_ = cli::split_image_path(image_path).name;
        std::string unused;
        if (auto linked = link_image(image_path, place.folder_ + place.name_, unused); !linked)
            return linked.error();  // the place removes its folder
        return place;
    }
    return job_error(msg::kNoTemporaryFolder, base.string());
}

JobPlace::JobPlace(JobPlace&& other) noexcept
    : folder_(std::move(other.folder_)), name_(std::move(other.name_)), link_(std::exchange(other.link_, {})),
      temporary_(std::exchange(other.temporary_, {})) {}

JobPlace::~JobPlace() {
    std::error_code ec;
    if (!link_.empty()) fs::remove(link_, ec);
    if (!temporary_.empty()) fs::remove_all(temporary_, ec);
}

} // namespace isorelink::host
