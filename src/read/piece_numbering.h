#pragma once
// Names of files recorded in several extents. Every extent is listed; the
// pieces (flag 0x80) of a file are numbered 0, 1, 2 ... in record order and
// its last extent gets the next number, put before every '.' of the name:
// MOVIE.PSS in three extents lists as MOVIE0.PSS, MOVIE1.PSS, MOVIE2.PSS and
// A.B.C in two as A0.B0.C, A1.B1.C. A file in one extent keeps its name.
//
// The counters run on from one directory to the next, as the walk meets the
// records.
#include <cstdint>
#include <string>

namespace isorelink {

class PieceNumbering {
public:
    // The listed name of a kept record (flags 0x00, 0x01 or 0x80).
    std::string name_for(std::uint8_t flags, const std::string& name);

private:
    std::uint64_t extent_counter_ = 0;
    std::uint64_t pending_pieces_ = 0;
};

// Replaces every '.' of name by number followed by '.'.
std::string numbered_name(const std::string& name, std::uint64_t number);

} // namespace isorelink
