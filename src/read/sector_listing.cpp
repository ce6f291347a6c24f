#include "read/sector_listing.h"

#include "common/messages.h"
#include "common/job_error.h"
#include "common/progress.h"

namespace isorelink::host {

namespace {

bool hex_field(std::string_view line, std::size_t at, std::uint32_t& value) {
    if (at + 8 > line.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + 8; ++i) {
        const char c = line[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else
            return false;
        value = value << 4 | digit;
    }
    return true;
}

bool bar_at(std::string_view line, std::size_t at) { return at < line.size() && line[at] == '|'; }

// Eight upper-case hex digits and a bar.
void append_field(std::string& text, std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char field[9];
    for (int i = 7; i >= 0; --i, value >>= 4) field[i] = kDigits[value & 0xF];
    field[8] = '|';
    text.append(field, sizeof field);
}

void append_line(std::string& text, const ListingLine& line, ImageKind kind) {
    append_field(text, line.sector);
    append_field(text, line.size);
    append_field(text, line.extent_field);
    if (kind == ImageKind::Ps2Dvd) append_field(text, line.descriptor);
    text += line.path;
    text += "\r\n";
}

} // namespace

Expected<std::vector<ListingLine>> parse_sector_listing(std::string_view text, ImageKind kind) {
    const bool dvd = kind == ImageKind::Ps2Dvd;
    const std::size_t path_at = dvd ? 36 : 27;
    std::vector<ListingLine> lines;
    std::size_t number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        progress::tick();
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line.size() > kMaxText)
            return job_error(msg::kListingLineTooLong, {std::to_string(number), std::to_string(kMaxText)});
        ListingLine entry;
        const bool fields = hex_field(line, 0, entry.sector) && bar_at(line, 8) && hex_field(line, 9, entry.size) &&
                            bar_at(line, 17) && hex_field(line, 18, entry.extent_field) && bar_at(line, 26) &&
                            (!dvd || (hex_field(line, 27, entry.descriptor) && bar_at(line, 35))) &&
                            line.size() > path_at;
        if (!fields)
            return job_error(msg::kListingLineFields, {std::to_string(number), to_string(kind), line});
        entry.path = std::string(line.substr(path_at));
        lines.push_back(std::move(entry));
    }
    return lines;
}

std::string format_listing_line(const ListingLine& line, ImageKind kind) {
    std::string text;
    append_line(text, line, kind);
    return text;
}

std::string format_sector_listing(const std::vector<ListingLine>& lines, ImageKind kind) {
    std::string text;
    std::size_t length = 0;
    for (const auto& line : lines) length += 40 + line.path.size();
    text.reserve(length);
    for (const auto& line : lines) {
        append_line(text, line, kind);
        progress::tick();
    }
    return text;
}

} // namespace isorelink::host
