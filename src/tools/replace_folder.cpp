#include "tools/replace_folder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>

#include "common/messages.h"
#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/workers.h"
#include "common/progress.h"
#include "tools/write_record.h"

namespace isorelink::host {

namespace fs = std::filesystem;

namespace {

// Files the refusal names before it only counts the rest.
constexpr std::size_t kStrangersNamed = 20;
// Files looked at side by side.
constexpr unsigned kLookWorkers = 2;

// True when the local file holds exactly the bytes of these extents, joined.
Expected<bool> same_content(const std::string& local_path, std::uint64_t local_size,
                            const std::vector<const IsoFile*>& extents, const platform::ReadHandle& image) {
    std::uint64_t image_size = 0;
    for (const auto* e : extents) image_size += e->size;
    if (image_size != local_size) return false;
    auto local = File::open(local_path, "rb");
    if (!local) return job_error(msg::kReplaceCannotRead, local_path);
    constexpr std::size_t kChunk = 1u << 20;
    std::vector<std::byte> ours(std::min<std::uint64_t>(kChunk, local_size));
    std::vector<std::byte> theirs(ours.size());
    for (const auto* e : extents) {
        for (std::uint64_t done = 0; done < e->size;) {
            progress::tick();
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, e->size - done));
            if (local->read(std::span(ours).first(n)) != n) return job_error(msg::kReplaceCannotRead, local_path);
            if (!image.read_exact_at(std::uint64_t{e->sector} * 2048 + done, std::span(theirs).first(n)))
                return false;  // the image ends early: whatever the folder holds differs
            if (!std::equal(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(n), theirs.begin()))
                return false;
            done += n;
        }
    }
    return true;
}

// unpack's record of what it wrote into the folder: not one of the image's files (no ISO 9660 name starts
// with a dot), and no reason to refuse the folder it made.
bool is_write_record(const fs::path& inside, const std::string& path) {
    if (inside != fs::path(WriteRecord::kFileName)) return false;
    auto file = File::open(path, "rb");
    std::array<std::byte, 25> head{};
    return file && file->read(head) == head.size() &&
           std::string_view(reinterpret_cast<const char*>(head.data()), head.size()) == "isorelink write record 1\n";
}

} // namespace

Expected<FolderChanges> folder_changes(const std::string& folder, const ImageFiles& files,
                                       const platform::ReadHandle& image, const std::string& image_path,
                                       const std::map<std::string, SeenFile>& known, const SourceIdentity* source) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return job_error(msg::kReplaceFromNotFolder, folder);
    FolderChanges changes;
    std::vector<std::string> strangers;
    // The walk first, then a look at each file, two at a time: on a folder of 50,000 files the looks are
    // system calls, one core's worth each.
    struct Entry {
        fs::path inside;
        std::string local;
        std::vector<const IsoFile*> extents;  // none: a stranger
        std::optional<SeenFile> seen;
        std::optional<JobError> error;
    };
    std::vector<Entry> entries;
    // A folder linked into DIR is walked like one inside it; a cycle of links ends in an error, not a hang.
    fs::recursive_directory_iterator walk(folder, fs::directory_options::follow_directory_symlink, ec);
    if (ec) return job_error(msg::kReplaceFromCannotList, {folder, ec.message()});
    for (const fs::recursive_directory_iterator end; walk != end; walk.increment(ec)) {
        if (ec) return job_error(msg::kReplaceFromCannotList, {folder, ec.message()});
        progress::tick();
        if (walk->is_directory(ec)) continue;
        fs::path inside = walk->path().lexically_relative(folder);
        if (is_write_record(inside, walk->path().string())) continue;
        entries.push_back({std::move(inside), walk->path().string(), {}, {}, {}});
    }
    const WriteRecord unpacked = WriteRecord::load((fs::path(folder) / "").string());
    const std::string source_key = source != nullptr ? source_origin(*source) : std::string();
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    const auto look = [&](Entry& entry) {
        const std::string shown = entry.inside.generic_string();
        const auto state = platform::file_state(entry.local);
        std::error_code type_ec;
        if (!state && fs::is_regular_file(entry.local, type_ec)) {
            entry.error = job_error(msg::kReplaceCannotRead, entry.local);
            return;
        }
        if (state && state->regular) entry.extents = files.extents_of(match_key(shown));
        if (entry.extents.empty()) return;
        SeenFile now{state->size, state->mtime, state->changed, false};
        // The modification time alone may be set back (cp -p, unpack's recording dates); the change time may not.
        const auto before = known.find(shown);
        std::uint64_t extents_size = 0;
        for (const auto* e : entry.extents) extents_size += e->size;
        if (before != known.end() && now.changed != 0 && before->second.size == now.size &&
            before->second.mtime == now.mtime && before->second.changed == now.changed) {
            now.same = before->second.same;
        } else if (source != nullptr && extents_size == now.size &&
                   unpacked.unchanged_origin(entry.inside.string(), *state) ==
                       file_origin(source_key, entry.extents.front()->sector, extents_size)) {
            now.same = true;  // unpack wrote the image's bytes here and nobody has written to it since
        } else {
            auto same = same_content(entry.local, now.size, entry.extents, image);
            if (!same) {
                entry.error = same.error();
                return;
            }
            now.same = *same;
        }
        entry.seen = now;
    };
    platform::run_workers(platform::worker_count(kLookWorkers), [&](unsigned) {
        for (std::size_t i; !stop && (i = next++) < entries.size();) {
            progress::tick();
            look(entries[i]);
            if (entries[i].error) stop = true;
        }
    });
    for (const auto& entry : entries)
        if (entry.error) return *entry.error;
    for (auto& entry : entries) {
        const std::string shown = entry.inside.generic_string();
        if (entry.extents.empty()) {
            strangers.push_back(shown);
            continue;
        }
        changes.seen[shown] = *entry.seen;
        if (entry.seen->same) {
            ++changes.unchanged;
            continue;
        }
        const std::string iso_path = entry.extents.front()->path;
        auto line = files.line_of(iso_path, image_path);
        if (!line) return line.error();
        changes.changed.push_back({*line, iso_path, std::move(entry.local), entry.seen->size});
    }
    if (!strangers.empty()) {
        std::sort(strangers.begin(), strangers.end());
        std::string named;
        for (std::size_t i = 0; i < strangers.size() && i < kStrangersNamed; ++i)
            named += (i == 0 ? "" : ", ") + strangers[i];
        if (strangers.size() > kStrangersNamed)
            named += " and " + std::to_string(strangers.size() - kStrangersNamed) + " more";
        return job_error(msg::kReplaceFromStrangers, {folder, image_path, named});
    }
    std::sort(changes.changed.begin(), changes.changed.end(),
              [](const FolderFile& a, const FolderFile& b) { return a.line < b.line; });
    return changes;
}

} // namespace isorelink::host
