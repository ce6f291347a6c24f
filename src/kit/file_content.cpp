#include "kit/file_content.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"

namespace isorelink::kit {

namespace {
std::uint64_t path_seed(const std::string& path) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : path) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// Eight pattern bytes for the 8-byte word `word` of a file.
std::uint64_t pattern_word(std::uint64_t seed, std::uint64_t word) {
    std::uint64_t v = seed + word * 0x9E3779B97F4A7C15ull;
    v ^= v >> 30;
    v *= 0xBF58476D1CE4E5B9ull;
    v ^= v >> 27;
    v *= 0x94D049BB133111EBull;
    return v ^ (v >> 31);
}
} // namespace

bool fill_file_content(const FileRecipe& file, std::uint64_t offset, MutableByteView out) {
    switch (file.pattern) {
    case ContentPattern::Explicit:
        if (offset > file.content.size() || out.size() > file.content.size() - offset) return false;
        std::memcpy(out.data(), file.content.data() + offset, out.size());
        return true;
    case ContentPattern::Zero:
        std::fill(out.begin(), out.end(), std::byte{0});
        return true;
    case ContentPattern::HostFile: {
        auto host = File::open(file.host_path, "rb");
        return host && host->read_at(offset, out) == out.size();
    }
    case ContentPattern::Pattern: {
        const std::uint64_t seed = path_seed(file.path);
        for (std::size_t i = 0; i < out.size();) {
            const std::uint64_t position = offset + i;
            const std::uint64_t word = pattern_word(seed, position >> 3);
            for (unsigned b = position & 7; b < 8 && i < out.size(); ++b, ++i)
                out[i] = static_cast<std::byte>((word >> (8 * b)) & 0xFF);
        }
        return true;
    }
    }
    return false;
}

std::vector<std::byte> file_content(const FileRecipe& file) {
    std::vector<std::byte> bytes(file.byte_size());
    if (!fill_file_content(file, 0, bytes)) bytes.clear();
    return bytes;
}

} // namespace isorelink::kit
