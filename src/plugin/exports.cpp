// The C boundary: six entry points, plain text in and out. It is the module
// itself where the host's string framework does not exist (Linux), and
// isorelink-c.dll on Windows, for scripting callers. No C++ exception
// crosses it; every failure becomes the status file's message.
#include "isorelink/plugin.h"

#include <string_view>

#include "plugin/entry_points.h"

namespace {

std::string_view text(const char* s) { return s == nullptr ? std::string_view{} : std::string_view{s}; }

} // namespace

extern "C" {

// The literals are zero-terminated: the filter's 0x01 bytes are not.
ISORELINK_API const char* ISORELINK_CALL OnOpen1(const char*) { return isorelink::plugin::open_filter().data(); }

ISORELINK_API const char* ISORELINK_CALL Onfileid(const char*) { return isorelink::plugin::title().data(); }

ISORELINK_API int32_t ISORELINK_CALL Onpadding(int32_t) { return 1; }

ISORELINK_API int32_t ISORELINK_CALL Onopencheck(int32_t) { return 1; }

ISORELINK_API void ISORELINK_CALL EXTRACTLBA(const char* folder, const char* image, const char*, const char*) {
    isorelink::plugin::extract(text(folder), text(image));
}

ISORELINK_API void ISORELINK_CALL REBUILDLBA(const char* folder, const char* image, const char*, const char*) {
    isorelink::plugin::rebuild(text(folder), text(image));
}

} // extern "C"
