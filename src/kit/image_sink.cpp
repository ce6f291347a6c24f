#include "kit/image_sink.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace isorelink::kit {

namespace {
// Zero runs shorter than this are written; longer ones become holes.
constexpr std::uint64_t kHoleThreshold = 64 * 1024;
constexpr std::size_t kBufferSize = 8 * 1024 * 1024;
} // namespace

MemorySink::MemorySink(std::vector<std::byte>& out, std::uint64_t size) : out_(out) {
    out_.assign(static_cast<std::size_t>(size), std::byte{0});
}

bool MemorySink::write(std::uint64_t offset, ByteView data) {
    if (offset > out_.size() || data.size() > out_.size() - offset) return false;
    std::memcpy(out_.data() + offset, data.data(), data.size());
    return true;
}

std::unique_ptr<SparseFileSink> SparseFileSink::create(const std::string& path) {
    auto file = File::open(path, "wb");
    if (!file) return nullptr;
    auto sink = std::unique_ptr<SparseFileSink>(new SparseFileSink(path, std::move(*file)));
    sink->buffer_.reserve(kBufferSize);
    return sink;
}

bool SparseFileSink::flush() {
    if (!buffer_.empty() && !file_.write_at(buffer_start_, buffer_)) failed_ = true;
    buffer_.clear();
    return !failed_;
}

bool SparseFileSink::write(std::uint64_t offset, ByteView data) {
    const std::uint64_t buffer_end = buffer_start_ + buffer_.size();
    const bool joins = !buffer_.empty() && offset >= buffer_end && offset - buffer_end < kHoleThreshold &&
                       buffer_.size() + (offset - buffer_end) + data.size() <= kBufferSize;
    if (!joins) {
        if (!flush()) return false;
        if (data.size() >= kBufferSize) {
            if (!file_.write_at(offset, data)) failed_ = true;
            return !failed_;
        }
        buffer_start_ = offset;
    } else {
        buffer_.resize(buffer_.size() + static_cast<std::size_t>(offset - buffer_end), std::byte{0});
    }
    buffer_.insert(buffer_.end(), data.begin(), data.end());
    return true;
}

bool SparseFileSink::finish(std::uint64_t size) {
    const bool written = flush() && file_.close();
    if (!written) return false;
    std::error_code error;
    std::filesystem::resize_file(path_, size, error);
    return !error;
}

} // namespace isorelink::kit
