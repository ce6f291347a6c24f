// extract and rebuild: the jobs the module runs, guarded so that the CLI
// never overwrites a file it did not write and takes back what a failed
// run wrote.
#include <cstdio>
#include <string>

#include "cli/console.h"
#include "tools/capacity.h"
#include "tools/format_bridge.h"
#include "tools/guarded_jobs.h"
#include "tools/job_place.h"
#include "tools/replace_job.h"
#include "tools/image_diagnosis.h"

namespace isorelink::cli {

namespace {

constexpr std::string_view kExtractUsage =
    "usage: isorelink extract [--out DIR] [--force] [--keep] [--quiet] PATH/IMAGE.ISO\n"
    "  writes IMAGE.ISO-LSN.TXT, IMAGE.ISO-Filelist.txt and IMAGE.ISO.xqe beside the image\n"
    "  --out DIR  write them in DIR instead (created when missing); the image's folder may be read-only\n"
    "  --force    overwrite those files (and tmp.tmp, temp1.tmp) even when isorelink did not write them\n"
    "  --keep     keep what a failed run wrote\n"
    "  --quiet    print only errors and warnings\n";
constexpr std::string_view kRebuildUsage =
    "usage: isorelink rebuild [--out DIR] [--force] [--keep] [--quiet] PATH/IMAGE.ISO\n"
    "  patches NEW-IMAGE.ISO from IMAGE.ISO-relink-LSN.TXT and IMAGE.ISO.xqe\n"
    "  --out DIR  the folder that holds those three (where extract --out DIR wrote), not the image's\n"
    "  --force    run even when tmp.tmp or temp1.tmp lie there and isorelink did not leave them\n"
    "  --keep     accepted as extract takes it: a failed rebuild writes nothing\n"
    "  --quiet    print only errors and warnings\n";

// Parses, runs the guarded job in its place, and prints its summary or its failure.
template <class Job, class Describe>
int run_job_command(Args args, std::string_view usage, bool need_image, Job job, Describe describe) {
    CommandLine line;
    if (const auto code = line.parse(args, usage, {"--force", "--keep", "--quiet"}, {"--out"})) return *code;
    if (line.operands().size() != 1)
        return usage_error(line.operands().empty() ? "name the image" : "name one image", usage);
    if (const auto refusal = host::plain_image_required(std::string(line.operands()[0])))
        return fail(*refusal, "convert the image as the line above says, then run the command on the ISO");
    const Output out(line.has("--quiet"));
    auto place = host::JobPlace::at(line.operands()[0], line.value("--out"), need_image);
    if (!place) return fail(place.error());
    const host::GuardOptions options{line.has("--force"), line.has("--keep")};
    const auto outcome = job(place->folder(), place->name(), options);
    if (!outcome.summary) {
        auto error = outcome.failure.error;
        if (!outcome.failure.cleanup.empty()) error.message += "\n" + outcome.failure.cleanup;
        return fail(error);
    }
    out.print(describe(*outcome.summary));
    return kExitSuccess;
}

} // namespace

namespace {

// A refused image gets one more line: what the file is and what isorelink needs.
host::GuardedOutcome<ExtractionSummary> extract_with_diagnosis(const std::string& folder, const std::string& name,
                                                               host::GuardOptions options) {
    auto outcome = host::run_guarded_extraction(folder, name, options);
    if (!outcome.summary)
        if (const auto answer = host::diagnose_image(folder + name))
            outcome.failure.error.message += "\nisorelink: " + *answer;
    return outcome;
}

} // namespace

int extract_command(Args args) {
    return run_job_command(args, kExtractUsage, true, extract_with_diagnosis, [](const ExtractionSummary& s) {
        for (const auto& warning : s.warnings) std::fprintf(stderr, "isorelink: %s\n", warning.c_str());
        return std::string(to_string(s.kind)) + " image, " + host::counted(s.file_count, "file", "files") +
               ", data start sector " + std::to_string(s.data_start_sector) + "\nwrote " + s.names.sector_listing +
               "\nwrote " + s.names.file_listing + "\nwrote " + s.names.record_file + "\n";
    });
}

int rebuild_command(Args args) {
    return run_job_command(args, kRebuildUsage, false, host::run_guarded_rebuild, [](const RebuildSummary& s) {
        if (const auto warning = host::capacity_warning(s.names.new_image, s.kind, s.new_image_size))
            std::fprintf(stderr, "%s\n", warning->c_str());
        return std::string(to_string(s.kind)) + " image, " +
               host::counted(s.lines_applied, "relink line", "relink lines") + " applied\npatched " +
               s.names.new_image + " (" + host::counted(s.new_image_size, "byte", "bytes") + ")\n";
    });
}

} // namespace isorelink::cli
