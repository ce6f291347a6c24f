#include "tools/guarded_jobs.h"

#include "extract/extraction_names.h"
#include "rebuild/rebuild_names.h"

namespace isorelink::host {

GuardedOutcome<ExtractionSummary> run_guarded_extraction(const std::string& folder, const std::string& name,
                                                         GuardOptions options) {
    GuardedOutcome<ExtractionSummary> outcome;
    auto names = extraction_names(folder, name);
    if (!names) {
        outcome.failure = {names.error(), true, {}};
        return outcome;
    }
    OutputGuard guard(folder,
                      {names->header_copy, names->sector_listing, names->file_listing, names->path_table_copy,
                       names->record_file},
                      options);
    if (auto allowed = guard.check("extract"); !allowed) {
        outcome.failure = {allowed.error(), true, {}};
        return outcome;
    }
    auto extraction = run_extraction(folder, name, ExtractionOptions{true});
    if (!extraction) {
        outcome.failure = {extraction.error(), false, guard.failed()};
        return outcome;
    }
    // Stamped, not read back: a large image's listings run to megabytes, and an extraction is run often.
    guard.succeeded({names->sector_listing, names->file_listing, names->record_file},
                    {names->header_copy, names->path_table_copy}, {"", "", ""});
    outcome.summary = std::move(*extraction);
    return outcome;
}

GuardedOutcome<RebuildSummary> run_guarded_rebuild(const std::string& folder, const std::string& name,
                                                   GuardOptions options) {
    GuardedOutcome<RebuildSummary> outcome;
    auto names = extraction_names(folder, name);
    auto rebuild = rebuild_names(folder, name);
    if (!names || !rebuild) {
        outcome.failure = {!names ? names.error() : rebuild.error(), true, {}};
        return outcome;
    }
    OutputGuard guard(folder, {names->header_copy, names->path_table_copy}, options);
    if (auto allowed = guard.check("rebuild"); !allowed) {
        outcome.failure = {allowed.error(), true, {}};
        return outcome;
    }
    const bool new_image_ours = guard.record().wrote_unchanged(rebuild->new_image);
    auto rebuilt = run_rebuild(folder, name, RebuildOptions{true});
    if (!rebuilt) {
        outcome.failure = {rebuilt.error(), false, guard.failed()};
        return outcome;
    }
    if (new_image_ours) guard.succeeded({rebuild->new_image}, {});
    outcome.summary = std::move(*rebuilt);
    return outcome;
}

} // namespace isorelink::host
