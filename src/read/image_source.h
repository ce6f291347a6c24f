#pragma once
// Where the readers get the 2,048-byte sectors of an image from, whatever
// file holds them:
//   - a plain image (.iso): the file itself;
//   - a raw image (.bin, or the .cue naming it): 2,352-byte sectors of a
//     Mode 1 or Mode 2 data track 1, whose user data (at byte 16, or 24 for
//     Mode 2) are the image's sectors;
//   - a compressed image (.cso, .zso): blocks inflated one at a time.
// Every position is in the 2,048-byte image, 64-bit. Memory stays bounded: a
// raw source reads a few dozen sectors at a time, a compressed one keeps one
// block and its index (which must fit inside the file it comes from).
//
// The readers take `const ImageSource&`; read_at / read_exact_at / size have
// the same meaning as platform::ReadHandle's, so code written against a
// handle reads any format by changing the parameter type.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "format/cd_sector.h"
#include "format/compressed_image.h"
#include "format/cue_sheet.h"
#include "platform/read_handle.h"

namespace isorelink::host {

enum class ImageFormat { Plain, Raw, Cso, Zso };

// "ISO", "BIN/CUE", "CSO", "ZSO".
std::string_view format_name(ImageFormat format);

class ImageSource {
public:
    virtual ~ImageSource() = default;
    // Reads up to data.size() bytes at an offset of the 2,048-byte image;
    // returns the count read, short at the end of the image or where a
    // sector cannot be read (failure() then says why).
    virtual std::size_t read_at(std::uint64_t offset, std::span<std::byte> data) const = 0;
    bool read_exact_at(std::uint64_t offset, std::span<std::byte> data) const {
        return read_at(offset, data) == data.size();
    }
    // The image's length in bytes of 2,048-byte sectors.
    virtual std::optional<std::uint64_t> size() const = 0;
    virtual ImageFormat format() const = 0;
    // Why the last short read stopped, as a sentence naming the file ("" if
    // none did or the file simply ended).
    const std::string& failure() const { return failure_; }

protected:
    mutable std::string failure_;
};

// A plain image, read through the platform's handle; also what the readers'
// handle overloads wrap.
class PlainSource final : public ImageSource {
public:
    explicit PlainSource(const platform::ReadHandle& handle) : handle_(&handle) {}
    explicit PlainSource(platform::ReadHandle&& handle)
        : owned_(std::make_unique<platform::ReadHandle>(std::move(handle))), handle_(owned_.get()) {}
    std::size_t read_at(std::uint64_t offset, std::span<std::byte> data) const override;
    std::optional<std::uint64_t> size() const override { return handle_->size(); }
    ImageFormat format() const override { return ImageFormat::Plain; }

private:
    std::unique_ptr<platform::ReadHandle> owned_;
    const platform::ReadHandle* handle_;
};

// A raw data track: which file, where track 1 ends, and its mode.
struct RawLayout {
    std::string bin_path;
    std::string cue_path;        // "" for a .bin opened alone
    std::string cue_text;        // the sheet as read
    std::optional<cue::Sheet> sheet;
    bool mode2 = true;           // the track's mode (each sector's header decides its own data offset)
    std::uint64_t sectors = 0;   // sectors of track 1
    std::uint64_t bin_size = 0;  // bytes of the whole .bin
};

class RawSource final : public ImageSource {
public:
    RawSource(RawLayout layout, platform::ReadHandle handle) : layout_(std::move(layout)), bin_(std::move(handle)) {}
    std::size_t read_at(std::uint64_t offset, std::span<std::byte> data) const override;
    std::optional<std::uint64_t> size() const override { return sector_offset_of(layout_.sectors); }
    ImageFormat format() const override { return ImageFormat::Raw; }
    const RawLayout& layout() const { return layout_; }
    // Reads `count` whole raw sectors from sector `first` of track 1.
    bool read_raw(std::uint64_t first, std::span<std::byte> sectors) const;
    const platform::ReadHandle& bin() const { return bin_; }
    // Mode 2 Form 2 sectors read so far: the 2,048 bytes read of each are
    // the first of its 2,324 bytes of user data.
    std::uint64_t form2_sectors_read() const { return form2_read_; }

private:
    mutable std::uint64_t form2_read_ = 0;
    static std::uint64_t sector_offset_of(std::uint64_t sectors) { return sectors * cd::kUserSize; }
    RawLayout layout_;
    platform::ReadHandle bin_;
};

class PackedSource final : public ImageSource {
public:
    PackedSource(std::string path, packed::Header header, std::vector<packed::BlockExtent> blocks,
                 platform::ReadHandle handle)
        : path_(std::move(path)), header_(header), blocks_(std::move(blocks)), file_(std::move(handle)) {}
    std::size_t read_at(std::uint64_t offset, std::span<std::byte> data) const override;
    std::optional<std::uint64_t> size() const override { return header_.image_size; }
    ImageFormat format() const override {
        return header_.family == packed::Family::Cso ? ImageFormat::Cso : ImageFormat::Zso;
    }
    const packed::Header& header() const { return header_; }
    const std::vector<packed::BlockExtent>& blocks() const { return blocks_; }
    // The stored bytes of a block, as they lie in the file.
    bool read_stored(std::size_t block, std::vector<std::byte>& out) const;
    // The block's image bytes (the last block may be shorter); nullptr and
    // failure() when it does not decode.
    const std::vector<std::byte>* block(std::size_t index) const;

private:
    std::string path_;
    packed::Header header_;
    std::vector<packed::BlockExtent> blocks_;
    platform::ReadHandle file_;
    mutable std::optional<std::size_t> cached_;
    mutable std::vector<std::byte> cache_, stored_;
};

// Opens an image by its content (and a .cue by its name): refuses a folder,
// a CUE that names no readable BIN or whose track 1 is not raw data, a BIN
// too short for its sectors, a compressed image whose header or index does
// not hold together, and other formats by name (CHD, ECM, ...).
Expected<std::unique_ptr<ImageSource>> open_image_source(const std::string& path);

// The sheet a .cue holds, read whole (at most 1 MiB).
Expected<std::string> read_cue_text(const std::string& path);

} // namespace isorelink::host
