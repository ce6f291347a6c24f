#pragma once
// The UDF File Entries a relink list rewrites: each entry's allocation
// descriptor (at D), Information Length and Logical Blocks Recorded, and its tag
// resealed over the bytes it covered before the edit.
//
// This is the one way a File Entry is written. Entries are not copied while
// the list is planned: only where and what to write is kept (a few dozen
// bytes per entry), and commit() edits each entry where it lies, in ascending
// order, after the whole list has been accepted and the directory records
// are written, so that a tag is sealed over every patch its sector received:
// through a writable mapping of the image where the platform offers one, else
// in runs read and written back.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/endian.h"
#include "platform/file.h"
#include "format/sector.h"
#include "platform/bulk_memory.h"
#include "platform/mapped_file.h"

namespace isorelink {

struct EntryEdit {
    std::uint32_t sector = 0;         // the entry's sector
    std::uint16_t descriptor = 0;     // D within the sector
    std::uint16_t crc_length = 0;     // the tag's CRC length before the edit
    std::uint32_t size = 0;           // B
    std::uint32_t position = 0;       // A - P, the extent's block in the partition
    bool extended = false;            // an Extended File Entry
    std::uint8_t add_descriptor = 0;  // descriptor bytes an entry without one gains
    bool no_descriptor = false;       // an entry without one that stays empty

    std::uint64_t sector_offset() const { return isorelink::sector_offset(sector); }
};

// Edits one entry's fields and reseals its tag. The entry must hold the
// short_ad, the Information Length (outside the tag) and the bytes the CRC
// covers.
void edit_file_entry(MutableByteView entry, const EntryEdit& edit);

class EntryReseals {
public:
    EntryReseals(File& image, std::uint64_t image_size, std::string image_path);

    void reserve(std::size_t entries) { edits_.reserve(entries); }
    // An entry to edit; two edits of one entry apply in the order added.
    void add(const EntryEdit& edit) { edits_.push_back(edit); }
    std::size_t size() const { return edits_.size(); }

    // Edits every entry; false when a read or a write failed.
    bool commit();

private:
    bool edit_run(std::size_t begin, std::size_t end);

    File& image_;
    std::uint64_t image_size_;
    std::string image_path_;
    platform::BulkVector<EntryEdit> edits_;
    std::optional<platform::MappedFile> updating_;
    std::vector<std::byte> run_;
};

} // namespace isorelink
