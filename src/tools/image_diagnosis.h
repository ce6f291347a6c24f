#pragma once
// A plain answer for an image the extraction refused: what the file is, and
// what isorelink needs instead. The module's coded messages stay as they
// are; the CLI prints this line after them.
#include <optional>
#include <string>

namespace isorelink::host {

// One line ("a folder, not an image", "raw 2,352-byte CD sectors (BIN): ...",
// "not a PS2 or PSP image: system identifier 'LINUX', no CD-XA001 mark ..."),
// or nothing when the file looks like an image isorelink takes and the
// refusal has another cause.
std::optional<std::string> diagnose_image(const std::string& path);

} // namespace isorelink::host
