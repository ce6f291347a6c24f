#pragma once
// The listed files' paths, stored side by side in large blocks: one
// allocation per few thousand paths instead of one per path. A stored path
// stays where it is until the arena is destroyed, moves included.
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace isorelink {

class PathArena {
public:
    // Stores head, separator and tail as one path.
    std::string_view store(std::string_view head, char separator, std::string_view tail);

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = kBlock;  // of the last block
};

} // namespace isorelink
