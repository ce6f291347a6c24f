#include "tools/write_record.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "format/endian.h"
#include "platform/file.h"

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "isorelink write record 1";
// Larger files are images: their size and time stand for their bytes.
constexpr std::uint64_t kHashedUpTo = std::uint64_t{64} << 20;

// A file's name in the record: its path inside the record's folder (unpack
// writes into sub-folders: "DATA/TEXT.BIN"), or its bare name.
std::string name_of(const std::string& folder, const std::string& path) {
    if (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0)
        return path.substr(folder.size());
    return fs::path(path).filename().string();
}

// A 64-bit hash of the file's bytes, eight at a time: it only has to see an
// edit, and it runs over every listing on every run.
std::string content_hash(const std::string& path) {
    auto file = File::open(path, "rb");
    if (!file) return {};
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const auto mix = [&hash](std::uint64_t word) {
        hash = (hash ^ word) * 0x9e3779b97f4a7c15ULL;
        hash ^= hash >> 29;
    };
    std::array<std::byte, 1 << 16> block;
    std::uint64_t total = 0;
    for (std::size_t got; (got = file->read(block)) > 0;) {
        total += got;
        std::size_t i = 0;
        for (; i + 8 <= got; i += 8) mix(le64(block, i));
        for (; i < got; ++i) mix(std::to_integer<std::uint64_t>(block[i]) | 0x100);
    }
    mix(total);
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

std::string stamp_of(const platform::FileState& state) {
    char text[64] = "@";
    char* at = text + 1;
    char* const end = text + sizeof text;
    for (const std::uint64_t value :
         {static_cast<std::uint64_t>(state.changed), state.identity.device, state.identity.index}) {
        if (at != text + 1) *at++ = '.';
        at = std::to_chars(at, end, value, 16).ptr;
    }
    return std::string(text, at);
}

bool stamped(const WrittenFile& file) { return !file.hash.empty() && file.hash.front() == '@'; }

// True when the stamp in file's HASH is the file's stamp now; origin gets what follows it.
bool stamp_holds(const WrittenFile& file, const platform::FileState& state, std::string* origin = nullptr) {
    if (!stamped(file) || state.changed == 0 || !state.regular || state.size != file.size ||
        state.mtime != file.mtime)
        return false;
    const std::string now = stamp_of(state);
    if (file.hash.compare(0, now.size(), now) != 0) return false;
    if (file.hash.size() == now.size()) {
        if (origin) origin->clear();
        return true;
    }
    if (file.hash[now.size()] != '.') return false;
    if (origin) *origin = file.hash.substr(now.size() + 1);
    return true;
}

} // namespace

bool stamp_still_holds(const WrittenFile& file, const std::string& path) {
    if (!stamped(file)) return false;
    const auto state = platform::file_state(path);
    return state && stamp_holds(file, *state);
}

bool describe_file(const std::string& path, WrittenFile& out, bool with_hash) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    const auto size = fs::file_size(path, ec);
    if (ec) return false;
    const auto time = fs::last_write_time(path, ec);
    if (ec) return false;
    out.size = size;
    out.mtime = static_cast<std::int64_t>(time.time_since_epoch().count());
    out.hash.clear();
    if (!with_hash) return true;
    out.hash = size > kHashedUpTo ? "-" : content_hash(path);
    return !out.hash.empty();
}

