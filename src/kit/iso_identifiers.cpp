#include "kit/iso_identifiers.h"

#include <algorithm>

namespace isorelink::kit {

namespace {
bool is_d_character(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

std::optional<std::string> character_problem(std::string_view name, bool dots_allowed) {
    for (char c : name) {
        if (is_d_character(c) || (dots_allowed && c == '.')) continue;
        return "name '" + std::string(name) + "' holds a character ISO 9660 cannot record";
    }
    return std::nullopt;
}
} // namespace

std::optional<std::vector<std::string>> split_iso_path(std::string_view path) {
    if (path.empty() || path.front() != '\\') return std::nullopt;
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (part.empty()) return std::nullopt;
        parts.emplace_back(part);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

std::optional<std::string> directory_name_problem(std::string_view name) {
    if (name.empty()) return "empty directory name";
    if (name.size() > kMaxDirectoryIdentifier) return "directory name '" + std::string(name) + "' is too long";
    return character_problem(name, false);
}

std::optional<std::string> file_name_problem(std::string_view name) {
    if (name.empty()) return "empty file name";
    if (name.size() > kMaxFileName) return "file name '" + std::string(name) + "' is too long";
    return character_problem(name, true);
}

std::string to_volume_name(std::string_view host_name) {
    std::string name(host_name);
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
        if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
        if (c == '-' || c == ' ') return '_';
        return c;
    });
    return name;
}

bool iso_name_less(std::string_view a, std::string_view b) {
    const auto split = [](std::string_view s) {
        const std::size_t dot = s.find('.');
        return dot == s.npos ? std::pair{s, std::string_view{}} : std::pair{s.substr(0, dot), s.substr(dot + 1)};
    };
    return split(a) < split(b);
}

} // namespace isorelink::kit
