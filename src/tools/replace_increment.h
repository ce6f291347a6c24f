#pragma once
// The edit-test loop: a replace run again on the same image updates the new
// image it wrote last time in place instead of copying the whole image.
//
// Each replace leaves a hidden record beside its new image,
// ".NEW-GAME.ISO.increment":
//
//     isorelink increment record 1
//     source SIZE MTIME HASH PATH      the source image, HASH over its volume descriptors
//     kind NAME                        the image's kind
//     from PATH                        the --from folder ("-" for none)
//     image SIZE MTIME                 the new image as the run left it
//     differs FIRST END                sectors [FIRST, END) where the new image may differ from the source
//     folder SIZE MTIME CHANGED SAME PATH  a file of the --from folder as last seen (CHANGED its inode's
//                                      change time); SAME 1 when it held the image's bytes
//
// The next run trusts the new image only when the source, the kind and the
// new image are all as recorded: it then copies the recorded sectors back
// from the source, cuts the tail, and writes the new contents; whatever the
// rebuild patches after that, it patches the same way as on a fresh copy. The
// record is removed before the image is touched and written last, so a run
// that stops midway leaves no record and the next one copies in full.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "platform/image_copy.h"

namespace isorelink::host {

struct SectorRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;  // one past the last
    friend bool operator==(const SectorRange&, const SectorRange&) = default;
};

struct SourceIdentity {
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::string descriptors_hash;
    std::string path;  // absolute
    friend bool operator==(const SourceIdentity&, const SourceIdentity&) = default;
};

// A file of the --from folder as the last run saw it.
struct SeenFile {
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::int64_t changed = 0;  // platform::change_time; 0 when unknown (never trusted)
    bool same = false;  // held the source image's bytes
    friend bool operator==(const SeenFile&, const SeenFile&) = default;
};

struct IncrementRecord {
    SourceIdentity source;
    std::string kind;
    std::string from_folder;  // absolute, "" for none
    std::uint64_t image_size = 0;
    std::int64_t image_mtime = 0;
    std::vector<SectorRange> differs;
    std::map<std::string, SeenFile> folder;  // by the file's path
};

// ".NEW-GAME.ISO.increment" beside new_image.
std::string increment_record_path(const std::string& new_image);

// Nothing when the record is missing or not one of ours.
std::optional<IncrementRecord> load_increment(const std::string& path);
bool save_increment(const std::string& path, const IncrementRecord& record);
// True when no record is left at path.
bool remove_increment(const std::string& path);

// Nothing when the image cannot be read.
std::optional<SourceIdentity> identify_source(const std::string& image_path);

// Where a file's bytes came from, as unpack stamps its files and replace
// --from reads the stamps: the source image (its identity, hashed: the
// source's part, made once per run), the file's first sector and its size.
std::string source_origin(const SourceIdentity& source);
std::string file_origin(const std::string& source_origin, std::uint32_t first_sector, std::uint64_t size);

// Size and modification time of path as the record keeps them.
bool stat_file(const std::string& path, std::uint64_t& size, std::int64_t& mtime);

// The sectors of `candidates` (sorted, disjoint) where `image` differs from
// `source`, merged; every sector past the source's end counts as differing.
Expected<std::vector<SectorRange>> differing_ranges(const std::string& source, const std::string& image,
                                                    const std::vector<SectorRange>& candidates);

// Every sector of [0, total) outside `kept` (any order, may overlap), with `extra` added back; sorted and merged.
std::vector<SectorRange> outside_of(std::uint64_t total, std::vector<SectorRange> kept,
                                    const std::vector<SectorRange>& extra);

// Turns `target`, a copy of `source` that differs from it only within `differs`, into what
// write_overlaid_copy(source, target, overlays) writes: the differing sectors copied back, the tail
// cut, the overlays written, the length set.
Status update_in_place(const std::string& source, const std::string& target,
                       const std::vector<SectorRange>& differs, const std::vector<Overlay>& overlays);

} // namespace isorelink::host
