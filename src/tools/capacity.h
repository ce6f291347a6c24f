#pragma once
// What the disc an image is meant for holds, and whether the image fits.
//
//   PS2 CD    74-minute CD   333,000 sectors    681,984,000 bytes
//             80-minute CD   360,000 sectors    737,280,000 bytes
//   PS2 DVD   DVD-5        2,295,104 sectors  4,700,372,992 bytes
//             DVD-9        4,173,824 sectors  8,547,991,552 bytes
//   PSP UMD   UMD, 1 layer   439,453 sectors    899,999,744 bytes
//             UMD, 2 layers  878,906 sectors  1,799,999,488 bytes
//
// Sectors are 2048 bytes of user data. The UMD figures are Sony's published
// 900 MB and 1.8 GB (decimal) cut to whole sectors: no pressing figure is
// public, and games are mastered below them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "format/image_kind.h"

namespace isorelink::host {

struct Medium {
    std::string_view name;     // "80-minute CD"
    std::string_view article;  // "an" or "a", for "more than an 80-minute CD holds"
    std::uint64_t sectors = 0;
    std::uint64_t bytes() const { return sectors * 2048; }
};

// The media of a kind, smallest first.
std::span<const Medium> media_of(ImageKind kind);

struct CapacityCheck {
    const Medium* fits = nullptr;     // the smallest medium that holds the image; null when none does
    const Medium* exceeded = nullptr; // the largest medium it is too large for; null when it fits the smallest
    std::uint64_t overrun = 0;        // bytes beyond `exceeded`
};

CapacityCheck check_capacity(ImageKind kind, std::uint64_t image_bytes);

// "isorelink: warning: NEW.ISO is 812,345,344 bytes, 75,065,344 bytes more than an 80-minute CD holds
// (737,280,000)", with a second sentence when a larger medium of the kind still holds it; nothing when the
// image fits the kind's smallest medium.
std::optional<std::string> capacity_warning(const std::string& image_path, ImageKind kind, std::uint64_t image_bytes);

// One line for summaries: "fits a 74-minute CD (681,984,000 bytes; 1,234,567 bytes free)" or
// "exceeds an 80-minute CD (737,280,000 bytes) by 75,065,344 bytes".
std::string describe_capacity(ImageKind kind, std::uint64_t image_bytes);

// 1234567 -> "1,234,567"
std::string with_thousands(std::uint64_t value);

} // namespace isorelink::host
