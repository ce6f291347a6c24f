#pragma once
// replace: the host's half of the round trip. Extracts the image's sector
// listing, plans where each replaced file goes, writes NEW-IMAGE.ISO and the
// relink list beside the image and runs the rebuild on them. The source
// image is only ever read; a failed replace leaves no new image behind.
#include <cstdint>
#include <string>
#include <vector>

#include "format/image_kind.h"
#include "common/result.h"
#include "platform/image_copy.h"
#include "tools/counted.h"
#include "tools/output_guard.h"
#include "tools/replace_increment.h"
#include "tools/replace_plan.h"

namespace isorelink::host {

struct ReplaceRequest {
    std::string iso_path;    // "\\DATA\\FILE.BIN" or "data/file.bin", any case
    std::string local_path;  // the new content
};

struct ReplaceSettings {
    bool quiet = false;         // no progress bar
    bool dry_run = false;       // plan and report only: nothing is written beside the image or in out_folder
    std::string from_folder;    // every file of this folder that differs from the image's is replaced
    std::string out_folder;     // where the new image and the listings go; "" for beside the image
    GuardOptions guard;
};

struct ReplaceReport {
    ImageKind kind = ImageKind::Ps2Cd;
    std::string new_image;
    std::string relink_list;
    std::vector<PlannedFile> files;
    CopyMethod copy_method = CopyMethod::Streamed;
    std::uint64_t written_size = 0;    // bytes of the new image before the rebuild
    std::uint64_t new_image_size = 0;  // after it (a post-gap may have been appended)
    std::uint32_t lines_applied = 0;
    std::size_t unchanged = 0;  // files of the --from folder that hold the image's bytes
    bool dry_run = false;       // new_image_size is then the copy's planned length, before the rebuild
    std::string container_note;        // BIN/CUE, CSO, ZSO: what was written in that format
    bool in_place = false;             // the last run's new image was updated, not copied again
    // Sectors of the new image that may differ from the source's (sorted, merged); every other sector holds
    // the source's bytes, a kept file's content, which the run never reads.
    std::vector<SectorRange> may_differ;
};

// "ISO_PATH=LOCAL_FILE": split at the first '=' (ISO 9660 names hold none).
Expected<ReplaceRequest> parse_replace_argument(std::string_view argument);

// Writes a whole text file replace produces (the relink list, a CUE sheet).
Status write_text_file(const std::string& path, const std::string& text);

// Refuses, before it writes anything, to overwrite a listing, relink list or
// new image that isorelink did not write (or that changed since), unless
// options.force; a failed run removes what it wrote, unless options.keep,
// and its message says so.
// Every run starts from the image as it is: an earlier new image is replaced, never built upon (when that
// image is the one the last run wrote from this same source, only the sectors that differ are rewritten, and
// the bytes are those a fresh copy would hold; see tools/replace_increment.h). With a
// folder and no request, a folder that holds only the image's bytes gives a copy of the image.
Expected<ReplaceReport> run_replace(const std::string& image_path, const std::vector<ReplaceRequest>& requests,
                                    const ReplaceSettings& settings);
Expected<ReplaceReport> run_replace(const std::string& image_path, const std::vector<ReplaceRequest>& requests,
                                    bool quiet, GuardOptions options = {});

// The short report the CLI prints.
std::string describe_replace(const ReplaceReport& report);

} // namespace isorelink::host
