#include "listing/listing_writer.h"

#include <cinttypes>
#include <cstdio>

#include "common/endian.h"
#include "common/messages.h"
#include "platform/message_pump.h"

namespace isorelink {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRecordMark = "vexo";

std::string hex8(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%08" PRIX64, value);
    return text;
}

JobError cannot_write(const std::string& path) { return job_error(msg::kExtractInternal, "cannot write " + path); }

} // namespace

std::string sector_listing_line(ImageKind kind, const FileEntry& file, std::uint64_t descriptor_offset) {
    std::string line = hex8(file.sector) + "|" + hex8(file.size) + "|" + hex8(file.extent_field_offset()) + "|";
    if (kind == ImageKind::Ps2Dvd) line += hex8(descriptor_offset) + "|";
    line += file.path;
    line += kLineEnd;
    return line;
}

std::string file_listing_line(const FileEntry& file) {
    char number[16];
    std::snprintf(number, sizeof number, "%07" PRIu32, file.sector);
    std::string line = number;
    line += " , ";
    line += file.path;
    line += kLineEnd;
    return line;
}

std::array<std::byte, kRecordSize> record_file_record(const FileEntry& file) {
    std::array<std::byte, kRecordSize> record{};
    put_le32(record, 0, file.sector);
    for (std::size_t i = 0; i < kRecordMark.size(); ++i) {
        record[4 + i] = static_cast<std::byte>(kRecordMark[i]);
        record[8 + i] = static_cast<std::byte>(kRecordMark[i]);
    }
    return record;
}

Status write_listings(ImageKind kind, const std::vector<FileEntry>& files,
                      const std::vector<DescriptorEntry>& descriptors, const ListingOutputs& out) {
    const bool with_descriptors = kind == ImageKind::Ps2Dvd;
    if (with_descriptors && descriptors.size() != files.size()) {
        return job_error(msg::kExtractInternal, "descriptor list does not match the file list");
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileEntry& file = files[i];
        const std::uint64_t descriptor_offset = with_descriptors ? descriptors[i].offset : 0;
        if (!out.sector_listing.write_text(sector_listing_line(kind, file, descriptor_offset))) {
            return cannot_write(out.sector_listing_path);
        }
        if (!out.file_listing.write_text(file_listing_line(file))) return cannot_write(out.file_listing_path);
        if (!out.record_file.write(record_file_record(file))) return cannot_write(out.record_file_path);
        platform::yield_to_host();
    }
    return ok_status();
}

Status write_data_start(File& record_file, std::uint32_t data_start_sector, const std::string& record_file_path) {
    std::array<std::byte, 4> word{};
    put_le32(word, 0, data_start_sector);
    if (!record_file.write_at(0, word)) return cannot_write(record_file_path);
    return ok_status();
}

} // namespace isorelink
