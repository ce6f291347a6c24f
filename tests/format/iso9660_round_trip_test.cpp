// Directory records, path table records and the primary volume descriptor:
// decode and encode are each other's inverse on real bytes, and malformed
// records get the verdict the walkers rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "format/iso9660/directory_record.h"
#include "format/iso9660/identifier_name.h"
#include "format/iso9660/path_table_record.h"
#include "format/iso9660/volume_descriptor.h"
#include "format/sample_images.h"
#include "support/test_support.h"

namespace isorelink {
namespace {

using test::SampleImage;
using test::test_bytes;

std::vector<std::byte> bytes_of(ByteView view) { return {view.begin(), view.end()}; }

ByteView primary_descriptor(const SampleImage& image) { return image.sector(iso::kPrimaryDescriptorSector); }

ByteView root_directory(const SampleImage& image) {
    const auto root = decode_primary_volume_descriptor(primary_descriptor(image)).root;
    return image.sector(root.extent, sectors_to_hold(root.data_length));
}

bool same_fields(const DirectoryRecord& a, const DirectoryRecord& b) {
    const auto same = [](ByteView x, ByteView y) { return std::equal(x.begin(), x.end(), y.begin(), y.end()); };
    return a.length == b.length && a.extended_attribute_length == b.extended_attribute_length &&
           a.extent == b.extent && a.data_length == b.data_length && a.recording_time == b.recording_time &&
           a.flags == b.flags && a.file_unit_size == b.file_unit_size && a.interleave_gap == b.interleave_gap &&
           a.volume_sequence_number == b.volume_sequence_number && same(a.identifier, b.identifier) &&
           same(a.system_use, b.system_use);
}

// Every record of a directory: re-encoding it gives its bytes back, and
// decoding those gives the same fields. Returns the records seen.
int expect_records_round_trip(ByteView directory) {
    int records = 0;
    for (std::size_t offset = 0; offset < directory.size();) {
        const RecordFit fit = record_fit(directory, offset);
        if (fit == RecordFit::EmptyTail) {
            offset = (offset / kSectorSize + 1) * kSectorSize;
            continue;
        }
        EXPECT_EQ(fit, RecordFit::Fits) << "at " << offset;
        if (fit != RecordFit::Fits) break;
        const DirectoryRecord record = decode_directory_record(directory, offset);
        std::vector<std::byte> encoded(record.length);
        EXPECT_EQ(encode_directory_record(encoded, 0, record), record.length);
        EXPECT_EQ(encoded, bytes_of(directory.subspan(offset, record.length))) << "record at " << offset;
        EXPECT_TRUE(same_fields(decode_directory_record(encoded, 0), record)) << "record at " << offset;
        offset += record.length;
        ++records;
    }
    return records;
}

TEST(DirectoryRecordRoundTrip, EveryRecordOfAGenisoimageRootDirectory) {
    const auto image = test::genisoimage_sample(false);
    if (!image) GTEST_SKIP() << "genisoimage is not installed";
    EXPECT_EQ(expect_records_round_trip(root_directory(*image)), 4);  // itself, parent, A.TXT, DATA
}

TEST(DirectoryRecordRoundTrip, KitRecordsWithAndWithoutCdXaSystemUse) {
    for (const auto kind : {ImageKind::Ps2Cd, ImageKind::PspUmd, ImageKind::Ps2Dvd}) {
        const auto image = test::kit_sample(kind);
        const auto directory = root_directory(image);
        EXPECT_EQ(expect_records_round_trip(directory), 4) << to_string(kind);
        const auto file = decode_directory_record(directory, decode_directory_record(directory, 0).length * 2);
        EXPECT_EQ(file.system_use.size(), kind == ImageKind::Ps2Dvd ? 0u : 14u) << to_string(kind);
    }
}

TEST(DirectoryRecordRoundTrip, PadByteFollowsAnEvenIdentifier) {
    std::vector<std::byte> directory(64, std::byte{0xEE});
    DirectoryRecord record;
    record.identifier = test_bytes("AB");
    EXPECT_EQ(encode_directory_record(directory, 0, record), 36u);
    EXPECT_EQ(directory[35], std::byte{0});   // the pad byte
    EXPECT_EQ(directory[36], std::byte{0xEE});  // nothing written past the record
    EXPECT_TRUE(decode_directory_record(directory, 0).system_use.empty());
}

TEST(DirectoryRecordFit, ZeroLengthIsTheSectorsEmptyTail) {
    const std::vector<std::byte> directory(40, std::byte{0});
    EXPECT_EQ(record_fit(directory, 0), RecordFit::EmptyTail);
}

TEST(DirectoryRecordFit, RecordWithoutAnIdentifierByteOverruns) {
    std::vector<std::byte> directory(64);
    directory[0] = std::byte{33};  // the fixed part alone
    EXPECT_EQ(record_fit(directory, 0), RecordFit::Overruns);
}

TEST(DirectoryRecordFit, RecordPastTheDirectoryOverruns) {
    std::vector<std::byte> directory;
    encode_directory_record(directory, 1, 2, 0, test_bytes("A;1"));
    EXPECT_EQ(record_fit(directory, 0), RecordFit::Fits);
    EXPECT_EQ(record_fit(ByteView(directory).first(directory.size() - 1), 0), RecordFit::Overruns);
    EXPECT_EQ(record_fit(directory, directory.size()), RecordFit::Overruns);
}

TEST(DirectoryRecordFit, IdentifierPastTheRecordsLength) {
    std::vector<std::byte> directory;
    encode_directory_record(directory, 1, 2, 0, test_bytes("A;1"));
    directory.resize(directory.size() + 8);
    directory[iso::dr::kIdentifierLength] = std::byte{6};  // the record's length leaves room for 3
    EXPECT_EQ(record_fit(directory, 0), RecordFit::IdentifierOverruns);
}

TEST(DirectoryRecordPatch, ExtentAndLengthInBothByteOrders) {
    std::vector<std::byte> record;
    encode_directory_record(record, 1, 2, 0, test_bytes("A;1"));
    const auto patch = extent_and_length_patch(0x01020304, 0xA0B0C0D0);
    std::copy(patch.begin(), patch.end(), record.begin() + iso::dr::kExtent);
    const auto decoded = decode_directory_record(record, 0);
    EXPECT_EQ(decoded.extent, 0x01020304u);
    EXPECT_EQ(decoded.data_length, 0xA0B0C0D0u);
    EXPECT_EQ(be32(record, iso::dr::kExtent + 4), 0x01020304u);
    EXPECT_EQ(be32(record, iso::dr::kDataLength + 4), 0xA0B0C0D0u);
    EXPECT_EQ(decoded.identifier.size(), 3u);  // nothing past the 16 bytes changed
}

// Every record of a whole path table: re-encoding gives its bytes back.
void expect_path_table_round_trips(ByteView table, std::uint32_t size, PathTableOrder order, int expected) {
    int records = 0;
    std::vector<std::byte> encoded(table.size());
    for (std::size_t offset = 0; offset < size;) {
        const auto record = decode_path_table_record(table, offset, order);
        ASSERT_TRUE(record) << "at " << offset;
        EXPECT_EQ(encode_path_table_record(encoded, offset, *record, order), record->size);
        const auto again = decode_path_table_record(encoded, offset, order);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->extent, record->extent);
        EXPECT_EQ(again->parent_number, record->parent_number);
        offset += record->size;
        ++records;
    }
    EXPECT_EQ(records, expected);
    EXPECT_EQ(bytes_of(ByteView(encoded).first(size)), bytes_of(table.first(size)));
}

TEST(PathTableRecordRoundTrip, TypeLAndTypeMTablesOfAGenisoimageImage) {
    const auto image = test::genisoimage_sample(false);
    if (!image) GTEST_SKIP() << "genisoimage is not installed";
    const auto pvd = decode_primary_volume_descriptor(primary_descriptor(*image));
    expect_path_table_round_trips(image->sector(pvd.type_l_path_table), pvd.path_table_size, PathTableOrder::TypeL, 3);
    expect_path_table_round_trips(image->sector(pvd.type_m_path_table), pvd.path_table_size, PathTableOrder::TypeM, 3);
}

TEST(PathTableRecordRoundTrip, KitTables) {
    const auto image = test::kit_sample(ImageKind::Ps2Cd);
    const auto pvd = decode_primary_volume_descriptor(primary_descriptor(image));
    expect_path_table_round_trips(image.sector(pvd.type_l_path_table), pvd.path_table_size, PathTableOrder::TypeL, 3);
    expect_path_table_round_trips(image.sector(pvd.type_m_path_table), pvd.path_table_size, PathTableOrder::TypeM, 3);
}

TEST(PathTableRecordDecode, IdentifierPastTheTableIsRefused) {
    std::vector<std::byte> table;
    encode_path_table_record(table, 20, 1, test_bytes("DATA"));
    EXPECT_TRUE(decode_path_table_record(table, 0));
    EXPECT_FALSE(decode_path_table_record(ByteView(table).first(11), 0));  // 8 fixed + 3 of 4 identifier bytes
    EXPECT_FALSE(decode_path_table_record(table, table.size() - 4));
}

TEST(PathTableRecordDecode, PadByteOfAnOddIdentifierMayBeMissing) {
    std::vector<std::byte> table;
    encode_path_table_record(table, 20, 1, test_bytes("ODD"));
    const auto record = decode_path_table_record(ByteView(table).first(11), 0);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->size, 12u);
}

