#include "rebuild/rebuild_job.h"

#include "common/messages.h"
#include "platform/message_pump.h"

namespace isorelink {

Expected<RebuildSummary> run_rebuild(std::string_view folder, std::string_view image_name) {
    platform::pump_messages();
    auto names = rebuild_names(folder, image_name);
    if (!names) return names.error();
    if (image_name.empty()) return job_error(msg::kNoImageRebuild);

    RebuildSummary summary;
    summary.names = std::move(*names);
    return job_error(msg::kOpenNewImage, summary.names.new_image);
}

} // namespace isorelink
