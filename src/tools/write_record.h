#pragma once
// What isorelink wrote beside an image, so that a later run can tell its own
// outputs from the user's files: a hidden ".isorelink" file in the image's
// folder, one line per output it wrote there,
//
//     isorelink write record 1
//     SIZE MTIME HASH NAME
//
// SIZE in bytes, MTIME the file's modification time in the file system's
// ticks, HASH a 64-bit hash of its bytes in hexadecimal ("-" for a file over
// 64 MiB, an image, whose size and time stand for it), NAME the file's name
// in the folder (its path inside the folder for a file in a sub-folder, with
// the platform's separators). A file counts as isorelink's own only while all three match.
//
// unpack writes too many bytes to read them back, and extract's listings
// would be read on every run: their files carry a stamp in HASH's place,
// "@CHANGED.DEVICE.INDEX.ORIGIN" or, for a listing, "@CHANGED.DEVICE.INDEX"
// (hexadecimal): the file's change time and identity just after it was
// written, and where unpack took its bytes from. Nobody can set a change time
// back, and a file renamed into the place has another identity, so while both
// hold the file holds what isorelink wrote.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/file_identity.h"

namespace isorelink::host {

struct WrittenFile {
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::string hash;
    friend bool operator==(const WrittenFile&, const WrittenFile&) = default;
};

class WriteRecord {
public:
    static constexpr const char* kFileName = ".isorelink";

    // The record of folder (a prefix ending in its separator, or "" for the
    // current folder). A missing record is empty; one isorelink cannot read
    // as its own is left alone and never rewritten.
    static WriteRecord load(const std::string& folder);

    // True when isorelink wrote path (a file in this folder) and nobody has
    // changed it since.
    bool wrote_unchanged(const std::string& path) const;
    // The same for a file already described without its hash (describe_file
    // with with_hash false); fills in now's hash when it had to read it.
    bool wrote_unchanged(const std::string& path, WrittenFile& now) const;
    bool holds(const std::string& path) const;

    // After isorelink wrote path: remember it as it is now.
    void note(const std::string& path);
    // The same by its stamp, with where its bytes came from (no spaces).
    void note_stamped(const std::string& path, const std::string& origin);
    // For name (the file's path inside the folder, the platform's separators) as it is now (state): the
    // origin it was stamped with when nobody has written to it since; "" otherwise.
    std::string unchanged_origin(const std::string& name, const platform::FileState& state) const;
    // After isorelink deleted path, or when it is no longer isorelink's.
    void forget(const std::string& path);

    // Writes this record's notes and forgets into the record on disk as it
    // is now (another run may have written it since this one was loaded):
    // a new file renamed over the old one. False when it could not, or when
    // the file there is not a record of ours.
    bool save() const;

    const std::string& path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
    bool foreign_ = false;
    std::map<std::string, WrittenFile> files_;
    std::map<std::string, std::optional<WrittenFile>> changes_;  // nothing: forgotten
};

// The file as the record would describe it now; false when it cannot be
// read. Without with_hash the hash is left empty (not read).
bool describe_file(const std::string& path, WrittenFile& out, bool with_hash = true);

// Writes text to path by a new file beside it renamed over it: a reader sees
// the old file or the new one, and a link planted at path is replaced, never
// followed. False when it could not (nothing left behind but the old file).
bool replace_with_text(const std::string& path, const std::string& text);

// True when file is a stamped line and path still carries its stamp.
bool stamp_still_holds(const WrittenFile& file, const std::string& path);

} // namespace isorelink::host
