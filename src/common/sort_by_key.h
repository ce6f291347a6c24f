#pragma once
// Orders (key, value) pairs by their 32-bit key, pairs with equal keys kept in
// the order given: a radix sort, a byte of the key per pass (a pass whose byte
// is the same in every key skipped). The listings order tens of thousands of
// files by sector; this costs a fraction of a comparison sort.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace isorelink {

template <typename Value>
void stable_sort_by_key(std::vector<std::pair<std::uint32_t, Value>>& items) {
    constexpr std::size_t kFew = 64;
    if (items.size() <= kFew) {
        std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return;
    }
    std::vector<std::pair<std::uint32_t, Value>> sorted(items.size());
    for (unsigned shift = 0; shift < 32; shift += 8) {
        std::array<std::size_t, 257> start{};
        for (const auto& item : items) ++start[((item.first >> shift) & 0xFF) + 1];
        if (std::find(start.begin(), start.end(), items.size()) != start.end()) continue;  // one byte value for all
        for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        for (auto& item : items) sorted[start[(item.first >> shift) & 0xFF]++] = std::move(item);
        items.swap(sorted);
    }
}

// Orders sector numbers the same way: a volume's metadata sectors run to one
// per file on a PS2 DVD.
inline void sort_sectors(std::vector<std::uint32_t>& sectors) {
    constexpr std::size_t kFew = 64;
    if (sectors.size() <= kFew || std::is_sorted(sectors.begin(), sectors.end())) {
        std::sort(sectors.begin(), sectors.end());
        return;
    }
    std::vector<std::uint32_t> sorted(sectors.size());
    for (unsigned shift = 0; shift < 32; shift += 8) {
        std::array<std::size_t, 257> start{};
        for (const auto s : sectors) ++start[((s >> shift) & 0xFF) + 1];
        if (std::find(start.begin(), start.end(), sectors.size()) != start.end()) continue;
        for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        for (const auto s : sectors) sorted[start[(s >> shift) & 0xFF]++] = s;
        sectors.swap(sorted);
    }
}

} // namespace isorelink
