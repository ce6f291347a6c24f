#include "format/iso9660/identifier_name.h"

namespace isorelink {

namespace {
bool unsafe_byte(unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\' || c == '/'; }
} // namespace

std::string listing_name(ByteView identifier) {
    std::size_t length = identifier.size();
    if (length >= 2 && u8(identifier, length - 2) == ';') length -= 2;

    std::string name;
    name.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(u8(identifier, i));
        name.push_back(unsafe_byte(c) ? '_' : static_cast<char>(c));
    }
    if (name == ".") return "_";
    if (name == "..") return "__";
    return name;
}

} // namespace isorelink
