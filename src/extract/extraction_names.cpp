#include "extract/extraction_names.h"

#include "common/bounded_text.h"
#include "common/messages.h"

namespace isorelink {

Expected<ExtractionNames> extraction_names(std::string_view folder, std::string_view image) {
    ExtractionNames names;
    struct Part {
        std::string* out;
        std::string_view middle;
        std::string_view suffix;
    };
    const Part parts[] = {
        {&names.image, image, ""},
        {&names.record_file, image, ".xqe"},
        {&names.header_copy, "", "temp1.tmp"},
        {&names.sector_listing, image, "-LSN.TXT"},
        {&names.path_table_copy, "", "tmp.tmp"},
        {&names.file_listing, image, "-Filelist.txt"},
    };
    for (const auto& part : parts) {
        auto joined = join_bounded({folder, part.middle, part.suffix});
        if (!joined) {
            std::string whole(folder);
            whole.append(part.middle).append(part.suffix);
            return job_error(msg::kExtractNameTooLong, whole);
        }
        *part.out = std::move(*joined);
    }
    return names;
}

} // namespace isorelink
