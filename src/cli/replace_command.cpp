// replace IMAGE.ISO ISO_PATH=LOCAL_FILE [...] [--quiet] [--force] [--keep] [--patch FILE.ppf|FILE.xdelta]
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "tools/capacity.h"
#include "tools/patch.h"
#include "tools/replace_job.h"

namespace isorelink::cli {

int replace_command(Args args) {
    bool quiet = false;
    host::GuardOptions options;
    std::string image;
    std::vector<host::ReplaceRequest> requests;
    std::string patch;  // --patch FILE: a patch from IMAGE to the new image as well
    bool patch_follows = false;
    for (const auto arg : args) {
        if (patch_follows) {
            patch = std::string(arg);
            patch_follows = false;
        } else if (arg == "--patch") {
            patch_follows = true;
        } else if (arg.starts_with("--patch=")) {
            patch = std::string(arg.substr(8));
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg.starts_with("-")) {
            std::fprintf(stderr, "isorelink replace: unknown option '%.*s'\n", static_cast<int>(arg.size()), arg.data());
            return 2;
        } else if (image.empty()) {
            image = std::string(arg);
        } else {
            auto request = host::parse_replace_argument(arg);
            if (!request) {
                std::fprintf(stderr, "isorelink %s\n", request.error().message.c_str());
                return 2;
            }
            requests.push_back(std::move(*request));
        }
    }
    if (image.empty() || requests.empty() || patch_follows) {
        std::fprintf(stderr,
                     "usage: isorelink replace IMAGE.ISO ISO_PATH=LOCAL_FILE [ISO_PATH=LOCAL_FILE ...] [--quiet]"
                     " [--force] [--keep]\n"
                     "  --force  overwrite NEW-IMAGE.ISO, the relink list and the listings even when isorelink\n"
                     "           did not write them or they changed since\n"
                     "  --keep   keep what a failed run wrote\n"
                     "  --patch FILE.ppf|FILE.xdelta  also write a PPF 3.0 or VCDIFF (xdelta3) patch from IMAGE.ISO\n"
                     "           to NEW-IMAGE.ISO\n");
        return 2;
    }
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);  // a file size limit is a failed write, reported and cleaned up
#endif
    if (!patch.empty())
        if (const auto writable = host::check_patch_output(patch, options); !writable) return fail(writable.error(), {});
    auto report = host::run_replace(image, requests, quiet, options);
    if (!report) {
        std::fprintf(stderr, "isorelink %s\n", report.error().message.c_str());
        return 1;
    }
    std::fputs(host::describe_replace(*report).c_str(), stdout);
    if (const auto warning = host::capacity_warning(report->new_image, report->kind, report->new_image_size))
        std::fprintf(stderr, "%s\n", warning->c_str());
    if (!patch.empty()) {
        const auto written = host::write_patch(image, report->new_image, patch, options);
        if (!written) return fail(written.error(), {});
        std::printf("wrote %s (%llu bytes)\n", patch.c_str(), static_cast<unsigned long long>(written->bytes));
    }
    return 0;
}

} // namespace isorelink::cli
