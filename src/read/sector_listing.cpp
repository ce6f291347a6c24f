#include "read/sector_listing.h"

#include "common/job_error.h"
#include "common/messages.h"
#include "format/listing_line.h"
#include "common/progress.h"

namespace isorelink::host {

namespace {

void append_line(std::string& text, const ListingLine& line, ImageKind kind) {
    append_listing_line(text, kind == ImageKind::Ps2Dvd, line.sector, line.size, line.extent_field, line.descriptor,
                        line.path);
}

} // namespace

Expected<std::vector<ListingLine>> parse_sector_listing(std::string_view text, ImageKind kind) {
    const bool dvd = kind == ImageKind::Ps2Dvd;
    const std::size_t path_at = listing_path_start(dvd);
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
        ListingFields parsed;
        const bool fields =
            parse_listing_fields(line, dvd, parsed) && listing_bars_in_place(line, dvd) && line.size() > path_at;
        if (!fields)
            return job_error(msg::kListingLineFields, {std::to_string(number), to_string(kind), line});
        ListingLine entry{parsed.sector, parsed.size, parsed.record_field, parsed.descriptor,
                          std::string(line.substr(path_at))};
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
