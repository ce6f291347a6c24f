#include "rebuild/rebuild_names.h"

#include "common/bounded_text.h"
#include "common/messages.h"

namespace isorelink {

Expected<RebuildNames> rebuild_names(std::string_view folder, std::string_view image) {
    RebuildNames names;
    struct Part {
        std::string* out;
        std::string_view prefix;
        std::string_view suffix;
    };
    const Part parts[] = {
        {&names.new_image, "NEW-", ""},
        {&names.relink_list, "", "-relink-LSN.TXT"},
        {&names.record_file, "", ".xqe"},
    };
    for (const auto& part : parts) {
        auto joined = join_bounded({folder, part.prefix, image, part.suffix});
        if (!joined) {
            std::string whole(folder);
            whole.append(part.prefix).append(image).append(part.suffix);
            return job_error(msg::kRebuildNameTooLong, whole);
        }
        *part.out = std::move(*joined);
    }
    return names;
}

} // namespace isorelink
