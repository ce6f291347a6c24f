#pragma once
// unpack: writes the files of an image under a folder, folders recreated,
// a file recorded in several extents joined, names by the project's name
// rule (listing_name: no name can be "..", hold a separator or climb out of
// the folder), each file's recording date as its modification time.
//
// The folder (by default IMAGE-files beside the image: GAME.ISO ->
// GAME.ISO-files) keeps a hidden ".isorelink" record of what unpack wrote
// there: a later unpack overwrites those files while they are unchanged, and
// refuses every other file in its way unless forced. Nothing is written
// through a link: a link or a file where a folder goes stops the run.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/result.h"
#include "format/image_kind.h"
#include "platform/image_copy.h"
#include "tools/output_guard.h"

namespace isorelink::host {

struct UnpackOptions {
    GuardOptions guard;
    bool quiet = false;  // no progress bar
};

struct UnpackReport {
    ImageKind kind = ImageKind::Ps2Cd;
    std::string folder;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    CopyMethod method = CopyMethod::Streamed;  // the fastest any file went by
    std::vector<std::string> warnings;         // files left out, records the walk could not follow
};

// "GAME.ISO" -> "GAME.ISO-files"
std::string default_unpack_folder(const std::string& image_path);

// Whether the image holds a file or folder of this name (any case, '/' or '\\'); false when it cannot be read.
bool image_holds(const std::string& image_path, const std::string& iso_path);

// iso_paths: files or folders of the image ("\\DATA", "data/text.bin", any case); empty for every file.
Expected<UnpackReport> run_unpack(const std::string& image_path, const std::string& folder,
                                  const std::vector<std::string>& iso_paths, const UnpackOptions& options);

} // namespace isorelink::host
