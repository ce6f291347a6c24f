#include "extract/extraction_job.h"

#include "common/messages.h"
#include "platform/message_pump.h"

namespace isorelink {

Expected<ExtractionSummary> run_extraction(std::string_view folder, std::string_view image_name) {
    platform::pump_messages();
    auto names = extraction_names(folder, image_name);
    if (!names) return names.error();
    if (image_name.empty()) return job_error(msg::kNoImageExtract);

    ExtractionSummary summary;
    summary.names = std::move(*names);
    return job_error(msg::kOpenImage, summary.names.image);
}

} // namespace isorelink
