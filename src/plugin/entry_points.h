#pragma once
// What the six entry points do, whatever boundary carries them: the C one of
// exports.cpp (the Linux module, isorelink-c.dll) and the host application's
// own on Win32 (win32/framework_exports.cpp). Nothing here throws.
#include <string_view>

namespace isorelink::plugin {

// OnOpen1: "ISO File(*.ISO)", "*.ISO", "All files (*.*)", "*.*", each
// followed by one byte 0x01; 42 characters.
std::string_view open_filter() noexcept;

// Onfileid: the plugin's title.
std::string_view title() noexcept;

// EXTRACTLBA and REBUILDLBA: the job on FOLDER + IMAGE; the outcome goes to
// the status file only.
void extract(std::string_view folder, std::string_view image) noexcept;
void rebuild(std::string_view folder, std::string_view image) noexcept;

} // namespace isorelink::plugin
