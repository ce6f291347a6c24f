#pragma once
// Splits PATH/IMAGE.ISO into the folder prefix (with its trailing
// separator) and the image name, the two arguments every job takes.
#include <string>
#include <string_view>

namespace isorelink::cli {

struct FolderAndName {
    std::string folder; // "" for a bare name: the current folder
    std::string name;
};

inline FolderAndName split_image_path(std::string_view path) {
#ifdef _WIN32
    const auto cut = path.find_last_of("\\/");
#else
    const auto cut = path.find_last_of('/');
#endif
    if (cut == std::string_view::npos) return {"", std::string(path)};
    return {std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1))};
}

} // namespace isorelink::cli
