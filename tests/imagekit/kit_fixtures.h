#pragma once
// Specs the image kit tests share.
#include <string>
#include <vector>

#include "imagekit/image_spec.h"

namespace isorelink::test {

inline kit::FileSpec pattern_file(std::string path, std::uint64_t size) {
    kit::FileSpec file;
    file.path = std::move(path);
    file.pattern = kit::ContentPattern::Pattern;
    file.size = size;
    return file;
}

inline kit::FileSpec text_file(std::string path, const std::string& text) {
    kit::FileSpec file;
    file.path = std::move(path);
    for (char c : text) file.content.push_back(static_cast<std::byte>(c));
    return file;
}

// A small game-like volume: root files, a folder, a nested folder, an odd
// and an even identifier length, a file of several sectors.
inline kit::ImageSpec sample_spec(ImageKind kind) {
    kit::ImageSpec spec;
    spec.kind = kind;
    spec.volume_id = "SAMPLE";
    spec.files.push_back(text_file("\\SYSTEM.CNF", "BOOT2 = cdrom0:\\SLUS_000.01;1\r\nVER = 1.00\r\n"));
    spec.files.push_back(pattern_file("\\SLUS_000.01", 70000));
    spec.files.push_back(pattern_file("\\DATA\\MOVIE.PSS", 5000));
    spec.files.push_back(pattern_file("\\DATA\\SOUND\\BGM.VAG", 2048));
    spec.files.push_back(pattern_file("\\DATA\\A.BIN", 1));
    spec.files.push_back(pattern_file("\\DATA\\AB.BIN", 4097));
    return spec;
}

} // namespace isorelink::test
