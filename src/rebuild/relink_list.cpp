#include "rebuild/relink_list.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "common/messages.h"
#include "format/listing_line.h"
#include "common/progress.h"

namespace isorelink {

namespace {

struct ListLine {
    std::string_view text;    // without its line end; valid until the next line
    std::size_t length = 0;   // characters counting the line feed
    bool too_long = false;
};

// Hands out the list's lines one at a time from large block reads. A line
// that lies within a block is handed out where it lies; only a line that
// runs across blocks is gathered, keeping at most one character past the
// longest line (enough to know it is too long).
class LineSource {
public:
    explicit LineSource(File& file) : file_(file) {}

    // The next line into `line`; false at the end of the list. (Filled in
    // place: a returned optional would be copied through memory per line.)
    bool next(ListLine& line) {
        gathered_.clear();
        bool any = false;
        bool too_long = false;
        for (;;) {
            if (pos_ == filled_ && !refill()) break;
            const char* from = block_.data() + pos_;
            const std::size_t available = filled_ - pos_;
            const auto* feed = static_cast<const char*>(std::memchr(from, '\n', available));
            const std::size_t taken = feed != nullptr ? static_cast<std::size_t>(feed - from) : available;
            pos_ += taken;
            if (feed != nullptr) ++pos_;
            if (feed != nullptr && !any) return finish(std::string_view(from, taken), true, false, line);
            any = true;
            const std::size_t room = kKept - std::min(gathered_.size(), kKept);
            gathered_.append(from, std::min(taken, room));
            too_long = too_long || taken > room;
            if (feed != nullptr) return finish(gathered_, true, too_long, line);
            // A line known to be too long refuses the list: its end is not looked for.
            if (too_long) return finish(gathered_, false, true, line);
        }
        if (!any) return false;
        return finish(gathered_, false, too_long, line);
    }

private:
    static constexpr std::size_t kKept = relink::kLongestLine + 1;

    static bool finish(std::string_view text, bool fed, bool too_long, ListLine& line) {
        if (fed && !text.empty() && text.back() == '\r') text.remove_suffix(1);
        line.text = text;
        line.length = text.size() + (fed ? 1 : 0);
        line.too_long = too_long || line.length > relink::kLongestLine;
        return true;
    }

    bool refill() {
        filled_ = file_.read(std::as_writable_bytes(std::span(block_)));
        pos_ = 0;
        return filled_ > 0;
    }

    File& file_;
    std::array<char, 64 * 1024> block_{};
    std::size_t filled_ = 0;
    std::size_t pos_ = 0;
    std::string gathered_;
};

// Lines room is made for before the list is read (16 bytes each).
constexpr std::uint64_t kReservedLines = std::uint64_t{1} << 20;

// Decodes a line into `line` where it will stay; false when it is refused.
bool decode_relink_line(std::string_view text, ImageKind kind, RelinkLine& line) {
    ListingFields fields;
    const bool valid = parse_listing_fields(text, kind == ImageKind::Ps2Dvd, fields);
    line = {fields.sector, fields.size, fields.record_field, fields.descriptor};
    return valid;
}

} // namespace

std::optional<RelinkLine> parse_relink_line(std::string_view text, ImageKind kind) {
    RelinkLine line;
    if (!decode_relink_line(text, kind, line)) return std::nullopt;
    return line;
}

JobError invalid_relink_line(std::uint32_t number, const std::string& list_path, std::string_view reason) {
    return job_error(msg::kInvalidRelinkLine, {std::to_string(number), list_path, reason});
}

Expected<RelinkLines> read_relink_list(File& list, const std::string& list_path, ImageKind kind,
                                       std::uint32_t record_count) {
    LineSource source(list);
    RelinkLines lines;
    // The first line counts even when the record file promises none.
    const std::uint64_t most = record_count == 0 ? 1 : record_count;
    // Room for every line the list can hold, as far as the record file allows:
    // a line that is applied holds the kind's fields and, all but the last, a
    // line feed. Past kReservedLines the list grows as its lines are read, so
    // a record file's length alone never buys memory.
    if (const auto length = list.size()) {
        const std::uint64_t applied = (kind == ImageKind::Ps2Dvd ? relink::kLineWithDescriptor
                                                                  : relink::kLineWithoutDescriptor) + 1;
        const std::uint64_t room = std::min({most, *length / applied + 1, kReservedLines});
        lines.reserve(static_cast<std::size_t>(room));
    }
    ListLine line;
    while (lines.size() < most) {
        if (!source.next(line) || line.length < relink::kShortestLine) break;
        const auto number = static_cast<std::uint32_t>(lines.size() + 1);
        if (line.too_long) return invalid_relink_line(number, list_path, msg::relink_refusal::kLineTooLong);
        if (line.text.size() < (kind == ImageKind::Ps2Dvd ? relink::kLineWithDescriptor : relink::kLineWithoutDescriptor))
            return invalid_relink_line(number, list_path, msg::relink_refusal::kLineTooShort);
        if (!decode_relink_line(line.text, kind, lines.emplace_back()))
            return invalid_relink_line(number, list_path, msg::relink_refusal::kFieldNotHex);
        progress::tick();
    }
    return lines;
}

} // namespace isorelink
