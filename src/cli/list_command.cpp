// list IMAGE [--json]: every file with its sector, size, sectors and room,
// then a summary; --json prints the same as one JSON document.
#include <charconv>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "platform/bulk_memory.h"
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

// Printable ASCII but for '"' and '\\': written as it is, valid UTF-8 as it is.
bool plain_json_text(std::string_view text) {
    bool plain = true;  // no early exit: the loop runs over whole vectors of bytes
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        plain &= byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
    }
    return plain;
}

// A JSON string, appended to out. Text that is valid UTF-8 is kept as it is; otherwise every byte from 0x80
// up is written as the code point of the same number (\u0080 ... \u00FF), so that the recorded bytes come back
// as the string's ISO 8859-1 encoding. `latin1` tells which was done.
void append_json_string(std::string& out, std::string_view text, bool& latin1) {
    out += '"';
    if (plain_json_text(text)) {
        latin1 = false;
        out += text;
        out += '"';
        return;
    }
    latin1 = !valid_utf8(text);
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
    out += '"';
}

void append_json_string(std::string& out, std::string_view text) {
    bool latin1 = false;
    append_json_string(out, text, latin1);
}

void append_number(std::string& out, std::uint64_t n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end);
}

const char* json_bool(bool b) { return b ? "true" : "false"; }

// The document goes out a block at a time through one buffer: the listing of a large disc runs to megabytes.
void print_json(const std::string& image, const host::ImageListing& listing) {
    constexpr std::size_t kBlock = 64 * 1024;
    std::string out;
    out.reserve(kBlock + 4096);
    const auto flush = [&] {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    };
    bool image_latin1 = false;
    out += "{\n  \"image\": ";
    append_json_string(out, image, image_latin1);
    out += ",\n  \"image_latin1\": ";
    out += json_bool(image_latin1);
    out += ",\n  \"kind\": ";
    append_json_string(out, to_string(listing.kind));
    out += ",\n  \"kind_recognised\": ";
    out += json_bool(listing.kind_recognised);
    out += ",\n  \"image_bytes\": ";
    append_number(out, listing.image_bytes);
    out += ",\n  \"volume_sectors\": ";
    append_number(out, listing.volume_sectors);
    out += ",\n  \"sectors_after_last_file\": ";
    append_number(out, listing.sectors_after_last_file);
    const auto check = host::check_capacity(listing.kind, listing.image_bytes);
    const host::Medium* medium = check.fits != nullptr ? check.fits : check.exceeded;
    out += ",\n  \"capacity\": {\"medium\": ";
    append_json_string(out, medium ? medium->name : "");
    out += ", \"bytes\": ";
    append_number(out, medium ? medium->bytes() : 0);
    out += ", \"fits\": ";
    out += json_bool(check.fits != nullptr);
    out += ", \"overrun\": ";
    append_number(out, check.fits != nullptr ? 0 : check.overrun);
    out += "},\n  \"problems\": [";
    for (std::size_t i = 0; i < listing.problems.size(); ++i) {
        if (i) out += ", ";
        append_json_string(out, listing.problems[i]);
        if (out.size() >= kBlock) flush();
    }
    out += "],\n  \"files\": [";
    constexpr std::size_t kAhead = 8;  // the paths lie about the heap in walk order, not in this one
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        if (i + kAhead < listing.files.size()) __builtin_prefetch(listing.files[i + kAhead].path.data());
        const auto& f = listing.files[i];
        out += i ? ",\n    {\"sector\": " : "\n    {\"sector\": ";
        append_number(out, f.sector);
        out += ", \"size\": ";
        append_number(out, f.size);
        out += ", \"sectors\": ";
        append_number(out, f.sectors);
        out += ", \"room\": ";
        append_number(out, f.room);
        out += ", \"extents\": ";
        append_number(out, f.extents);
        out += ", \"path\": ";
        bool latin1 = false;
        append_json_string(out, f.path, latin1);
        out += ", \"path_latin1\": ";
        out += json_bool(latin1);
        out += '}';
        if (out.size() >= kBlock) flush();
    }
    out += listing.files.empty() ? "]\n}\n" : "\n  ]\n}\n";
    flush();
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
    platform::keep_freed_heap();
    const auto listing = host::list_image(image);
    if (!listing) return fail(listing.error(), {});
    if (json) print_json(image, *listing);
    else print_text(image, *listing);
    return kExitSuccess;
}

} // namespace isorelink::cli
