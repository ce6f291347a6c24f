// list IMAGE [--json]: every file with its sector, size, sectors and room,
// then a summary; --json prints the same as one JSON document.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "tools/capacity.h"
#include "tools/image_listing.h"

namespace isorelink::cli {

namespace {

constexpr std::string_view kListUsage =
    "usage: isorelink list IMAGE.ISO [--json]\n"
    "  prints every file of the image: its first sector, size in bytes, sectors, room (the bytes it may grow\n"
    "  by and keep its sector) and path, in sector order; then the kind, the volume's size, the sectors after\n"
    "  the last file and the disc the image fits\n"
    "  --json  print one JSON document instead (README \"list\" names its fields)\n";

// The length of the UTF-8 sequence at text[i], or 0 when none starts there (an overlong form, a surrogate, a
// code point beyond U+10FFFF, a cut sequence).
std::size_t utf8_sequence(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else return 0;
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
        return 0;
    return length;
}

bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8_sequence(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// A JSON string. Text that is valid UTF-8 is kept as it is; otherwise every byte from 0x80 up is written as
// the code point of the same number (\u0080 ... \u00FF), so that the recorded bytes come back as the string's
// ISO 8859-1 encoding. `latin1` tells which was done.
std::string json_string(std::string_view text, bool& latin1) {
    latin1 = !valid_utf8(text);
    std::string out = "\"";
    char escape[8];
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F || (latin1 && byte >= 0x80)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string json_string(std::string_view text) {
    bool latin1 = false;
    return json_string(text, latin1);
}

void print_json(const std::string& image, const host::ImageListing& listing) {
    std::string out = "{\n";
    bool image_latin1 = false;
    out += "  \"image\": " + json_string(image, image_latin1) + ",\n";
    out += "  \"image_latin1\": " + std::string(image_latin1 ? "true" : "false") + ",\n";
    out += "  \"kind\": " + json_string(to_string(listing.kind)) + ",\n";
    out += "  \"kind_recognised\": " + std::string(listing.kind_recognised ? "true" : "false") + ",\n";
    out += "  \"image_bytes\": " + std::to_string(listing.image_bytes) + ",\n";
    out += "  \"volume_sectors\": " + std::to_string(listing.volume_sectors) + ",\n";
    out += "  \"sectors_after_last_file\": " + std::to_string(listing.sectors_after_last_file) + ",\n";
    const auto check = host::check_capacity(listing.kind, listing.image_bytes);
    const host::Medium* medium = check.fits != nullptr ? check.fits : check.exceeded;
    out += "  \"capacity\": {\"medium\": " + json_string(medium ? medium->name : "") +
           ", \"bytes\": " + std::to_string(medium ? medium->bytes() : 0) +
           ", \"fits\": " + (check.fits != nullptr ? "true" : "false") +
           ", \"overrun\": " + std::to_string(check.fits != nullptr ? 0 : check.overrun) + "},\n";
    out += "  \"problems\": [";
    for (std::size_t i = 0; i < listing.problems.size(); ++i)
        out += (i ? ", " : "") + json_string(listing.problems[i]);
    out += "],\n  \"files\": [";
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const auto& f = listing.files[i];
        bool latin1 = false;
        const std::string path = json_string(f.path, latin1);
        out += i ? ",\n    " : "\n    ";
        out += "{\"sector\": " + std::to_string(f.sector) + ", \"size\": " + std::to_string(f.size) +
               ", \"sectors\": " + std::to_string(f.sectors) + ", \"room\": " + std::to_string(f.room) +
               ", \"extents\": " + std::to_string(f.extents) + ", \"path\": " + path +
               ", \"path_latin1\": " + (latin1 ? "true" : "false") + "}";
    }
    out += listing.files.empty() ? "]\n}\n" : "\n  ]\n}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

void print_text(const std::string& image, const host::ImageListing& listing) {
    std::printf("%10s %12s %9s %12s  %s\n", "SECTOR", "SIZE", "SECTORS", "ROOM", "PATH");
    for (const auto& f : listing.files) {
        std::printf("%10u %12llu %9llu %12llu  %s%s\n", f.sector, static_cast<unsigned long long>(f.size),
                    static_cast<unsigned long long>(f.sectors), static_cast<unsigned long long>(f.room),
                    f.path.c_str(), f.extents > 1 ? "  (in several extents: replace cannot change it)" : "");
    }
    const auto files = listing.files.size();
    std::printf("%s: %s image%s, %zu file%s\n", image.c_str(), std::string(to_string(listing.kind)).c_str(),
                listing.kind_recognised ? "" : " (kind not recognised)", files, files == 1 ? "" : "s");
    std::printf("volume: %s sectors (%s bytes); image: %s bytes\n",
                host::with_thousands(listing.volume_sectors).c_str(),
                host::with_thousands(std::uint64_t{listing.volume_sectors} * 2048).c_str(),
                host::with_thousands(listing.image_bytes).c_str());
    std::printf("sectors after the last file: %s\n", host::with_thousands(listing.sectors_after_last_file).c_str());
    std::printf("capacity: %s\n", host::describe_capacity(listing.kind, listing.image_bytes).c_str());
    for (const auto& p : listing.problems) std::fprintf(stderr, "isorelink: warning: %s\n", p.c_str());
}

} // namespace

int list_command(Args args) {
    bool json = false;
    std::string image;
    for (const auto arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kListUsage.data(), stdout);
            return kExitSuccess;
        }
        if (arg == "--json") json = true;
        else if (arg.starts_with("-") && arg != "-")
            return usage_error("list: unknown option '" + std::string(arg) + "'", kListUsage);
        else if (image.empty()) image = std::string(arg);
        else return usage_error("list: one image at a time", kListUsage);
    }
    if (image.empty()) return usage_error("list: name an image", kListUsage);
    const auto listing = host::list_image(image);
    if (!listing) return fail(listing.error(), {});
    if (json) print_json(image, *listing);
    else print_text(image, *listing);
    return kExitSuccess;
}

} // namespace isorelink::cli
