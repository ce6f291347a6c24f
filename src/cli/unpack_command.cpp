// unpack IMAGE [DIR] [ISO_PATH...] [--force] [--keep] [--quiet]
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "tools/unpack.h"

namespace isorelink::cli {

namespace {

constexpr std::string_view kUnpackUsage =
    "usage: isorelink unpack IMAGE.ISO [DIR] [ISO_PATH...] [--force] [--keep] [--quiet]\n"
    "  writes every file of the image (or the files and folders named, e.g. /DATA or /DATA/TEXT.BIN) under DIR,\n"
    "  IMAGE.ISO-files beside the image unless given, with the image's folders and recording dates\n"
    "  --force  overwrite files in DIR that isorelink did not write (or that changed since)\n"
    "  --keep   keep what a failed run wrote\n"
    "  --quiet  no progress bar\n"
    "  The word after the image is DIR unless it starts with '\\', or starts with '/', exists nowhere here\n"
    "  and names a file or folder of the image.\n";

// The word after the image is DIR unless it is an ISO path: one that starts with '\\', or one that starts with
// '/', names nothing on this machine and names a file or folder of the image.
bool is_iso_path(const std::string& image, const std::string& word) {
    if (word.empty()) return false;
    if (word.front() == '\\') return true;
    std::error_code ec;
    return word.front() == '/' && !std::filesystem::exists(std::filesystem::symlink_status(word, ec)) &&
           host::image_holds(image, word);
}

} // namespace

int unpack_command(Args args) {
    host::UnpackOptions options;
    std::vector<std::string> words;
    for (const auto arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUnpackUsage.data(), stdout);
            return kExitSuccess;
        }
        if (arg == "--force") options.guard.force = true;
        else if (arg == "--keep") options.guard.keep = true;
        else if (arg == "--quiet" || arg == "-q") options.quiet = true;
        else if (arg.starts_with("-")) return usage_error("unpack: unknown option '" + std::string(arg) + "'", kUnpackUsage);
        else words.emplace_back(arg);
    }
    if (words.empty()) return usage_error("unpack: name an image", kUnpackUsage);
    const std::string image = words[0];
    std::string dir;
    std::size_t first_path = 1;
    if (words.size() > 1 && !is_iso_path(image, words[1])) {
        dir = words[1];
        first_path = 2;
    }
    const std::vector<std::string> paths(words.begin() + static_cast<std::ptrdiff_t>(first_path), words.end());

    const auto report = host::run_unpack(image, dir, paths, options);
    if (!report) return fail(report.error(), {});
    for (const auto& w : report->warnings) std::fprintf(stderr, "isorelink: warning: %s\n", w.c_str());
    std::printf("%s image: %llu file%s, %llu bytes (%s) written under %s\n",
                std::string(to_string(report->kind)).c_str(), static_cast<unsigned long long>(report->files),
                report->files == 1 ? "" : "s", static_cast<unsigned long long>(report->bytes),
                host::to_string(report->method), report->folder.c_str());
    return kExitSuccess;
}

} // namespace isorelink::cli
