// extract and rebuild: the jobs the module runs, guarded so that the CLI
// never overwrites a file it did not write and takes back what a failed
// run wrote.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "tools/format_bridge.h"
#include "tools/image_path.h"
#include "tools/guarded_jobs.h"

namespace isorelink::cli {

namespace {

struct JobArguments {
    std::string image;
    host::GuardOptions options;
};

constexpr const char* kExtractUsage =
    "usage: isorelink extract [--force] [--keep] PATH/IMAGE.ISO\n"
    "  writes IMAGE.ISO-LSN.TXT, IMAGE.ISO-Filelist.txt and IMAGE.ISO.xqe beside the image\n"
    "  --force  overwrite those files (and tmp.tmp, temp1.tmp) even when isorelink did not write them\n"
    "  --keep   keep what a failed run wrote\n";
constexpr const char* kRebuildUsage =
    "usage: isorelink rebuild [--force] [--keep] PATH/IMAGE.ISO\n"
    "  patches NEW-IMAGE.ISO from IMAGE.ISO-relink-LSN.TXT and IMAGE.ISO.xqe\n"
    "  --force  run even when tmp.tmp or temp1.tmp lie beside the image and isorelink did not leave them\n"
    "  --keep   accepted as extract takes it: a failed rebuild writes nothing\n";

// Returns the exit code to end with, or nothing to go on.
std::optional<int> parse(Args args, const char* usage, JobArguments& out) {
    for (const auto arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (arg == "--force") out.options.force = true;
        else if (arg == "--keep") out.options.keep = true;
        else if (!arg.starts_with("-") && out.image.empty()) out.image = std::string(arg);
        else {
            std::fputs(usage, stderr);
            return 2;
        }
    }
    if (out.image.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    return std::nullopt;
}

// A refusal before anything ran reads "isorelink extract: ..."; a job's
// failure is its coded message, as the status file would hold it.
int report(const host::GuardedFailure& failure) {
    const bool coded = failure.error.message.starts_with("Code ");
    std::fprintf(stderr, "%s%s\n", coded ? "" : "isorelink ", failure.error.message.c_str());
    if (!failure.cleanup.empty()) std::fprintf(stderr, "isorelink: %s\n", failure.cleanup.c_str());
    return 1;
}

// Parses, runs the guarded job, and prints its summary or its failure.
template <class Job, class Print>
int run_job_command(Args args, const char* usage, Job job, Print print) {
    JobArguments arguments;
    if (const auto code = parse(args, usage, arguments)) return *code;
    if (const auto refusal = host::plain_image_required(arguments.image)) return fail(*refusal, "convert the image as the line above says, then run the command on the ISO");
    const auto [folder, name] = split_image_path(arguments.image);
    const auto outcome = job(folder, name, arguments.options);
    if (!outcome.summary) return report(outcome.failure);
    print(*outcome.summary);
    return 0;
}

} // namespace

int extract_command(Args args) {
    return run_job_command(args, kExtractUsage, host::run_guarded_extraction, [](const ExtractionSummary& s) {
        std::printf("%s image, %u files, data start sector %u\nwrote %s\nwrote %s\nwrote %s\n",
                    std::string(to_string(s.kind)).c_str(), s.file_count, s.data_start_sector,
                    s.names.sector_listing.c_str(), s.names.file_listing.c_str(), s.names.record_file.c_str());
    });
}

int rebuild_command(Args args) {
    return run_job_command(args, kRebuildUsage, host::run_guarded_rebuild, [](const RebuildSummary& s) {
        std::printf("%s image, %u relink lines applied\npatched %s (%llu bytes)\n",
                    std::string(to_string(s.kind)).c_str(), s.lines_applied, s.names.new_image.c_str(),
                    static_cast<unsigned long long>(s.new_image_size));
    });
}

} // namespace isorelink::cli
