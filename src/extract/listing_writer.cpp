#include "extract/listing_writer.h"


#include "format/endian.h"
#include "common/messages.h"
#include "common/progress.h"

namespace isorelink {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRecordMark = "vexo";

// At least eight upper-case hexadecimal digits, as "%08X" writes them.
// Returns the end of what it wrote.
char* put_hex8(char* out, std::uint64_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    int digits = 8;
    while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
    for (int i = digits - 1; i >= 0; --i) *out++ = kDigits[(value >> (4 * i)) & 0xF];
    return out;
}

// At least seven decimal digits, as "%07u" writes them.
char* put_decimal7(char* out, std::uint32_t value) {
    char text[16];
    std::size_t n = 0;
    do {
        text[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < 7) text[n++] = '0';
    while (n > 0) *out++ = text[--n];
    return out;
}

// The numeric head of a line is at most four 16-digit fields and their bars.
constexpr std::size_t kHeadRoom = 4 * 17;

void append_sector_listing_line(std::string& out, ImageKind kind, const FileEntry& file,
                                std::uint64_t descriptor_offset) {
    char head[kHeadRoom];
    char* end = put_hex8(head, file.sector);
    *end++ = '|';
    end = put_hex8(end, file.size);
    *end++ = '|';
    end = put_hex8(end, file.extent_field_offset());
    *end++ = '|';
    if (kind == ImageKind::Ps2Dvd) {
        end = put_hex8(end, descriptor_offset);
        *end++ = '|';
    }
    out.append(head, end);
    out += file.path;
    out += kLineEnd;
}

void append_file_listing_line(std::string& out, const FileEntry& file) {
    char head[kHeadRoom];
    char* end = put_decimal7(head, file.sector);
    out.append(head, end);
    out += " , ";
    out += file.path;
    out += kLineEnd;
}

// Lines are gathered and written in blocks of about this many bytes: enough
// to make the writes few, small enough that the blocks stay in the cache and
// take few fresh pages.
constexpr std::size_t kWriteBlock = std::size_t{128} << 10;

JobError cannot_write(const std::string& path) { return job_error(msg::kExtractInternal, "cannot write " + path); }

} // namespace

std::string sector_listing_line(ImageKind kind, const FileEntry& file, std::uint64_t descriptor_offset) {
    std::string line;
    append_sector_listing_line(line, kind, file, descriptor_offset);
    return line;
}

std::string file_listing_line(const FileEntry& file) {
    std::string line;
    append_file_listing_line(line, file);
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
    std::string sector_lines;
    std::string file_lines;
    std::vector<std::byte> records;
    sector_lines.reserve(kWriteBlock + 4096);
    file_lines.reserve(kWriteBlock + 4096);
    records.reserve(kWriteBlock + kRecordSize);
    auto flush = [&]() -> Status {
        if (!out.sector_listing.write_text(sector_lines)) return cannot_write(out.sector_listing_path);
        if (!out.file_listing.write_text(file_lines)) return cannot_write(out.file_listing_path);
        if (!out.record_file.write(records)) return cannot_write(out.record_file_path);
        sector_lines.clear();
        file_lines.clear();
        records.clear();
        return ok_status();
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileEntry& file = files[i];
        const std::uint64_t descriptor_offset = with_descriptors ? descriptors[i].offset : 0;
        append_sector_listing_line(sector_lines, kind, file, descriptor_offset);
        append_file_listing_line(file_lines, file);
        const auto record = record_file_record(file);
        records.insert(records.end(), record.begin(), record.end());
        if (sector_lines.size() >= kWriteBlock || file_lines.size() >= kWriteBlock) {
            if (auto written = flush(); !written) return written;
        }
        progress::tick();
    }
    return flush();
}

Status write_data_start(File& record_file, std::uint32_t data_start_sector, const std::string& record_file_path) {
    std::array<std::byte, 4> word{};
    put_le32(word, 0, data_start_sector);
    if (!record_file.write_at(0, word)) return cannot_write(record_file_path);
    return ok_status();
}

} // namespace isorelink
