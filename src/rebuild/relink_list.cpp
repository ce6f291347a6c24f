#include "rebuild/relink_list.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "platform/message_pump.h"

namespace isorelink {

namespace {

std::optional<unsigned> hex_digit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return std::nullopt;
}

struct ListLine {
    std::string text;         // without its line end
    std::size_t length = 0;   // characters counting the line feed
    bool too_long = false;
};

// Hands out the list's lines one at a time from large block reads, never
// holding more than one over-long line's worth of text.
class LineSource {
public:
    explicit LineSource(File& file) : file_(file) {}

    std::optional<ListLine> next() {
        ListLine line;
        bool any = false;
        for (;;) {
            if (pos_ == filled_ && !refill()) break;
            any = true;
            const char* from = block_.data() + pos_;
            const std::size_t available = filled_ - pos_;
            const auto* feed = static_cast<const char*>(std::memchr(from, '\n', available));
            const std::size_t taken = feed != nullptr ? static_cast<std::size_t>(feed - from) : available;
            // Keep at most one character past the longest line: enough to know it is too long.
            const std::size_t room = relink::kLongestLine + 1 - std::min(line.text.size(), relink::kLongestLine + 1);
            line.text.append(from, std::min(taken, room));
            if (taken > room) line.too_long = true;
            pos_ += taken;
            if (feed != nullptr) {
                ++pos_;
                if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
                line.length = line.text.size() + 1;
                line.too_long = line.too_long || line.length > relink::kLongestLine;
                return line;
            }
        }
        if (!any) return std::nullopt;
        line.length = line.text.size();
        line.too_long = line.too_long || line.length > relink::kLongestLine;
        return line;
    }

private:
    bool refill() {
        filled_ = file_.read(std::as_writable_bytes(std::span(block_)));
        pos_ = 0;
        return filled_ > 0;
    }

    File& file_;
    std::array<char, 64 * 1024> block_{};
    std::size_t filled_ = 0;
    std::size_t pos_ = 0;
};

} // namespace

std::optional<std::uint32_t> parse_hex_field(std::string_view text) {
    if (text.size() != relink::kFieldWidth) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const auto digit = hex_digit(c);
        if (!digit) return std::nullopt;
        value = value << 4 | *digit;
    }
    return value;
}

std::optional<RelinkLine> parse_relink_line(std::string_view text, ImageKind kind, std::uint32_t number) {
    const bool dvd = kind == ImageKind::Ps2Dvd;
    if (text.size() < (dvd ? relink::kLineWithDescriptor : relink::kLineWithoutDescriptor)) return std::nullopt;
    const auto field = [&](std::size_t at) { return parse_hex_field(text.substr(at, relink::kFieldWidth)); };
    const auto a = field(relink::kSector);
    const auto b = field(relink::kSize);
    const auto c = field(relink::kRecordField);
    const auto d = dvd ? field(relink::kDescriptor) : std::optional<std::uint32_t>(0);
    if (!a || !b || !c || !d) return std::nullopt;
    return RelinkLine{number, *a, *b, *c, *d};
}

JobError invalid_relink_line(std::uint32_t number, const std::string& list_path) {
    const std::string message = "Code 405 - invalid relink line " + std::to_string(number) + " %s";
    return job_error(message, list_path);
}

Expected<std::vector<RelinkLine>> read_relink_list(File& list, const std::string& list_path, ImageKind kind,
                                                   std::uint32_t record_count) {
    LineSource source(list);
    std::vector<RelinkLine> lines;
    // The first line counts even when the record file promises none.
    const std::uint64_t most = record_count == 0 ? 1 : record_count;
    while (lines.size() < most) {
        auto line = source.next();
        if (!line || line->length < relink::kShortestLine) break;
        const auto number = static_cast<std::uint32_t>(lines.size() + 1);
        if (line->too_long) return invalid_relink_line(number, list_path);
        auto decoded = parse_relink_line(line->text, kind, number);
        if (!decoded) return invalid_relink_line(number, list_path);
        lines.push_back(*decoded);
        platform::yield_to_host();
    }
    return lines;
}

} // namespace isorelink
