#pragma once
// The host application's string objects as they cross the Win32 boundary.
//
// A string object is one pointer: the address of its characters, which are
// zero-terminated and preceded by a 12-byte header. The header's count says
// how many objects share the block; the shared empty string, and a block its
// owner has locked, carry a negative count and belong to nobody. The length
// gives the number of characters, which may include bytes such as 0x01.
//
// The host frees a block whose count drops to 0 to msvcrt's heap, unless its
// allocated length is one of its four pool sizes: such a block goes back to a
// pool that lives in the host and that this module cannot reach.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace isorelink::framework {

struct TextHeader {
    volatile long count;      // objects sharing the block; < 0: never counted nor freed
    std::int32_t length;      // characters, without the terminator
    std::int32_t allocated;   // room for characters, without the terminator
};
static_assert(sizeof(TextHeader) == 12);

// The allocated lengths of the host's pool blocks.
bool is_pool_size(std::int32_t allocated) noexcept;

// The characters of a string argument; a null pointer or a negative length
// reads as empty.
std::string_view read_text(const char* chars) noexcept;

// Destroys a string argument, as the callee must before it returns: a block
// with a negative (or zero) count is left alone; otherwise the count drops by
// one, and a block whose count reaches 0 is freed to msvcrt's heap unless
// its allocated length is a pool size.
void release_text(char* chars) noexcept;

// A new block on msvcrt's heap: count 1, length and allocated length both the
// text's length, the characters and a terminator. Returns the address of its
// characters. When the heap has no room it raises STATUS_NO_MEMORY, the
// structured exception a host's handlers see for a failed allocation: no
// string object exists to stand for the result, and nothing would tell the
// host that an empty one was not the answer.
char* make_text(std::string_view text);

} // namespace isorelink::framework
