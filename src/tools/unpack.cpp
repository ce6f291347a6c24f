#include "tools/unpack.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <set>

#include "common/messages.h"
#include "format/sector.h"
#include "platform/extent_copy.h"
#include "tools/format_bridge.h"
#include "platform/folders.h"
#include "platform/progress_bar.h"
#include "platform/read_handle.h"
#include "platform/workers.h"
#include "read/iso_volume.h"
#include "tools/image_files.h"
#include "tools/replace_increment.h"
#include "tools/write_record.h"

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

// Copies at once: one core's memory traffic bounds a copy inside the kernel.
constexpr unsigned kCopyWorkers = 2;

// "README." and "README" name the same file, as replace matches them.
std::string match_key(std::string_view path) {
    auto key = normalise_iso_path(path);
    if (key.size() > 1 && key.back() == '.') key.pop_back();
    return key;
}

// "\\DATA\\TEXT.BIN" -> {"DATA", "TEXT.BIN"}; the name rule leaves no separator inside a name.
std::vector<std::string> components(const std::string& iso_path) {
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= iso_path.size()) {
        const auto end = std::min(iso_path.find('\\', start), iso_path.size());
        parts.push_back(iso_path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool empty_name_in(const std::vector<std::string>& parts) {
    return std::any_of(parts.begin(), parts.end(), [](const std::string& p) { return p.empty(); });
}

std::string joined(const std::string& root, const std::vector<std::string>& parts, std::size_t count) {
    std::string path = root;
    for (std::size_t i = 0; i < count; ++i) {
        path += platform::kFolderSeparator;
        path += parts[i];
    }
    return path;
}

struct Target {
    const ImageFile* file = nullptr;
    std::string path;
    std::vector<ByteRange> ranges;
};

// Every folder along `path` below `root` exists as a folder, none of them a link.
Status make_folders(const std::string& root, const std::vector<std::string>& parts, std::size_t count,
                    std::set<std::string>& made) {
    for (std::size_t i = 1; i <= count; ++i) {
        const std::string folder = joined(root, parts, i);
        if (made.count(folder)) continue;
        std::error_code ec;
        const auto status = fs::symlink_status(folder, ec);
        if (status.type() == fs::file_type::not_found) {
            if (!fs::create_directory(folder, ec) && ec)
                return job_error(msg::kUnpackCannotCreateFolder, {folder, ec.message()});
        } else if (status.type() != fs::file_type::directory) {
            return job_error(msg::kUnpackNotAFolder, folder);
        }
        made.insert(folder);
    }
    return ok_status();
}

} // namespace

std::string default_unpack_folder(const std::string& image_path) { return image_path + "-files"; }

bool image_holds(const std::string& image_path, const std::string& iso_path) {
    auto plain = plain_image_of(image_path, true);
    if (!plain) return false;
    auto image = platform::ReadHandle::open((*plain)->path());
    if (!image) return false;
    auto iso = read_iso_volume(*image);
    if (!iso) return false;
    const auto key = match_key(iso_path);
    const auto named = [&](const std::string& path) { return match_key(path) == key; };
    return std::any_of(iso->files.begin(), iso->files.end(), [&](const IsoFile& f) { return named(f.path); }) ||
           std::any_of(iso->directories.begin(), iso->directories.end(),
                       [&](const IsoDirectory& d) { return named(d.path); });
}

Expected<UnpackReport> run_unpack(const std::string& image_path, const std::string& folder_asked,
                                  const std::vector<std::string>& iso_paths, const UnpackOptions& options) {
    const std::string root = folder_asked.empty() ? default_unpack_folder(image_path) : folder_asked;
    // A BIN/CUE, CSO or ZSO is unpacked from the plain image it holds.
    auto plain = plain_image_of(image_path, options.quiet);
    if (!plain) return plain.error();
    auto image = platform::ReadHandle::open((*plain)->path());
    if (!image) return job_error(msg::kCannotOpen, image_path);
    auto iso = read_iso_volume(*image);
    if (!iso) return iso.error();
    image.reset();

    UnpackReport report;
    report.kind = iso->kind;
    report.folder = root;
    for (const auto& p : iso->problems) report.warnings.push_back(p);
    const auto all = files_of(*iso);

    // The files asked for: each name a file or a folder of the image (all that lies in it).
    std::vector<std::string> keys;
    for (const auto& asked : iso_paths) keys.push_back(match_key(asked));
    const auto within = [](const std::string& path, const std::string& key) {
        const auto path_key = match_key(path);
        return path_key == key || path_key.rfind(key == "\\" ? key : key + "\\", 0) == 0;
    };
    const auto asked_for = [&](const std::string& path) {
        return keys.empty() || std::any_of(keys.begin(), keys.end(), [&](const auto& k) { return within(path, k); });
    };
    std::vector<const ImageFile*> chosen;
    for (const auto& f : all)
        if (asked_for(f.path)) chosen.push_back(&f);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto named = [&](const std::string& path) { return within(path, keys[i]); };
        if (std::none_of(all.begin(), all.end(), [&](const ImageFile& f) { return named(f.path); }) &&
            std::none_of(iso->directories.begin(), iso->directories.end(),
                         [&](const IsoDirectory& d) { return named(d.path); }))
            return job_error(msg::kUnpackNotInImage, {iso_paths[i], image_path});
    }

    // Where each goes; what cannot go anywhere is left out with a warning.
    std::set<std::string> folders;  // the image's folders, and every folder a file lies in
    for (const auto& d : iso->directories)
        if (!d.path.empty()) folders.insert(d.path);
    for (const auto& f : all)
        for (std::size_t at = f.path.find('\\', 1); at != std::string::npos; at = f.path.find('\\', at + 1))
            folders.insert(f.path.substr(0, at));
    std::vector<Target> targets;
    std::set<std::string> seen;
    for (const auto* file : chosen) {
        const auto parts = components(file->path);
        if (empty_name_in(parts)) {
            report.warnings.push_back(job_error(msg::kUnpackEmptyName, file->path).message);
            continue;
        }
        if (parts.size() == 1 && lower(parts[0]) == WriteRecord::kFileName) {  // any case: Windows folds it
            report.warnings.push_back(job_error(msg::kUnpackReservedName, file->path).message);
            continue;
        }
        if (folders.count(file->path)) {
            report.warnings.push_back(job_error(msg::kUnpackFileAndFolder, file->path).message);
            continue;
        }
        if (!seen.insert(file->path).second) {
            report.warnings.push_back(job_error(msg::kUnpackNamedTwice, file->path).message);
            continue;
        }
        Target target{file, joined(root, parts, parts.size()), {}};
        for (const auto r : file->records) {
            const auto& record = iso->files[r];
            if (record.size == 0) continue;
            if (sector_offset(record.sector) + record.size > iso->image_size)
                return job_error(msg::kUnpackBeyondImage, {file->path, image_path, std::to_string(record.sector)});
            target.ranges.push_back({sector_offset(record.sector), record.size});
        }
        targets.push_back(std::move(target));
    }

    std::error_code ec;
    const auto root_status = fs::symlink_status(root, ec);
    if (root_status.type() != fs::file_type::not_found && !fs::is_directory(root, ec))
        return job_error(msg::kUnpackNotAFolder, root);
    std::vector<std::string> outputs;
    for (const auto& t : targets) outputs.push_back(t.path);
    OutputGuard guard(root + platform::kFolderSeparator, outputs, options.guard);
    if (auto allowed = guard.check("unpack"); !allowed) return allowed.error();

    // Where each file's bytes come from, so that replace --from can trust a file nobody touched since without
    // reading it. Only a plain image is its own source; a decoded work copy is gone when this ends.
    const auto source = (*plain)->path() == image_path ? identify_source(image_path) : std::nullopt;
    const std::string source_key = source ? source_origin(*source) : std::string();
    std::vector<std::string> written, origins;
    const auto run = [&]() -> Status {
        if (root_status.type() == fs::file_type::not_found && !fs::create_directories(root, ec) && ec)
            return job_error(msg::kUnpackCannotCreateFolder, {root, ec.message()});
        auto copier = ExtentCopier::open((*plain)->path());
        if (!copier) return copier.error();
        std::set<std::string> made;
        // The image's folders asked for, empty ones too.
        std::vector<std::pair<std::string, std::optional<std::int64_t>>> dated_folders;
        for (const auto& d : iso->directories) {
            if (d.path.empty() || !asked_for(d.path)) continue;
            const auto parts = components(d.path);
            if (empty_name_in(parts)) continue;
            if (auto made_ok = make_folders(root, parts, parts.size(), made); !made_ok) return made_ok;
            dated_folders.push_back({joined(root, parts, parts.size()), d.recorded});
        }
        std::uint64_t total = 0;
        for (const auto& t : targets)
            for (const auto& r : t.ranges) total += r.length;
        ProgressBar bar("unpacking", total, options.quiet);
        // Everything a copy could meet in its way first, in order, so that the copies can run side by side.
        for (const auto& t : targets) {
            const auto parts = components(t.file->path);
            if (auto made_ok = make_folders(root, parts, parts.size() - 1, made); !made_ok) return made_ok;
            if (fs::symlink_status(t.path, ec).type() == fs::file_type::directory)
                return job_error(msg::kUnpackFolderInTheWay, t.path);
        }
        std::atomic<std::size_t> next{0};
        std::atomic<bool> stop{false};
        std::atomic<std::uint64_t> copied{0};
        std::vector<std::optional<CopyMethod>> methods(targets.size());
        const unsigned workers = platform::worker_count(kCopyWorkers);
        // One slot per file, then one per worker for a copier that did not open: no two threads share one.
        std::vector<std::optional<JobError>> errors(targets.size() + workers);
        platform::run_workers(workers, [&](unsigned worker) {
            auto copier = ExtentCopier::open((*plain)->path());
            if (!copier) {
                errors[targets.size() + worker] = copier.error();
                stop = true;
                return;
            }
            const auto progress = [&](std::uint64_t bytes) {
                const auto now = copied += bytes;
                if (worker == 0) bar.update(now);
            };
            for (std::size_t i; !stop && (i = next++) < targets.size();) {
                const auto& t = targets[i];
                // The guard let it through: ours and unchanged, or forced. A link goes, never what it names.
                std::error_code gone;
                fs::remove(t.path, gone);
                auto method = copier->write_file(t.ranges, t.path, progress);
                if (!method) {
                    errors[i] = method.error();
                    stop = true;
                    return;
                }
                if (t.file->recorded) set_modification_time(t.path, *t.file->recorded);
                methods[i] = *method;
            }
        });
        bool any_kernel = false, any_clone = false;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            if (!methods[i]) continue;
            const auto& t = targets[i];
            any_clone = any_clone || *methods[i] == CopyMethod::Reflink;
            any_kernel = any_kernel || *methods[i] == CopyMethod::KernelCopy;
            written.push_back(t.path);
            const auto& first = iso->files[t.file->records.front()];
            origins.push_back(source ? file_origin(source_key, first.sector, t.file->size) : std::string());
            ++report.files;
            report.bytes += t.file->size;
        }
        for (const auto& error : errors)
            if (error) return *error;
        bar.finish();
        // Folders last, deepest first: writing a file into a folder changes its time.
        std::sort(dated_folders.begin(), dated_folders.end(),
                  [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
        for (const auto& [path, recorded] : dated_folders)
            if (recorded) set_modification_time(path, *recorded);
        report.method = any_clone ? CopyMethod::Reflink : any_kernel ? CopyMethod::KernelCopy : CopyMethod::Streamed;
        return ok_status();
    };
    if (auto ran = run(); !ran) {
        const auto cleaned = guard.failed();
        return cleaned.empty() ? ran.error() : JobError{ran.error().kind, ran.error().message + "\n" + cleaned};
    }
    guard.succeeded(written, {}, origins);
    return report;
}

} // namespace isorelink::host