WriteRecord WriteRecord::load(const std::string& folder) {
    WriteRecord record;
    record.folder_ = folder;
    record.path_ = folder + kFileName;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(record.path_, ec))) return record;
    std::ifstream in(record.path_, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line) || line != kHeader) {
        record.foreign_ = true;
        return record;
    }
    // unpack's record of a large image holds a line per file: read field by field, without a stream each.
    while (std::getline(in, line)) {
        std::string_view rest(line);
        const auto skip_blanks = [&rest] {
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
        };
        const auto number = [&](auto& value) {
            skip_blanks();
            const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
            if (error != std::errc() || end == rest.data()) return false;
            rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
            return true;
        };
        WrittenFile file;
        if (!number(file.size) || !number(file.mtime)) continue;  // a damaged line vouches for nothing
        skip_blanks();
        const std::size_t token = std::min(rest.find_first_of(" \t"), rest.size());
        file.hash = std::string(rest.substr(0, token));
        rest.remove_prefix(token);
        skip_blanks();
        if (file.hash.empty() || rest.empty()) continue;
        // Saved in name order: each line goes at the end.
        record.files_.insert_or_assign(record.files_.end(), std::string(rest), std::move(file));
    }
    return record;
}

bool WriteRecord::holds(const std::string& path) const { return files_.count(name_of(folder_, path)) != 0; }

bool WriteRecord::wrote_unchanged(const std::string& path) const {
    WrittenFile now;
    return describe_file(path, now, false) && wrote_unchanged(path, now);
}

bool WriteRecord::wrote_unchanged(const std::string& path, WrittenFile& now) const {
    const auto known = files_.find(name_of(folder_, path));
    if (known == files_.end() || now.size != known->second.size || now.mtime != known->second.mtime) return false;
    if (stamped(known->second)) {
        const auto state = platform::file_state(path);
        if (!state || !stamp_holds(known->second, *state)) return false;
        now.hash = known->second.hash;
        return true;
    }
    // Size and time match: the bytes decide (an edit within the file system's time granularity).
    if (now.hash.empty()) now.hash = now.size > kHashedUpTo ? "-" : content_hash(path);
    return now.hash == known->second.hash;
}

void WriteRecord::note(const std::string& path) {
    WrittenFile now;
    if (!describe_file(path, now)) return forget(path);
    files_[name_of(folder_, path)] = now;
    changes_[name_of(folder_, path)] = now;
}

void WriteRecord::note_stamped(const std::string& path, const std::string& origin) {
    const auto state = platform::file_state(path);
    if (!state || !state->regular || state->changed == 0) return note(path);  // no change time: the bytes vouch
    WrittenFile now{state->size, state->mtime, stamp_of(*state) + (origin.empty() ? "" : "." + origin)};
    files_[name_of(folder_, path)] = now;
    changes_[name_of(folder_, path)] = now;
}

std::string WriteRecord::unchanged_origin(const std::string& name, const platform::FileState& state) const {
    const auto known = files_.find(name);
    std::string origin;
    if (known == files_.end() || !stamp_holds(known->second, state, &origin)) return {};
    return origin;
}

void WriteRecord::forget(const std::string& path) {
    files_.erase(name_of(folder_, path));
    changes_[name_of(folder_, path)] = std::nullopt;
}

bool WriteRecord::save() const {
    if (foreign_) return false;
    const WriteRecord current = load(folder_);
    if (current.foreign_) return false;
    auto files = current.files_;
    for (const auto& [name, change] : changes_) {
        if (change) files[name] = *change;
        else files.erase(name);
    }
    std::error_code ec;
    if (files.empty()) {
        fs::remove(path_, ec);
        return !ec;
    }
    std::string text = std::string(kHeader) + "\n";
    for (const auto& [name, file] : files)
        text += std::to_string(file.size) + " " + std::to_string(file.mtime) + " " + file.hash + " " + name + "\n";
    return replace_with_text(path_, text);
}

bool replace_with_text(const std::string& path, const std::string& text) {
    const std::string fresh = path + ".new";
    std::error_code ec;
    fs::remove(fresh, ec);
    {
        auto out = File::open(fresh, "wb");
        if (!out || !out->write_text(text) || !out->close()) {
            fs::remove(fresh, ec);
            return false;
        }
    }
    fs::rename(fresh, path, ec);
    if (ec) fs::remove(fresh, ec);
    return !ec;
}

} // namespace isorelink::host
