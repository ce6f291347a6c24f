// The C boundary: six entry points, plain text in and out. It is the module
// itself where the host's string framework does not exist (Linux), and
// isorelink-c.dll on Windows, for scripting callers. No C++ exception
// crosses it; every failure becomes the status file's message.
#include "isorelink/plugin.h"

#include <string_view>

#include "plugin/entry_points.h"

// On 32-bit Windows a caller keeps ESP aligned to 4 bytes only, and GCC
// assumes 16 at a function's entry: each entry point realigns it, since the
// jobs' checksums use SSE.
#if defined(_WIN32) && defined(__i386__)
#  define ISORELINK_ENTRY __attribute__((force_align_arg_pointer))
#else
#  define ISORELINK_ENTRY
#endif

namespace {

std::string_view text(const char* s) { return s == nullptr ? std::string_view{} : std::string_view{s}; }

} // namespace

extern "C" {

// The literals are zero-terminated: the filter's 0x01 bytes are not.
ISORELINK_API ISORELINK_ENTRY const char* ISORELINK_CALL OnOpen1(const char*) {
    return isorelink::plugin::open_filter().data();
}

ISORELINK_API ISORELINK_ENTRY const char* ISORELINK_CALL Onfileid(const char*) {
    return isorelink::plugin::title().data();
}

ISORELINK_API ISORELINK_ENTRY int32_t ISORELINK_CALL Onpadding(int32_t) { return 1; }

ISORELINK_API ISORELINK_ENTRY int32_t ISORELINK_CALL Onopencheck(int32_t) { return 1; }

ISORELINK_API ISORELINK_ENTRY void ISORELINK_CALL EXTRACTLBA(const char* folder, const char* image, const char*,
                                                             const char*) {
    isorelink::plugin::extract(text(folder), text(image));
}

ISORELINK_API ISORELINK_ENTRY void ISORELINK_CALL REBUILDLBA(const char* folder, const char* image, const char*,
                                                             const char*) {
    isorelink::plugin::rebuild(text(folder), text(image));
}

} // extern "C"
