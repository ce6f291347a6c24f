#pragma once
// Where the kit's bytes go: a vector, or a file written in large blocks in
// ascending order with the long zero runs left as holes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "format/endian.h"
#include "platform/file.h"

namespace isorelink::kit {

class ImageSink {
public:
    virtual ~ImageSink() = default;
    // Writes `data` at `offset`; the kit writes in ascending order.
    virtual bool write(std::uint64_t offset, ByteView data) = 0;
    // Completes the image at `size` bytes (the tail may be a hole).
    virtual bool finish(std::uint64_t size) = 0;
};

class MemorySink final : public ImageSink {
public:
    MemorySink(std::vector<std::byte>& out, std::uint64_t size);
    bool write(std::uint64_t offset, ByteView data) override;
    bool finish(std::uint64_t) override { return true; }

private:
    std::vector<std::byte>& out_;
};

class SparseFileSink final : public ImageSink {
public:
    // Nothing when the file cannot be created.
    static std::unique_ptr<SparseFileSink> create(const std::string& path);
    bool write(std::uint64_t offset, ByteView data) override;
    bool finish(std::uint64_t size) override;

private:
    SparseFileSink(std::string path, File file) : path_(std::move(path)), file_(std::move(file)) {}
    bool flush();

    std::string path_;
    File file_;
    std::vector<std::byte> buffer_;
    std::uint64_t buffer_start_ = 0;
    bool failed_ = false;
};

} // namespace isorelink::kit
