#include "read/path_arena.h"

#include <algorithm>

namespace isorelink {

std::string_view PathArena::store(std::string_view head, char separator, std::string_view tail) {
    const std::size_t length = head.size() + 1 + tail.size();
    if (kBlock - used_ < length) {
        // A path longer than a block (the walker refuses those long before)
        // gets a block of its own.
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(std::max(kBlock, length)));
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    std::copy(head.begin(), head.end(), at);
    at[head.size()] = separator;
    std::copy(tail.begin(), tail.end(), at + head.size() + 1);
    used_ += length;
    return {blocks_.back().get() + used_ - length, length};
}

} // namespace isorelink
