#pragma once
// How an ISO 9660 identifier (path table or directory record) becomes a name
// in our listings, and in every tool that names a file: one rule.
//
// The version is cut: when the next-to-last byte is ';' the identifier ends
// there ("README.TXT;1" -> "README.TXT", "DATA.;1" -> "DATA."); a version of
// more than one character ("FILE.BIN;12") stays.
//
// Names are otherwise written as the image holds them, except for bytes that
// would break a listing line or let a host that extracts by these paths climb
// out of its folder: control bytes (below 0x20, and 0x7F), '\' and '/' become
// '_', and a name that is "." or ".." becomes "_" or "__".
//
// Japanese discs name files in Shift-JIS, whose second byte of a pair may be
// 0x5C ("ソ" is 83 5C) or 0x7C: a lead byte (0x81-0x9F, 0xE0-0xFC) followed
// by a trail byte (0x40-0x7E, 0x80-0xFC) is kept whole. Where a kept 0x5C
// would let a host that reads the path byte by byte see "." or ".." as a
// folder name, those dots become '_'.
#include <string>

#include "format/endian.h"

namespace isorelink {

std::string listing_name(ByteView identifier);

} // namespace isorelink
