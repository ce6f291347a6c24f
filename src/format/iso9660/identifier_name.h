#pragma once
// How an ISO 9660 identifier (path table or directory record) becomes a name
// in our listings.
//
// The version is cut: when the next-to-last byte is ';' the identifier ends
// there ("README.TXT;1" -> "README.TXT", "DATA.;1" -> "DATA."); a version of
// more than one character ("FILE.BIN;12") stays.
//
// Names are otherwise written as the image holds them, except for bytes that
// would break a listing line or let a host that extracts by these paths climb
// out of its folder: control bytes (below 0x20, and 0x7F), '\' and '/' become
// '_', and a name that is "." or ".." becomes "_" or "__".
#include <string>

#include "format/endian.h"

namespace isorelink {

std::string listing_name(ByteView identifier);

} // namespace isorelink
