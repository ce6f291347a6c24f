// replace IMAGE.ISO [ISO_PATH=LOCAL_FILE ...] [--from DIR] [--dry-run] [--out DIR] [--patch FILE] ...
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

namespace {

constexpr std::string_view kUsage =
    "usage: isorelink replace IMAGE.ISO [ISO_PATH=LOCAL_FILE ...] [--from DIR] [--dry-run] [--out DIR]\n"
    "                         [--patch FILE.ppf|FILE.xdelta] [--force] [--keep] [--quiet]\n"
    "  writes NEW-IMAGE.ISO: IMAGE.ISO with the named files replaced, every other file in place;\n"
    "  always from IMAGE.ISO as it is, never from an earlier NEW-IMAGE.ISO\n"
    "  ISO_PATH=LOCAL_FILE  replace the file ISO_PATH ('\\DATA\\TEXT.BIN' or data/text.bin) with LOCAL_FILE\n"
    "  --from DIR  replace every file of DIR whose content differs from the image's; DIR mirrors the\n"
    "              image's folders (DIR/DATA/TEXT.BIN is \\DATA\\TEXT.BIN); a file the image does not\n"
    "              hold is refused; an ISO_PATH=LOCAL_FILE argument wins over DIR's copy\n"
    "  --dry-run   print which files stay, which move and why, and the room left; write nothing\n"
    "  --out DIR   write NEW-IMAGE.ISO, the relink list and the listings in DIR (created when missing)\n"
    "  --patch FILE.ppf|FILE.xdelta\n"
    "              also write a PPF 3.0 or VCDIFF (xdelta3) patch from IMAGE.ISO to NEW-IMAGE.ISO\n"
    "  --force     overwrite NEW-IMAGE.ISO, the relink list and the listings even when isorelink\n"
    "              did not write them or they changed since\n"
    "  --keep      keep what a failed run wrote\n"
    "  --quiet     print only errors and warnings\n";

} // namespace

int replace_command(Args args) {
    CommandLine line;
    if (const auto code = line.parse(args, kUsage, {"--force", "--keep", "--quiet", "--dry-run"}, {"--from", "--out", "--patch"}))
        return *code;
    if (line.operands().empty()) return usage_error("name the image", kUsage);
    host::ReplaceSettings settings;
    settings.quiet = line.has("--quiet");
    settings.dry_run = line.has("--dry-run");
    settings.from_folder = line.value("--from");
    settings.out_folder = line.value("--out");
    settings.guard = {line.has("--force"), line.has("--keep")};
    std::vector<host::ReplaceRequest> requests;
    for (std::size_t i = 1; i < line.operands().size(); ++i) {
        auto request = host::parse_replace_argument(line.operands()[i]);
        if (!request) return usage_error(request.error().message, kUsage);
        requests.push_back(std::move(*request));
    }
    if (requests.empty() && settings.from_folder.empty())
        return usage_error("name the files to replace: ISO_PATH=LOCAL_FILE or --from DIR", kUsage);
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);  // a file size limit is a failed write, reported and cleaned up
#endif
    const std::string patch = line.value("--patch");
    if (!patch.empty() && !settings.dry_run)
        if (const auto writable = host::check_patch_output(patch, settings.guard); !writable) return fail(writable.error());
    auto report = host::run_replace(line.operands()[0], requests, settings);
    if (!report) return fail(report.error());
    const Output out(settings.quiet);
    out.print(host::describe_replace(*report));
    if (settings.dry_run) return kExitSuccess;
    if (const auto warning = host::capacity_warning(report->new_image, report->kind, report->new_image_size))
        std::fprintf(stderr, "%s\n", warning->c_str());
    if (!patch.empty()) {
        const auto written = host::write_patch(std::string(line.operands()[0]), report->new_image, patch, settings.guard);
        if (!written) return fail(written.error());
        out.print("wrote " + patch + " (" + std::to_string(written->bytes) + " bytes)\n");
    }
    return kExitSuccess;
}

} // namespace isorelink::cli
