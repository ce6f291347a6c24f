#pragma once
// CUE sheets as disc dumps come with them: FILE "NAME.bin" BINARY, then
// TRACK nn MODE1/2352 | MODE2/2352 | AUDIO | ..., INDEX nn mm:ss:ff (the
// position in its file, 75 frames a second). Pure: text in, structure out.
//
// isorelink reads the first track, which must be a data track of raw
// 2,352-byte sectors (MODE1/2352 or MODE2/2352) starting at the first byte of
// the first FILE, a BINARY one. Every other track and file is kept as it is.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace isorelink::cue {

enum class TrackMode { Mode1Raw, Mode2Raw, Audio, Other };

struct Track {
    int number = 0;
    TrackMode mode = TrackMode::Other;
    std::string mode_text;      // as written: "MODE2/2352"
    std::size_t file = 0;       // index into Sheet::files
    std::vector<std::pair<int, std::uint32_t>> indexes;  // number, frame in its file
    // The first frame of the track in its file: INDEX 00 when there is one, else INDEX 01.
    std::uint32_t start() const;
};

struct File {
    std::string name;  // as written, relative to the sheet's folder
    std::string type;  // BINARY, WAVE, ...
};

struct Sheet {
    std::vector<File> files;
    std::vector<Track> tracks;
};

struct SheetOrReason {
    std::optional<Sheet> sheet;
    std::string reason;  // with the line number
};

// Parses and checks the sheet: at least one FILE and TRACK, track numbers
// rising from 1, every TRACK after a FILE, INDEX 01 in every track, indexes
// rising inside a file; the first track raw data in a BINARY file at frame 0.
// Unknown commands are refused; REM, CATALOG, TITLE, PERFORMER, SONGWRITER,
// FLAGS, ISRC, PREGAP, POSTGAP and CDTEXTFILE are kept without meaning.
SheetOrReason parse(std::string_view text);

// The number of sectors of the first track when its file is file_sectors long:
// up to the start of the next track in the same file, else the whole file.
std::uint64_t first_track_sectors(const Sheet& sheet, std::uint64_t file_sectors);

// The same sheet with the first FILE renamed to new_name and every INDEX of
// the later tracks in that file moved by shift frames (the first track grew
// or shrank). Everything else (other files, comments, line ends) is kept.
std::string rewrite(std::string_view text, std::string_view new_name, std::int64_t shift);

// A single-track sheet for a raw image.
std::string single_track(std::string_view bin_name, TrackMode mode);

// "mm:ss:ff" of a frame count, minutes unbounded.
std::string msf_text(std::uint32_t frames);

} // namespace isorelink::cue
