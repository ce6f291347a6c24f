#include "extract/job_files.h"

#include "common/messages.h"
#include "platform/file_identity.h"
#include "platform/output_replacement.h"
#include "platform/read_handle.h"

namespace isorelink {

namespace {

Status create(File& file, const std::string& path, const Message& message_template) {
    const auto old_mode = platform::remove_old_output(path);
    auto opened = File::open(path, "wb");
    if (!opened) return job_error(message_template, path);
    if (old_mode) platform::restore_output_mode(path, *old_mode);
    file = std::move(*opened);
    return ok_status();
}

JobError cannot_write(const std::string& path) { return job_error(msg::kExtractInternal, "cannot write " + path); }

} // namespace

Status open_image(const ExtractionNames& names, JobFiles& files) {
    auto image = File::open(names.image, "rb");
    if (!image) return job_error(msg::kOpenImage, names.image);
    files.image = std::move(*image);
    return ok_status();
}

Status refuse_own_files(const ExtractionNames& names) {
    const auto image = platform::file_identity(names.image);
    if (!image) return ok_status();
    for (const std::string* own : {&names.header_copy, &names.sector_listing, &names.file_listing,
                                   &names.path_table_copy, &names.record_file}) {
        if (*own == names.image || platform::file_identity(*own) == image) return job_error(msg::kImageIsJobFile, *own);
    }
    return ok_status();
}

Status create_outputs(const ExtractionNames& names, JobFiles& files) {
    const struct {
        File& file;
        const std::string& path;
        const Message& message;
    } outputs[] = {
        {files.header_copy, names.header_copy, msg::kCreateHeaderCopy},
        {files.sector_listing, names.sector_listing, msg::kCreateSectorListing},
        {files.file_listing, names.file_listing, msg::kCreateFileListing},
        {files.path_table_copy, names.path_table_copy, msg::kCreatePathTableCopy},
        {files.record_file, names.record_file, msg::kCreateRecordFile},
    };
    for (const auto& output : outputs) {
        if (auto created = create(output.file, output.path, output.message); !created) return created;
    }
    return ok_status();
}

Status reopen(File& file, const std::string& path, const char* mode, const Message& message_template) {
    if (!file.close()) return cannot_write(path);
    auto opened = File::open(path, mode);
    if (!opened) return job_error(message_template, path);
    file = std::move(*opened);
    return ok_status();
}

Status finish(const ExtractionNames& names, JobFiles& files) {
    const struct {
        File& file;
        const std::string& path;
    } closing[] = {
        {files.sector_listing, names.sector_listing}, {files.file_listing, names.file_listing},
        {files.image, names.image},                   {files.path_table_copy, names.path_table_copy},
        {files.header_copy, names.header_copy},       {files.record_file, names.record_file},
    };
    for (const auto& entry : closing) {
        if (!entry.file.close()) return cannot_write(entry.path);
    }
    platform::delete_file(names.path_table_copy);
    platform::delete_file(names.header_copy);
    return ok_status();
}

} // namespace isorelink
