// The module's boundary: six entry points, plain text in and out. No C++
// exception crosses it; every failure becomes the status file's message.
#include "isorelink/plugin.h"

#include <exception>
#include <string_view>

#include "common/messages.h"
#include "extract/extraction_job.h"
#include "platform/status_location.h"
#include "plugin/status_file.h"
#include "rebuild/rebuild_job.h"

namespace {

constexpr char kOpenFilter[] = "ISO File(*.ISO)\x01*.ISO\x01"
                               "All files (*.*)\x01*.*\x01";
static_assert(sizeof(kOpenFilter) - 1 == 42);

constexpr char kTitle[] = "PS2 ZoVod5 |PSP UMD ISO Brevix v1.05 *.ISO";

std::string_view text(const char* s) { return s == nullptr ? std::string_view{} : std::string_view{s}; }

template <class Job>
void run_job(Job job, const isorelink::Message& internal_message) noexcept {
    try {
        const std::string status_path = isorelink::platform::status_file_path();
        // A status file we may not write safely means no job: its outcome
        // could not be reported, and writing it could harm another file.
        if (isorelink::reset_status_file(status_path).outcome == isorelink::platform::StatusWrite::Unsafe) return;
        try {
            auto outcome = job();
            if (!outcome.ok()) isorelink::report_failure(status_path, outcome.error().message);
        } catch (const std::exception& e) {
            isorelink::report_failure(status_path, isorelink::job_error(internal_message, e.what()).message);
        } catch (...) {
            isorelink::report_failure(status_path, isorelink::job_error(internal_message, "unknown").message);
        }
    } catch (...) {
        // Nothing may cross the boundary, not even a failure to report.
    }
}

} // namespace

extern "C" {

ISORELINK_API const char* ISORELINK_CALL OnOpen1(const char*) { return kOpenFilter; }

ISORELINK_API const char* ISORELINK_CALL Onfileid(const char*) { return kTitle; }

ISORELINK_API int32_t ISORELINK_CALL Onpadding(int32_t) { return 1; }

ISORELINK_API int32_t ISORELINK_CALL Onopencheck(int32_t) { return 1; }

ISORELINK_API void ISORELINK_CALL EXTRACTLBA(const char* folder, const char* image, const char*, const char*) {
    run_job([&] { return isorelink::run_extraction(text(folder), text(image)); }, isorelink::msg::kExtractInternal);
}

ISORELINK_API void ISORELINK_CALL REBUILDLBA(const char* folder, const char* image, const char*, const char*) {
    run_job([&] { return isorelink::run_rebuild(text(folder), text(image)); }, isorelink::msg::kRebuildInternal);
}

} // extern "C"
