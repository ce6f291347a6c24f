#include "plugin/win32/framework_text.h"

#include <cstring>

#include "platform/host_runtime.h"

namespace isorelink::framework {

namespace {

TextHeader* header_of(const char* chars) noexcept {
    return reinterpret_cast<TextHeader*>(const_cast<char*>(chars)) - 1;
}

} // namespace

bool is_pool_size(std::int32_t allocated) noexcept {
    return allocated == 64 || allocated == 128 || allocated == 256 || allocated == 512;
}

std::string_view read_text(const char* chars) noexcept {
    if (chars == nullptr) return {};
    const std::int32_t length = header_of(chars)->length;
    return length > 0 ? std::string_view(chars, static_cast<std::size_t>(length)) : std::string_view{};
}

void release_text(char* chars) noexcept {
    if (chars == nullptr) return;
    TextHeader* header = header_of(chars);
    // Zero cannot be a live copy's count: decrementing it would hand the
    // block a second free.
    if (header->count <= 0) return;
    if (platform::interlocked_decrement(&header->count) != 0) return;
    if (is_pool_size(header->allocated)) return;
    // Without msvcrt's free the block stays: a leak, where another heap's
    // free would corrupt both heaps.
    platform::host_free(header);
}

char* make_text(std::string_view text) {
    const auto length = static_cast<std::int32_t>(text.size());
    void* block = platform::host_allocate(sizeof(TextHeader) + text.size() + 1);
    if (block == nullptr) platform::raise_no_memory();
    auto* header = static_cast<TextHeader*>(block);
    header->count = 1;
    header->length = length;
    header->allocated = length;
    char* chars = reinterpret_cast<char*>(header + 1);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return chars;
}

} // namespace isorelink::framework
