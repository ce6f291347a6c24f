#pragma once
// The walk over every directory's records: the file list, ordered by first
// sector (equal sectors in the order the walk met them).
//
// Per directory, its first two records (itself and its parent) are passed
// over; a zero length byte ends the records of a sector; only records whose
// flags are exactly 0x00 (a file, or the last extent of one), 0x01 (the same,
// hidden) or 0x80 (a piece before the last extent) are kept. Directories,
// associated files and hidden pieces (0x81) are not listed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/endian.h"
#include "common/result.h"
#include "read/path_arena.h"
#include "read/piece_numbering.h"
#include "platform/read_handle.h"
#include "read/path_table_reader.h"

namespace isorelink {

struct FileEntry {
    std::uint32_t sector = 0;          // extent LSN
    std::uint32_t size = 0;            // data length in bytes
    std::uint64_t record_offset = 0;   // byte offset of its directory record in the image
    std::string_view path;             // "\DATA\MOVIE0.PSS", in its list's arena

    // Where the record's little-endian extent field lies: what the listing
    // names and the rebuild patches.
    std::uint64_t extent_field_offset() const { return record_offset + 2; }
};

// A directory the walk stopped short in: its files up to there are listed,
// and the walk went on with the next directory.
struct CutDirectory {
    enum class Why {
        BrokenRecord,     // a record runs past the directory's recorded length, or its identifier past the record
        EmptySelfRecord,  // the "." record has length 0: nothing of the directory can be read
    };
    std::string path;  // "\" for the root
    Why why = Why::BrokenRecord;
};

// The file list and the arena its paths lie in.
struct FileList {
    std::vector<FileEntry> files;
    PathArena paths;
    std::vector<CutDirectory> cut_directories;  // in walk order
};

class DirectoryWalker {
public:
    // A kept file whose path is longer than longest_path is refused with
    // 1107: its listing line could not be read back.
    explicit DirectoryWalker(std::string image_path, std::size_t longest_path = kMaxText)
        : image_path_(std::move(image_path)), longest_path_(longest_path) {}

    // The directories walked next lie below one whose path is too long to
    // keep: any file kept in them is refused with 1107.
    void set_directory_too_long(bool too_long) { directory_too_long_ = too_long; }

    // Adds the kept files of one directory, given its whole extent as read
    // from the image at extent_offset. At a record that does not lie wholly
    // in the extent, or an empty "." record, the directory ends there and is
    // noted among the cut directories.
    Status walk_extent(ByteView extent, std::uint64_t extent_offset, const std::string& directory_path);
    // The same for the extent of length bytes at position in the image, read
    // in bounded blocks: a directory costs no more memory than one block. A
    // failed read is a structural fault (directory outside the image).
    Status walk_extent(const platform::ReadHandle& image, std::uint64_t position, std::uint32_t length,
                       const std::string& directory_path);

    // The file list, ordered by first sector, equal sectors in walk order.
    FileList take_files();

private:
    template <typename BytesFrom>
    Status walk_records(std::uint64_t length, BytesFrom&& bytes_from, std::uint64_t extent_offset,
                        const std::string& directory_path);
    // Keeps the record at the start of record_bytes, which lies at record_offset in the image.
    Status keep(ByteView record_bytes, std::uint64_t record_offset, const std::string& directory_path);

    std::string image_path_;
    std::size_t longest_path_;
    bool directory_too_long_ = false;
    PieceNumbering pieces_;
    std::vector<FileEntry> files_;
    PathArena paths_;
    std::vector<CutDirectory> cut_;
    std::vector<std::byte> block_;  // the block of the extent being read
};

// Reads every directory of the list through the platform's file handle, in
// bounded blocks, and walks it. 1106 when a directory does not lie wholly
// inside the image; 1107 for a file whose path is longer than longest_path.
Expected<FileList> walk_directories(const std::vector<DirectoryNode>& directories, const platform::ReadHandle& image,
                                    const std::string& image_path, std::size_t longest_path = kMaxText);
// The same on an image it opens itself: 1101h when it cannot.
Expected<FileList> walk_directories(const std::vector<DirectoryNode>& directories, const std::string& image_path,
                                    std::size_t longest_path = kMaxText);

} // namespace isorelink
