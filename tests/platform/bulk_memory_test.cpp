#include "platform/bulk_memory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using namespace isorelink::platform;

// A vector growing from the heap into large pages and a buffer handed on keep
// every byte, whichever side of the 512 KiB line each allocation falls.
TEST(BulkMemory, GrowingAcrossTheLargePageLineKeepsEveryValue) {
    BulkVector<std::uint64_t> values;
    for (std::uint64_t i = 0; i < (std::uint64_t{3} << 20) / 8; ++i) values.push_back(i * 0x9E3779B97F4A7C15ull);
    for (std::uint64_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], i * 0x9E3779B97F4A7C15ull) << i;
    values.resize(1000);
    values.shrink_to_fit();
    EXPECT_EQ(values[999], 999 * 0x9E3779B97F4A7C15ull);

    const std::size_t sizes[] = {0, 100, std::size_t{512} << 10, (std::size_t{2} << 20) + 1};
    for (const std::size_t size : sizes) {
        BulkBuffer buffer(size);
        for (std::size_t i = 0; i < size; ++i) buffer.data()[i] = static_cast<std::byte>(i % 251);
        BulkBuffer moved(std::move(buffer));
        EXPECT_EQ(buffer.size(), 0u);
        ASSERT_EQ(moved.size(), size);
        for (std::size_t i = 0; i < size; i += 4093)
            ASSERT_EQ(moved.data()[i], static_cast<std::byte>(i % 251)) << size;
    }
}

} // namespace
