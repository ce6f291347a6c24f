#pragma once
#include <string_view>

namespace isorelink::platform {

// The character that separates folders in the platform's paths.
#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif

// Creates every folder along a file path: each prefix that ends before a
// separator. The part after the last separator (the file name) is never
// created. Failures are ignored (the folder may exist, the prefix may be a
// bare drive such as "C:"). A prefix longer than a path buffer holds (2047
// characters) is not attempted; returns false in that case.
bool create_folders_along(std::string_view path);

} // namespace isorelink::platform
