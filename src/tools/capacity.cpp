#include "tools/capacity.h"

#include <array>

namespace isorelink::host {

namespace {

constexpr std::array<Medium, 2> kCd{{{"74-minute CD", "a", 333'000}, {"80-minute CD", "an", 360'000}}};
constexpr std::array<Medium, 2> kDvd{{{"single-layer DVD-5", "a", 2'295'104}, {"dual-layer DVD-9", "a", 4'173'824}}};
constexpr std::array<Medium, 2> kUmd{{{"single-layer UMD", "a", 439'453}, {"dual-layer UMD", "a", 878'906}}};

} // namespace

std::span<const Medium> media_of(ImageKind kind) {
    switch (kind) {
    case ImageKind::Ps2Cd: return kCd;
    case ImageKind::Ps2Dvd: return kDvd;
    case ImageKind::PspUmd: return kUmd;
    }
    return {};
}

CapacityCheck check_capacity(ImageKind kind, std::uint64_t image_bytes) {
    CapacityCheck check;
    for (const auto& medium : media_of(kind)) {
        if (image_bytes <= medium.bytes()) {
            check.fits = &medium;
            break;
        }
        check.exceeded = &medium;
        check.overrun = image_bytes - medium.bytes();
    }
    return check;
}

std::string with_thousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::optional<std::string> capacity_warning(const std::string& image_path, ImageKind kind, std::uint64_t image_bytes) {
    const auto check = check_capacity(kind, image_bytes);
    if (check.exceeded == nullptr) return std::nullopt;
    std::string text = "isorelink: warning: " + image_path + " is " + with_thousands(image_bytes) + " bytes, " +
                       with_thousands(check.overrun) + " bytes more than " + std::string(check.exceeded->article) +
                       " " + std::string(check.exceeded->name) + " holds (" +
                       with_thousands(check.exceeded->bytes()) + ")";
    if (check.fits != nullptr)
        text += "; it needs " + std::string(check.fits->article) + " " + std::string(check.fits->name);
    else
        text += "; no " + std::string(to_string(kind)) + " disc holds it";
    return text;
}

std::string describe_capacity(ImageKind kind, std::uint64_t image_bytes) {
    const auto check = check_capacity(kind, image_bytes);
    if (check.fits != nullptr)
        return "fits " + std::string(check.fits->article) + " " + std::string(check.fits->name) + " (" +
               with_thousands(check.fits->bytes()) + " bytes; " + with_thousands(check.fits->bytes() - image_bytes) +
               " bytes free)";
    if (check.exceeded == nullptr) return "no known medium";
    return "exceeds " + std::string(check.exceeded->article) + " " + std::string(check.exceeded->name) + " (" +
           with_thousands(check.exceeded->bytes()) + " bytes) by " + with_thousands(check.overrun) + " bytes";
}

} // namespace isorelink::host
