#pragma once
// A PS2-CD-like image made by genisoimage, the CLI run on it, and raw sector access.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "format/cd_sector.h"
#include "support/test_support.h"

namespace isorelink::test {

inline constexpr std::size_t kRaw = cd::kRawSectorSize;

inline std::vector<std::byte> random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::byte> bytes(n);
    for (auto& b : bytes) b = std::byte(random() & 0xFF);
    return bytes;
}

// GAME.ISO in dir: \DATA\A.BIN (300,000 bytes), \DATA\KEEP.BIN, \README.TXT, a
// system identifier and XA signature like a PS2 CD's. Empty when genisoimage
// is missing.
inline std::string make_game(const ScratchDir& dir) {
    if (!have_program("genisoimage")) return {};
    const auto src = dir.path() / "src";
    std::filesystem::create_directories(src / "DATA");
    write_bytes((src / "DATA" / "A.BIN").string(), random_bytes(300000, 1));
    write_bytes((src / "DATA" / "KEEP.BIN").string(), random_bytes(40000, 2));
    write_text((src / "README.TXT").string(), "hello\n");
    const auto iso = dir.file("GAME.ISO");
    const auto r = run_command("genisoimage -quiet -sysid PLAYSTATION -V GAME -XA -o " + shell_quote(iso) + " " +
                               shell_quote(src.string()));
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return iso;
}

inline CommandResult cli(const std::string& arguments) {
    return run_command(std::string(ISORELINK_CLI) + " " + arguments);
}

inline std::string q(const std::string& path) { return shell_quote(path); }

// Sector n of a raw file, or of a plain one.
inline std::vector<std::byte> raw_sector(const std::vector<std::byte>& bin, std::size_t n) {
    return {bin.begin() + static_cast<std::ptrdiff_t>(n * kRaw), bin.begin() + static_cast<std::ptrdiff_t>((n + 1) * kRaw)};
}
inline bool same_user_data(const std::vector<std::byte>& raw, const std::vector<std::byte>& iso, std::size_t n,
                           std::size_t offset = 24) {
    return std::memcmp(raw.data() + n * kRaw + offset, iso.data() + n * 2048, 2048) == 0;
}

} // namespace isorelink::test
