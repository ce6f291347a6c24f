#include "read/piece_numbering.h"

#include "format/iso9660/layout.h"

namespace isorelink {

std::string numbered_name(const std::string& name, std::uint64_t number) {
    const std::string mark = std::to_string(number) + ".";
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        if (c == '.') {
            out += mark;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string PieceNumbering::name_for(std::uint8_t flags, const std::string& name) {
    if ((flags & iso::dr::kFlagMultiExtent) != 0) {
        std::string piece = numbered_name(name, extent_counter_);
        ++extent_counter_;
        pending_pieces_ = extent_counter_;
        return piece;
    }
    extent_counter_ = 0;
    if (pending_pieces_ == 0) return name;
    const std::uint64_t last = pending_pieces_;
    pending_pieces_ = 0;
    return numbered_name(name, last);
}

} // namespace isorelink
