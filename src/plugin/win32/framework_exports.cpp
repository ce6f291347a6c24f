// The Win32 module's boundary: the six entry points as the host application
// calls them, member functions of an object of its own.
//
// Every call brings an object pointer in ECX, which we never read, and its
// arguments on the stack, which the callee removes ("ret 4*n"): GCC's
// thiscall on a free function whose first parameter is that ignored pointer.
// A string argument is one word, the address of the characters of a string
// object (framework_text.h), which the callee destroys before it returns. A
// string result goes into storage the caller provides: its address comes as
// the first stack word, the callee stores the characters' address of a new
// block there and returns the storage address in EAX.
#include <cstdint>

#include "plugin/entry_points.h"
#include "plugin/win32/framework_text.h"

// A host built for this boundary keeps ESP aligned to 4 bytes only, and GCC
// assumes 16 at a function's entry: code below the exports that uses SSE
// (the checksums) faults on a misaligned stack unless each export realigns it.
#define ISORELINK_FRAMEWORK_EXPORT \
    extern "C" __declspec(dllexport) __attribute__((thiscall, force_align_arg_pointer))

// GCC's C++ front end warns that thiscall is meant for member functions; it
// applies it all the same ("ret 4*n"), which the stand-in host's stack
// measurement holds.
#pragma GCC diagnostic ignored "-Wattributes"

namespace {

using isorelink::framework::make_text;
using isorelink::framework::read_text;
using isorelink::framework::release_text;

// The argument goes before the result is made, so that a result the heap
// has no room for leaves nothing behind.
char** answer(char** result, char* argument, std::string_view text) {
    release_text(argument);
    if (result != nullptr) *result = make_text(text);
    return result;
}

template <class Job>
void run_job(Job job, char* folder, char* image, char* third, char* fourth) noexcept {
    job(read_text(folder), read_text(image));
    for (char* argument : {folder, image, third, fourth}) release_text(argument);
}

} // namespace

ISORELINK_FRAMEWORK_EXPORT char** OnOpen1(void*, char** result, char* ignored) {
    return answer(result, ignored, isorelink::plugin::open_filter());
}

ISORELINK_FRAMEWORK_EXPORT char** Onfileid(void*, char** result, char* ignored) {
    return answer(result, ignored, isorelink::plugin::title());
}

ISORELINK_FRAMEWORK_EXPORT std::int32_t Onpadding(void*, std::int32_t) { return 1; }

ISORELINK_FRAMEWORK_EXPORT std::int32_t Onopencheck(void*, std::int32_t) { return 1; }

ISORELINK_FRAMEWORK_EXPORT void EXTRACTLBA(void*, char* folder, char* image, char* third, char* fourth) {
    run_job(isorelink::plugin::extract, folder, image, third, fourth);
}

ISORELINK_FRAMEWORK_EXPORT void REBUILDLBA(void*, char* folder, char* image, char* third, char* fourth) {
    run_job(isorelink::plugin::rebuild, folder, image, third, fourth);
}