TEST(PrimaryVolumeDescriptorRoundTrip, GenisoimageAndKitDescriptors) {
    std::vector<SampleImage> images;
    if (auto g = test::genisoimage_sample(true)) images.push_back(std::move(*g));
    for (const auto kind : {ImageKind::Ps2Cd, ImageKind::PspUmd, ImageKind::Ps2Dvd})
        images.push_back(test::kit_sample(kind));
    for (const auto& image : images) {
        const auto sector = primary_descriptor(image);
        ASSERT_TRUE(is_primary_volume_descriptor(sector));
        const auto pvd = decode_primary_volume_descriptor(sector);
        std::vector<std::byte> encoded(kSectorSize);
        encode_primary_volume_descriptor(encoded, pvd);
        EXPECT_EQ(encoded, bytes_of(sector));
        EXPECT_EQ(volume_space_size(encoded), image.bytes.size() / kSectorSize);
    }
}

TEST(PrimaryVolumeDescriptorFields, OtherDescriptorsAreNotPrimary) {
    std::vector<std::byte> sector(kSectorSize);
    EXPECT_FALSE(is_primary_volume_descriptor(sector));
    const std::string head = "\x01" "CD001";
    std::copy(test_bytes(head).begin(), test_bytes(head).end(), sector.begin());
    EXPECT_TRUE(is_primary_volume_descriptor(sector));
    sector[0] = std::byte{2};  // a supplementary (Joliet) descriptor
    EXPECT_FALSE(is_primary_volume_descriptor(sector));
    EXPECT_FALSE(is_primary_volume_descriptor(ByteView(sector).first(5)));
}

