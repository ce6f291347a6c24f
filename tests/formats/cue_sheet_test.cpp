// CUE sheets: what is read, what is refused, and the sheet replace writes.
#include <gtest/gtest.h>

#include "format/cue_sheet.h"

namespace isorelink {
namespace {

constexpr const char* kOneFile =
    "REM a dump\r\n"
    "FILE \"My Game.bin\" BINARY\r\n"
    "  TRACK 01 MODE2/2352\r\n"
    "    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n"
    "    INDEX 00 00:10:00\r\n"
    "    INDEX 01 00:12:00\r\n";

TEST(CueSheet, ReadsTracksOfOneOrSeveralFiles) {
    auto parsed = cue::parse(kOneFile);
    ASSERT_TRUE(parsed.sheet) << parsed.reason;
    const auto& sheet = *parsed.sheet;
    ASSERT_EQ(sheet.files.size(), 1u);
    EXPECT_EQ(sheet.files[0].name, "My Game.bin");
    ASSERT_EQ(sheet.tracks.size(), 2u);
    EXPECT_EQ(sheet.tracks[0].mode, cue::TrackMode::Mode2Raw);
    EXPECT_EQ(sheet.tracks[1].mode, cue::TrackMode::Audio);
    EXPECT_EQ(sheet.tracks[1].start(), 750u);  // INDEX 00 at 10 seconds
    // Track 1 ends where track 2 starts in the same file, or with its file.
    EXPECT_EQ(cue::first_track_sectors(sheet, 5000), 750u);
    EXPECT_EQ(cue::first_track_sectors(sheet, 600), 600u);

    parsed = cue::parse("FILE GAME.BIN BINARY\nTRACK 1 MODE1/2352\nINDEX 1 00:00:00\n"
                        "FILE \"GAME (Track 2).bin\" BINARY\nTRACK 2 AUDIO\nINDEX 0 00:00:00\nINDEX 1 00:02:00\n");
    ASSERT_TRUE(parsed.sheet) << parsed.reason;
    EXPECT_EQ(parsed.sheet->files[1].name, "GAME (Track 2).bin");
    EXPECT_EQ(parsed.sheet->tracks[0].mode, cue::TrackMode::Mode1Raw);
    EXPECT_EQ(cue::first_track_sectors(*parsed.sheet, 5000), 5000u);
}

TEST(CueSheet, RefusesWhatItCannotReadWithTheReason) {
    const std::pair<std::string_view, const char*> cases[] = {
        {"", "no FILE with a TRACK"},
        {"TRACK 01 MODE2/2352\n", "line 1: TRACK before any FILE"},
        {"FILE \"A.bin BINARY\n", "line 1: a quote is not closed"},
        {"FILE A.bin BINARY\nTRACK 02 MODE2/2352\nINDEX 01 00:00:00\n", "line 2: track 2 where track 1 was due"},
        {"FILE A.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:75\n", "line 3: INDEX needs a number and mm:ss:ff"},
        {"FILE A.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 00 00:00:00\n", "track 1 has no INDEX 01"},
        {"FILE A.bin BINARY\nTRACK 01 MODE2/2336\nINDEX 01 00:00:00\n", "track 1 is MODE2/2336"},
        {"FILE A.wav WAVE\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n", "track 1 must lie in the first FILE, a BINARY one"},
        {"FILE A.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:02:00\n", "track 1 must start at the first byte"},
        {"FILE A.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nINDEX 02 "
         "00:00:00\nTRACK 03 AUDIO\nINDEX 01 00:00:01\nINDEX 02 00:00:00\n",
         "line 9: INDEX goes backwards"},
        {"FILE A.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nSESSION 2\n", "line 4: unknown command SESSION"},
        {std::string_view("FILE A.bin BINARY\0", 18), "not a text file"},
    };
    for (const auto& [text, reason] : cases) {
        const auto parsed = cue::parse(text);
        EXPECT_FALSE(parsed.sheet) << text;
        EXPECT_NE(parsed.reason.find(reason), std::string::npos) << text << " -> " << parsed.reason;
    }
}

TEST(CueSheet, RewriteRenamesTheFirstFileAndMovesTheLaterTracksInIt) {
    EXPECT_EQ(cue::rewrite(kOneFile, "NEW-My Game.bin", 160),
              "REM a dump\r\n"
              "FILE \"NEW-My Game.bin\" BINARY\r\n"
              "  TRACK 01 MODE2/2352\r\n"
              "    INDEX 01 00:00:00\r\n"
              "  TRACK 02 AUDIO\r\n"
              "    INDEX 00 00:12:10\r\n"
              "    INDEX 01 00:14:10\r\n");
    // Tracks in other files keep their positions.
    EXPECT_EQ(cue::rewrite("FILE A.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nFILE B.bin BINARY\nTRACK 02 "
                           "AUDIO\nINDEX 01 00:02:00",
                           "NEW-A.bin", 500),
              "FILE \"NEW-A.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nFILE B.bin BINARY\nTRACK 02 "
              "AUDIO\nINDEX 01 00:02:00");
    EXPECT_EQ(cue::msf_text(75 * 60 * 100 + 75 + 3), "100:01:03");
}

} // namespace
} // namespace isorelink
