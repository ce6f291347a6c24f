#pragma once
// What the tools do with images that are not plain 2,048-byte files: decode
// one to a plain image, write a plain image back as BIN/CUE, CSO or ZSO (an
// earlier image of that format as the base whose unchanged sectors or blocks
// are copied as they are), check a container's own integrity for verify, and
// run replace through a plain image.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "read/image_source.h"
#include "tools/output_guard.h"
#include "tools/replace_job.h"

namespace isorelink::host {

// Writes the image's bytes to a new plain file; all-zero stretches are
// skipped by seeking, so the file is sparse where the file system allows.
Status decode_to_plain(const ImageSource& image, const std::string& out_path, const std::string& shown, bool quiet);

// The subheader of each sector a raw writer encodes afresh.
using SubheaderOf = std::function<cd::Subheader(std::uint64_t sector)>;

// Writes track 1 of a raw image from image's sectors. With a base, every
// sector whose user data equal the base's at the same address is copied raw
// from it, byte for byte; the rest is encoded (Mode 2 Form 1 or Mode 1, by the
// base's track or mode2). Then, with a base whose .bin holds later tracks,
// the rest of the base .bin is copied after track 1. Reports the number of
// sectors encoded afresh.
struct RawWriteResult {
    std::uint64_t sectors = 0;
    std::uint64_t encoded = 0;
};
Expected<RawWriteResult> write_raw_image(const ImageSource& image, const std::string& bin_path, bool mode2,
                                         const RawSource* base, const SubheaderOf& subheader_of, bool quiet);

// Subheaders for an image encoded from scratch: the data subheader, with the
// end-of-record and end-of-file bits on the last sector of every file and
// directory the ISO 9660 volume names, of the volume descriptors, and of the
// image.
SubheaderOf fresh_subheaders(const ImageSource& image);

// Writes a CSO or ZSO. With a base (of the same family), blocks whose bytes
// equal the base's are copied as stored, the others compressed; the header's
// version, block size and index shift follow the base, else CSO version 1 or
// ZSO, 2,048-byte blocks and the smallest shift that reaches the file's end.
struct PackedWriteResult {
    std::uint64_t blocks = 0;
    std::uint64_t compressed = 0;  // blocks compressed afresh
    std::uint64_t file_size = 0;
};
Expected<PackedWriteResult> write_packed_image(const ImageSource& image, const std::string& path, packed::Family family,
                                               const PackedSource* base, bool quiet);

// verify's look at the container: a raw image's every track-1 sector (sync,
// header address, EDC, ECC), a compressed image's every block (it decodes to
// its length). Problems are appended, one a line.
void check_container(const ImageSource& image, std::vector<std::string>& problems, bool quiet);

// replace on a BIN/CUE, CSO or ZSO: nullopt for a plain image (the caller
// goes on as before). Otherwise decodes it to a plain image in a temporary
// folder beside it, runs replace there and writes NEW-NAME in the source's
// format (for a raw image NEW-NAME.bin and NEW-NAME.cue) beside the source,
// the relink list with it. A .bin that holds track 1 alone is decoded only
// where replace reads it (the kept files' content stays holes) and its new
// .bin is a copy of it with the sectors replace may have changed made afresh:
// the same bytes as the whole decode and write give.
std::optional<Expected<ReplaceReport>> replace_other_format(const std::string& image_path,
                                                            const std::vector<ReplaceRequest>& requests, bool quiet,
                                                            GuardOptions options);

// A plain image to read, for the commands that read plain images (list,
// unpack): the image itself when it is plain; else decoded into a work folder
// beside it (sparse where it holds zeros), removed when this ends.
class PlainImage {
public:
    explicit PlainImage(std::string path) : path_(std::move(path)) {}
    PlainImage(const PlainImage&) = delete;
    PlainImage& operator=(const PlainImage&) = delete;
    ~PlainImage();
    const std::string& path() const { return path_; }

private:
    friend Expected<std::unique_ptr<PlainImage>> plain_image_of(const std::string& image_path, bool quiet);
    std::string path_;
    std::string work_folder_;  // ours to remove; empty for a plain image
};
Expected<std::unique_ptr<PlainImage>> plain_image_of(const std::string& image_path, bool quiet);

// For the commands that read 2,048-byte images only (extract, rebuild): the
// refusal naming the format and the convert command to run, or nullopt for
// a plain image (or one that cannot be opened: the job says why).
std::optional<JobError> plain_image_required(const std::string& image_path);

} // namespace isorelink::host
