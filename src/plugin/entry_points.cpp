#include "plugin/entry_points.h"

#include <exception>
#include <string>

#include "common/messages.h"
#include "extract/extraction_job.h"
#include "platform/status_location.h"
#include "plugin/status_file.h"
#include "rebuild/rebuild_job.h"

namespace isorelink::plugin {

namespace {

constexpr char kOpenFilter[] = "ISO File(*.ISO)\x01*.ISO\x01"
                               "All files (*.*)\x01*.*\x01";
static_assert(sizeof(kOpenFilter) - 1 == 42);

constexpr char kTitle[] = "PS2 ZoVod5 |PSP UMD ISO Brevix v1.05 *.ISO";

template <class Job>
void run_job(Job job, const Message& internal_message) noexcept {
    try {
        const std::string status_path = platform::status_file_path();
        // A status file we may not write safely means no job: its outcome
        // could not be reported, and writing it could harm another file.
        if (reset_status_file(status_path).outcome == platform::StatusWrite::Unsafe) return;
        try {
            auto outcome = job();
            if (!outcome.ok()) report_failure(status_path, outcome.error().message);
        } catch (const std::exception& e) {
            report_failure(status_path, job_error(internal_message, e.what()).message);
        } catch (...) {
            report_failure(status_path, job_error(internal_message, "unknown").message);
        }
    } catch (...) {
        // Nothing may cross the boundary, not even a failure to report.
    }
}

} // namespace

std::string_view open_filter() noexcept { return {kOpenFilter, sizeof(kOpenFilter) - 1}; }

std::string_view title() noexcept { return kTitle; }

void extract(std::string_view folder, std::string_view image) noexcept {
    run_job([&] { return run_extraction(folder, image); }, msg::kExtractInternal);
}

void rebuild(std::string_view folder, std::string_view image) noexcept {
    run_job([&] { return run_rebuild(folder, image); }, msg::kRebuildInternal);
}

} // namespace isorelink::plugin
