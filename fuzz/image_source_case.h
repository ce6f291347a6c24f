#pragma once
// One input of fuzz_image_source: the image sources and what reads through
// them, on arbitrary files: a CUE sheet with its BIN, a BIN alone, a CSO or
// ZSO. Byte 0 picks the case; for a CUE, bytes 1-2 give the sheet's length,
// the sheet follows, then the BIN. Nothing may crash, hang, leak or read out
// of bounds; every failure is a message. The tests replay the stored inputs
// and mutations of them through it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "read/image_source.h"
#include "read/iso_volume.h"
#include "tools/format_bridge.h"

namespace isorelink::fuzz {

// Removed first: a file truncated and written again is flushed to the disk
// on close by some file systems (ext4), which would set the pace.
inline void write_input_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::remove(path.c_str());
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// dir: a scratch folder prefix (with its trailing separator).
inline void image_source_case(const std::string& dir, std::span<const std::uint8_t> input) {
    if (input.size() < 3) return;
    const auto rest = input.subspan(1);
    std::string image;
    switch (input[0] % 3) {
    case 0: {
        const std::size_t cue_length = std::min<std::size_t>(rest[0] | rest[1] << 8, rest.size() - 2);
        write_input_file(dir + "GAME.cue", rest.subspan(2, cue_length));
        write_input_file(dir + "GAME.bin", rest.subspan(2 + cue_length));
        image = dir + "GAME.cue";
        break;
    }
    case 1:
        write_input_file(dir + "GAME.bin", rest);
        image = dir + "GAME.bin";
        break;
    default:
        write_input_file(dir + "GAME.cso", rest);
        image = dir + "GAME.cso";
        break;
    }
    auto source = host::open_image_source(image);
    if (!source) return;
    const auto& s = **source;
    (void)host::read_iso_volume(s);
    std::vector<std::string> problems;
    host::check_container(s, problems, true);
    // Reads across block and sector edges, and past the end.
    std::vector<std::byte> buffer(5000);
    const std::uint64_t length = s.size().value_or(0);
    for (const std::uint64_t at : {std::uint64_t{0}, std::uint64_t{2047}, length / 2,
                                   length - std::min<std::uint64_t>(length, 100), length})
        (void)s.read_at(at, buffer);
}

} // namespace isorelink::fuzz
