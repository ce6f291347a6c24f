// mkimage's input: a host folder read into an ImageRecipe.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "kit/image_builder.h"
#include "common/messages.h"
#include "kit/iso_identifiers.h"

namespace isorelink::kit {

namespace fs = std::filesystem;

namespace {

JobError folder_error(const std::string& text) { return job_error(msg::kKit, text); }

// "\\DATA\\FILE.BIN" from a path relative to the folder, or why not.
Expected<std::string> volume_path(const fs::path& relative, bool is_file) {
    std::string path;
    std::size_t count = 0;
    for (auto it = relative.begin(); it != relative.end(); ++it) ++count;
    std::size_t i = 0;
    for (const auto& part : relative) {
        const std::string name = to_volume_name(part.string());
        const bool last = ++i == count;
        const auto problem = (last && is_file) ? file_name_problem(name) : directory_name_problem(name);
        if (problem) return folder_error(*problem + " (" + relative.string() + ")");
        if (last && is_file && std::count(name.begin(), name.end(), '.') > 1)
            return folder_error("file name '" + name + "' has more than one '.' (" + relative.string() + ")");
        path += "\\" + name;
    }
    return path;
}

} // namespace

Expected<ImageRecipe> recipe_from_folder(const std::string& folder, ImageKind kind) {
    ImageRecipe recipe;
    recipe.kind = kind;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return folder_error(folder + " is not a folder");
    std::vector<fs::directory_entry> entries;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error) return folder_error("cannot read " + folder + ": " + error.message());
    std::sort(entries.begin(), entries.end());

    for (const auto& item : entries) {
        const fs::path& entry = item.path();
        const fs::path relative = entry.lexically_relative(folder);
        if (item.is_directory(error)) {
            auto path = volume_path(relative, false);
            if (!path) return path.error();
            recipe.directories.push_back(*path);
            continue;
        }
        if (!item.is_regular_file(error)) return folder_error(entry.string() + " is not a regular file");
        auto path = volume_path(relative, true);
        if (!path) return path.error();
        const auto size = item.file_size(error);
        if (error) return folder_error("cannot read " + entry.string());
        FileRecipe file;
        file.path = *path;
        file.pattern = ContentPattern::HostFile;
        file.host_path = entry.string();
        file.size = size;
        // ISO 9660 extents end below 4 GiB; larger files go in 1 GiB pieces.
        if (size > 0xFFFFF800ull || (kind == ImageKind::Ps2Dvd && size >= (1ull << 30))) file.extent_limit = 1u << 30;
        if (kind == ImageKind::Ps2Dvd && size >= (1ull << 30)) file.extent_limit = (1u << 30) - 2048;
        recipe.files.push_back(std::move(file));
    }
    return recipe;
}

} // namespace isorelink::kit
