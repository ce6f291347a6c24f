#pragma once
// ISO 9660 identifiers as the kit writes them: d-characters (A-Z, 0-9, '_'),
// a '.' allowed in file names, ";1" appended unless a file asks for none.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace isorelink::kit {

// Longest identifier a directory record can hold: 255 - 33 bytes of fixed
// fields, less the version suffix for files.
inline constexpr std::size_t kMaxDirectoryIdentifier = 222;
inline constexpr std::size_t kMaxFileName = 220;

// Splits "\\DATA\\FILE.BIN" into {"DATA", "FILE.BIN"}; nothing when the path
// does not start with a backslash or has an empty component.
std::optional<std::vector<std::string>> split_iso_path(std::string_view path);

// Why a name cannot stand in a directory record, or nothing when it can.
std::optional<std::string> directory_name_problem(std::string_view name);
std::optional<std::string> file_name_problem(std::string_view name);

// Upper-cases a host file name for the volume; the caller checks the result.
std::string to_volume_name(std::string_view host_name);

// ISO 9660 record order: by the name before the first '.', then the rest.
bool iso_name_less(std::string_view a, std::string_view b);

} // namespace isorelink::kit
