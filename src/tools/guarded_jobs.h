#pragma once
// The extraction and the rebuild as the CLI runs them: the module's jobs
// inside an OutputGuard, so that they never overwrite a file isorelink did
// not write and take back what a failed run wrote (host/output_guard.h).
#include <string>

#include "common/result.h"
#include "extract/extraction_job.h"
#include "tools/output_guard.h"
#include "rebuild/rebuild_job.h"

namespace isorelink::host {

// A failure's message is the job's coded message; a refusal's starts with
// the command ("extract: ..."). A cleanup note, when there is one, follows
// on its own line.
struct GuardedFailure {
    JobError error;
    bool refused = false;  // nothing ran
    std::string cleanup;
};

template <class T>
struct GuardedOutcome {
    std::optional<T> summary;
    GuardedFailure failure;
};

GuardedOutcome<ExtractionSummary> run_guarded_extraction(const std::string& folder, const std::string& name,
                                                         GuardOptions options);

// The rebuild writes only the new image, which the user hands it; the guard
// refuses stray working files beside it and keeps the record of the new
// image up to date when isorelink wrote it.
GuardedOutcome<RebuildSummary> run_guarded_rebuild(const std::string& folder, const std::string& name,
                                                   GuardOptions options);

} // namespace isorelink::host
