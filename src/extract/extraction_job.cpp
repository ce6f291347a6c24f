#include "extract/extraction_job.h"

#include <algorithm>
#include <optional>
#include <span>

#include "common/messages.h"
#include "format/listing_line.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "read/descriptor_anchor_scan.h"
#include "read/image_kind_probe.h"
#include "extract/job_files.h"
#include "extract/path_table_copy.h"
#include "read/data_start_scan.h"
#include "read/descriptor_list.h"
#include "read/udf_directory_pairing.h"
#include "read/udf_generic_walk.h"
#include "read/udf_tree_descriptors.h"
#include "read/directory_walker.h"
#include "extract/listing_writer.h"
#include "platform/message_pump.h"
#include "platform/read_handle.h"
#include "extract/header_copy.h"
#include "platform/image_window.h"
#include "read/path_table_reader.h"
#include "extract/sector_order.h"

namespace isorelink {

namespace {

// The header copy: the image up to the end of its highest directory. Only
// its length matters to the rest of the job, and a job that succeeds deletes
// it again, so the copy is made only when the job fails and leaves it behind.
struct HeaderCopy {
    std::uint64_t sectors = 0;
};

Expected<HeaderCopy> plan_header_copy(ImageKind kind, ImageWindow& image, const ExtractionNames& names,
                                      JobFiles& files) {
    const std::uint32_t highest = highest_directory(sector_order_list(files.path_table_copy));
    const auto directory_length = highest_directory_length(image, highest, names.image);
    if (!directory_length) return directory_length.error();
    return HeaderCopy{header_sector_count(kind, highest, *directory_length)};
}

// Writes the header copy a failing job leaves on disk, then reopens it for
// reading as the finished step would have.
void leave_header_copy(const HeaderCopy& header, ImageWindow& image, const ExtractionNames& names, JobFiles& files) {
    files.header_copy.close();
    auto copy = File::open(names.header_copy, "wb");
    if (!copy) return;
    (void)write_header_copy(image, header.sectors, *copy, names.header_copy);
    copy->close();
    if (auto reopened = File::open(names.header_copy, "rb")) files.header_copy = std::move(*reopened);
}

Status write_products(const ExtractionSummary& summary, const std::vector<FileEntry>& file_list,
                      const std::vector<DescriptorEntry>& descriptors, JobFiles& files) {
    const ExtractionNames& names = summary.names;
    const ListingOutputs outputs{files.sector_listing, names.sector_listing, files.file_listing,
                                 names.file_listing,   files.record_file,    names.record_file};
    if (auto written = write_listings(summary.kind, file_list, descriptors, outputs); !written) return written;
    if (auto reopened = reopen(files.record_file, names.record_file, "r+b", msg::kReopenRecordFile); !reopened) {
        return reopened;
    }
    return write_data_start(files.record_file, summary.data_start_sector, names.record_file);
}

Expected<ExtractionSummary> list_volume(ExtractionSummary& summary, ImageWindow& image, JobFiles& files);

// The image window as the UDF walk reads it: in pieces no larger than a block.
ImageReader window_reader(ImageWindow& image) {
    return [&image](std::uint64_t offset, std::span<std::byte> out) {
        for (std::size_t done = 0; done < out.size();) {
            const std::size_t n = std::min(out.size() - done, image.block_size());
            const auto bytes = image.bytes(offset + done, n);
            if (!bytes) return false;
            std::copy(bytes->begin(), bytes->end(), out.begin() + static_cast<std::ptrdiff_t>(done));
            done += n;
        }
        return true;
    };
}

bool has_udf_partition(File& image, const std::string& image_path) {
    const auto size = image.size();
    if (!size) return false;
    ImageWindow window(image, *size, image_path);
    return find_udf_partition(window_reader(window), *size).has_value();
}

} // namespace

Expected<ExtractionSummary> run_extraction(std::string_view folder, std::string_view image_name,
                                           ExtractionOptions options) {
    const platform::PumpWhileRunning pumping;
    platform::pump_messages();
    auto names = extraction_names(folder, image_name);
    if (!names) return names.error();
    if (image_name.empty()) return job_error(msg::kNoImageExtract);

    ExtractionSummary summary;
    summary.names = std::move(*names);
    const ExtractionNames& paths = summary.names;
    JobFiles files;

    if (auto opened = open_image(paths, files); !opened) return opened.error();
    if (auto own = refuse_own_files(paths); !own) return own.error();
    summary.kind = detect_image_kind(files.image, ImageKind::Ps2Dvd);
    if (!passes_header_test(files.image) &&
        !(options.accept_udf_bridge && summary.kind == ImageKind::Ps2Dvd && has_udf_partition(files.image, paths.image)))
        return job_error(msg::kBadHeader, paths.image);
    if (auto created = create_outputs(paths, files); !created) return created.error();

    ImageWindow image(files.image, files.image.size().value_or(0), paths.image);
    if (auto copied = copy_path_table(image, files.path_table_copy, paths.image, paths.path_table_copy); !copied) {
        return copied.error();
    }
    if (auto reopened = reopen(files.path_table_copy, paths.path_table_copy, "rb", msg::kReopenPathTableCopy);
        !reopened) {
        return reopened.error();
    }
    if (summary.kind == ImageKind::Ps2Dvd) {
        // Without the console layout's markers, the UDF directory says where
        // each file's entry lies; without a UDF tree either, the scan's 1106 stands.
        auto anchor = find_descriptor_anchor(image, paths.image);
        if (anchor) {
            summary.descriptor_anchor = *anchor;
        } else if (walk_udf_tree(window_reader(image), image.image_size())) {
            summary.udf_directory_walked = true;
        } else {
            return anchor.error();
        }
    }
    auto header = plan_header_copy(summary.kind, image, paths, files);
    if (!header) return header.error();
    summary.header_sectors = header->sectors;
    auto listed = list_volume(summary, image, files);
    if (!listed) leave_header_copy(*header, image, paths, files);
    return listed;
}

namespace {

// Everything after the header copy: directories, files, descriptors, the
// data start and the three products.
Expected<ExtractionSummary> list_volume(ExtractionSummary& summary, ImageWindow& image, JobFiles& files) {
    const ExtractionNames& paths = summary.names;
    if (auto reopened = reopen(files.header_copy, paths.header_copy, "rb", msg::kReopenHeaderCopy); !reopened) {
        return reopened.error();
    }
    platform::pump_messages();

    // The directory list and the walk read the image through the platform's
    // handle, apart from the buffered stream the job holds: it is opened
    // once for both, and a failure to open it is the walk's 1101h.
    auto handle = platform::ReadHandle::open(paths.image);
    if (!handle) return job_error(msg::kWalkOpenImage, paths.image);
    // The path table is read here a second time, from the image: the copy
    // made above ends at a zero length word, this list at the size the
    // volume descriptor records, and an image may make them differ.
    auto directories = read_directory_list(*handle, paths.image);
    if (!directories) return directories.error();
    summary.directory_count = static_cast<std::uint32_t>(directories->size());
    auto walked = walk_directories(*directories, *handle, paths.image, longest_listed_path(summary.kind == ImageKind::Ps2Dvd));
    if (!walked) return walked.error();
    const std::vector<FileEntry>& file_list = walked->files;
    for (const CutDirectory& cut : walked->cut_directories) {
        const bool empty_self = cut.why == CutDirectory::Why::EmptySelfRecord;
        summary.warnings.push_back(
            job_error(empty_self ? msg::kDirectoryWithoutSelfRecord : msg::kDirectoryCutShort, cut.path).message);
    }
    summary.file_count = static_cast<std::uint32_t>(file_list.size());
    platform::pump_messages();

    std::vector<DescriptorEntry> descriptors;
    std::optional<std::uint64_t> walked_data_start;
    if (summary.udf_directory_walked) {
        const auto tree = walk_udf_tree(window_reader(image), image.image_size());
        if (!tree) return structure_error(paths.image, "UDF directory unreadable");
        auto paired = descriptors_from_udf_tree(*tree, file_list, paths.image);
        if (!paired) return paired.error();
        descriptors = std::move(*paired);
        walked_data_start = udf_tree_data_start(*tree, summary.header_sectors);
        if (!descriptors.empty()) summary.descriptor_anchor = descriptors.front().offset;
    } else if (summary.kind == ImageKind::Ps2Dvd) {
        auto read = read_descriptor_list(image, summary.descriptor_anchor, file_list.size(), paths.image);
        if (!read) return read.error();
        descriptors = std::move(*read);
        pair_shared_sectors(file_list, descriptors);
        // Where the UDF directory names each file's entry, it wins over the ranks.
        (void)pair_by_udf_directory(image, file_list, descriptors);
    }
    KnownFileEntries known;
    if (summary.kind == ImageKind::Ps2Dvd && !summary.udf_directory_walked &&
        summary.descriptor_anchor >= udf::fe::kShortAllocationDescriptor) {
        // The descriptor list found a File Entry tag at the start of each of
        // these sectors when the anchor lies at its place in a sector.
        const std::uint64_t first_entry = summary.descriptor_anchor - udf::fe::kShortAllocationDescriptor;
        if (first_entry % kSectorSize == 0) {
            known = {whole_sectors(first_entry), whole_sectors(first_entry) + descriptors.size()};
        }
    }
    if (walked_data_start) {
        if (*walked_data_start > UINT32_MAX) return structure_error(paths.image, "data start beyond 32-bit sectors");
        summary.data_start_sector = static_cast<std::uint32_t>(*walked_data_start);
    } else {
        auto data_start = data_start_sector(summary.kind, image, summary.header_sectors, paths.image, known);
        if (!data_start) return data_start.error();
        summary.data_start_sector = *data_start;
    }

    if (auto written = write_products(summary, file_list, descriptors, files); !written) return written.error();
    if (auto finished = finish(paths, files); !finished) return finished.error();
    return summary;
}

} // namespace

} // namespace isorelink
