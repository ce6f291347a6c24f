#include "format/iso9660/identifier_name.h"

#include <string_view>

namespace isorelink {

namespace {

bool unsafe_byte(unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\' || c == '/'; }
bool shift_jis_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool shift_jis_trail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// The parts between kept backslashes that read as "." or ".." get '_' for their dots.
void defuse_dot_parts(std::string& name) {
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('\\', start);
        if (end == std::string::npos) end = name.size();
        const std::string_view part(name.data() + start, end - start);
        if (part == "." || part == "..") name.replace(start, part.size(), part.size(), '_');
        start = end + 1;
    }
}

} // namespace

std::string listing_name(ByteView identifier) {
    std::size_t length = identifier.size();
    if (length >= 2 && u8(identifier, length - 2) == ';') length -= 2;

    // Most names are printable ASCII without a backslash or '/': kept as they are (one pass, no early exit).
    bool plain = true;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(u8(identifier, i));
        plain &= c >= 0x20 && c < 0x7F && c != '\\' && c != '/';
    }
    if (plain) {
        std::string name(reinterpret_cast<const char*>(identifier.data()), length);
        if (name == ".") return "_";
        if (name == "..") return "__";
        return name;
    }

    std::string name;
    name.reserve(length);
    bool kept_backslash = false;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(u8(identifier, i));
        if (shift_jis_lead(c) && i + 1 < length && shift_jis_trail(u8(identifier, i + 1))) {
            const auto trail = static_cast<char>(u8(identifier, ++i));
            name.push_back(static_cast<char>(c));
            name.push_back(trail);
            kept_backslash = kept_backslash || trail == '\\';
            continue;
        }
        name.push_back(unsafe_byte(c) ? '_' : static_cast<char>(c));
    }
    if (name == ".") return "_";
    if (name == "..") return "__";
    if (kept_backslash) defuse_dot_parts(name);
    return name;
}

} // namespace isorelink
