#include "format/cue_sheet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace isorelink::cue {

namespace {

struct Line {
    std::string_view text;
    std::size_t number;
    bool carriage_return = false;  // the line ended in \r\n
};

std::string upper(std::string_view s) {
    std::string u(s);
    for (auto& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// Splits a line into words; a word in double quotes may hold blanks.
std::vector<std::string> words_of(std::string_view line, bool& unterminated) {
    std::vector<std::string> words;
    unterminated = false;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        if (line[i] == '"') {
            const auto end = line.find('"', i + 1);
            if (end == std::string_view::npos) {
                unterminated = true;
                return words;
            }
            words.emplace_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            const auto end = std::min(line.find_first_of(" \t", i), line.size());
            words.emplace_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

std::optional<std::uint32_t> parse_msf(std::string_view s) {
    unsigned m = 0, sec = 0, f = 0;
    int used = 0;
    const std::string text(s);
    if (std::sscanf(text.c_str(), "%u:%2u:%2u%n", &m, &sec, &f, &used) != 3 || used != static_cast<int>(text.size()))
        return std::nullopt;
    if (sec > 59 || f > 74 || m > 10000) return std::nullopt;
    return (m * 60 + sec) * 75 + f;
}

std::optional<int> parse_number(std::string_view s) {
    if (s.empty() || s.size() > 2 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoi(std::string(s));
}

std::vector<Line> lines_of(std::string_view text) {
    std::vector<Line> lines;
    std::size_t start = 0, number = 1;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        auto line = text.substr(start, end - start);
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.remove_suffix(1);
        lines.push_back({line, number++, cr});
        if (end == text.size()) break;
        start = end + 1;
    }
    return lines;
}

} // namespace

std::uint32_t Track::start() const {
    for (const auto& [number, frame] : indexes)
        if (number == 0) return frame;
    for (const auto& [number, frame] : indexes)
        if (number == 1) return frame;
    return 0;
}

SheetOrReason parse(std::string_view text) {
    Sheet sheet;
    auto refuse = [](std::size_t line, const std::string& why) {
        return SheetOrReason{std::nullopt, "line " + std::to_string(line) + ": " + why};
    };
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (text.find('\0') != std::string_view::npos) return {std::nullopt, "not a text file"};
    for (const auto& line : lines_of(text)) {
        bool unterminated = false;
        const auto words = words_of(line.text, unterminated);
        if (unterminated) return refuse(line.number, "a quote is not closed");
        if (words.empty()) continue;
        const auto command = upper(words[0]);
        if (command == "FILE") {
            if (words.size() != 3) return refuse(line.number, "FILE needs a name and a type");
            sheet.files.push_back({words[1], upper(words[2])});
        } else if (command == "TRACK") {
            if (sheet.files.empty()) return refuse(line.number, "TRACK before any FILE");
            const auto number = words.size() == 3 ? parse_number(words[1]) : std::nullopt;
            if (!number) return refuse(line.number, "TRACK needs a number and a mode");
            const int expected = sheet.tracks.empty() ? 1 : sheet.tracks.back().number + 1;
            if (*number != expected)
                return refuse(line.number, "track " + std::to_string(*number) + " where track " +
                                               std::to_string(expected) + " was due");
            Track track;
            track.number = *number;
            track.mode_text = upper(words[2]);
            track.mode = track.mode_text == "MODE1/2352"   ? TrackMode::Mode1Raw
                         : track.mode_text == "MODE2/2352" ? TrackMode::Mode2Raw
                         : track.mode_text == "AUDIO"      ? TrackMode::Audio
                                                           : TrackMode::Other;
            track.file = sheet.files.size() - 1;
            sheet.tracks.push_back(std::move(track));
        } else if (command == "INDEX") {
            if (sheet.tracks.empty()) return refuse(line.number, "INDEX before any TRACK");
            const auto number = words.size() == 3 ? parse_number(words[1]) : std::nullopt;
            const auto frame = words.size() == 3 ? parse_msf(words[2]) : std::nullopt;
            if (!number || !frame) return refuse(line.number, "INDEX needs a number and mm:ss:ff");
            auto& track = sheet.tracks.back();
            // Positions rise inside a file, across its tracks too.
            for (const auto& other : sheet.tracks)
                if (other.file == track.file)
                    for (const auto& [n, f] : other.indexes)
                        if (f > *frame) return refuse(line.number, "INDEX goes backwards");
            track.indexes.emplace_back(*number, *frame);
        } else if (command == "REM" || command == "CATALOG" || command == "TITLE" || command == "PERFORMER" ||
                   command == "SONGWRITER" || command == "FLAGS" || command == "ISRC" || command == "PREGAP" ||
                   command == "POSTGAP" || command == "CDTEXTFILE") {
            continue;
        } else {
            return refuse(line.number, "unknown command " + std::string(words[0]));
        }
    }
    if (sheet.files.empty() || sheet.tracks.empty()) return {std::nullopt, "no FILE with a TRACK"};
    for (const auto& track : sheet.tracks) {
        const bool has_one = std::any_of(track.indexes.begin(), track.indexes.end(),
                                         [](const auto& index) { return index.first == 1; });
        if (!has_one) return {std::nullopt, "track " + std::to_string(track.number) + " has no INDEX 01"};
    }
    const auto& first = sheet.tracks.front();
    if (first.mode != TrackMode::Mode1Raw && first.mode != TrackMode::Mode2Raw)
        return {std::nullopt, "track 1 is " + first.mode_text + "; isorelink reads a MODE1/2352 or MODE2/2352 data track 1"};
    if (first.file != 0 || sheet.files[0].type != "BINARY")
        return {std::nullopt, "track 1 must lie in the first FILE, a BINARY one"};
    if (first.start() != 0) return {std::nullopt, "track 1 must start at the first byte of its file"};
    return {std::move(sheet), {}};
}

std::uint64_t first_track_sectors(const Sheet& sheet, std::uint64_t file_sectors) {
    if (sheet.tracks.size() > 1 && sheet.tracks[1].file == sheet.tracks[0].file)
        return std::min<std::uint64_t>(sheet.tracks[1].start(), file_sectors);
    return file_sectors;
}

std::string msf_text(std::uint32_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", frames / 75 / 60, frames / 75 % 60, frames % 75);
    return text;
}

std::string rewrite(std::string_view text, std::string_view new_name, std::int64_t shift) {
    std::string out;
    int file_number = 0, track_number = 0;
    const auto lines = lines_of(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& line = lines[i];
        bool unterminated = false;
        const auto words = words_of(line.text, unterminated);
        const auto command = words.empty() ? std::string() : upper(words[0]);
        std::string kept(line.text);
        if (command == "FILE") {
            ++file_number;
            if (file_number == 1 && words.size() == 3)
                kept = "FILE \"" + std::string(new_name) + "\" " + words[2];
        } else if (command == "TRACK") {
            ++track_number;
        } else if (command == "INDEX" && file_number == 1 && track_number > 1 && words.size() == 3) {
            if (const auto frame = parse_msf(words[2])) {
                const std::int64_t moved = std::max<std::int64_t>(0, static_cast<std::int64_t>(*frame) + shift);
                const auto indent = line.text.substr(0, line.text.find_first_not_of(" \t"));
                kept = std::string(indent) + "INDEX " + words[1] + " " + msf_text(static_cast<std::uint32_t>(moved));
            }
        }
        out += kept;
        if (i + 1 < lines.size()) out += line.carriage_return ? "\r\n" : "\n";
    }
    return out;
}

std::string single_track(std::string_view bin_name, TrackMode mode) {
    return "FILE \"" + std::string(bin_name) + "\" BINARY\n  TRACK 01 " +
           (mode == TrackMode::Mode1Raw ? "MODE1/2352" : "MODE2/2352") + "\n    INDEX 01 00:00:00\n";
}

} // namespace isorelink::cue