TEST(IdentifierName, VersionCutOnlyWhenOneCharacterLong) {
    EXPECT_EQ(listing_name(test_bytes("README.TXT;1")), "README.TXT");
    EXPECT_EQ(listing_name(test_bytes("DATA.;1")), "DATA.");
    EXPECT_EQ(listing_name(test_bytes("FILE.BIN;12")), "FILE.BIN;12");
    EXPECT_EQ(listing_name(test_bytes("NOVERSION")), "NOVERSION");
}

TEST(IdentifierName, BytesThatWouldBreakALineOrClimbOutOfAFolder) {
    EXPECT_EQ(listing_name(test_bytes("A/B\\C\x01;1")), "A_B_C_");
    EXPECT_EQ(listing_name(test_bytes(".")), "_");
    EXPECT_EQ(listing_name(test_bytes("..;1")), "__");
}

TEST(IdentifierName, ShiftJisPairsAreKeptWhole) {
    // "ソ" is 83 5C: its second byte is '\\' and stays one.
    EXPECT_EQ(listing_name(test_bytes("\x83\x5C" "A.BIN;1")), "\x83\x5C" "A.BIN");
    EXPECT_EQ(listing_name(test_bytes("\xE0\x5C\x81\x7C")), "\xE0\x5C\x81\x7C");
    // A lead byte without a trail byte after it leaves the next byte to the rule.
    EXPECT_EQ(listing_name(test_bytes("\x83\x1F\x83")), "\x83_\x83");
    EXPECT_EQ(listing_name(test_bytes("A\x5C")), "A_");  // not after a lead byte
    // Dots that a kept 0x5C would turn into a folder name of their own.
    EXPECT_EQ(listing_name(test_bytes("\x83\x5C..")), "\x83\x5C__");
    EXPECT_EQ(listing_name(test_bytes("\x83\x5C.A")), "\x83\x5C.A");
}

} // namespace
} // namespace isorelink
