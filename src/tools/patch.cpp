#include "tools/patch.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

#include "common/messages.h"
#include "format/endian.h"
#include "platform/file.h"
#include "common/progress.h"
#include "platform/read_handle.h"
#include "platform/run_program.h"
#include "tools/image_path.h"

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kDescriptionLength = 50;
constexpr std::size_t kLongestRecord = 255;
constexpr std::size_t kBlock = 1u << 20;

std::string lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool ends_with(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

OutputGuard guard_for(const std::string& patch_path, GuardOptions options) {
    return OutputGuard(cli::split_image_path(patch_path).folder, {patch_path}, options);
}

// Collects the records of a PPF patch and writes them in 64 KiB pieces.
class PpfWriter {
public:
    PpfWriter(File& out, bool undo) : out_(out), undo_(undo) {}

    bool add(std::uint64_t offset, ByteView fresh, ByteView old) {
        while (!fresh.empty()) {
            const std::size_t n = std::min(fresh.size(), kLongestRecord);
            std::array<std::byte, 9> head{};
            put_le64(head, 0, offset);
            head[8] = static_cast<std::byte>(n);
            append(head);
            append(fresh.first(n));
            if (undo_) append(old.first(n));
            fresh = fresh.subspan(n);
            if (undo_) old = old.subspan(n);
            offset += n;
            ++records_;
        }
        return ok_;
    }
    bool finish() {
        flush();
        return ok_;
    }
    std::uint64_t records() const { return records_; }

private:
    void append(ByteView bytes) {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        if (pending_.size() >= (64u << 10)) flush();
    }
    void flush() {
        if (!pending_.empty() && !out_.write(pending_)) ok_ = false;
        pending_.clear();
    }

    File& out_;
    bool undo_;
    bool ok_ = true;
    std::uint64_t records_ = 0;
    std::vector<std::byte> pending_;
};

Status run_xdelta3(const std::string& program, const std::string& original, const std::string& modified,
                   const std::string& patch_path) {
    // -f: the guard has already decided that an earlier patch of this name may go.
    const auto status = platform::run_program({program, "-e", "-f", "-s", original, modified, patch_path});
    if (!status) return job_error(msg::kXdeltaFailed, {patch_path, "none: it did not finish"});
    if (*status != 0) return job_error(msg::kXdeltaFailed, {patch_path, std::to_string(*status)});
    return ok_status();
}

} // namespace

Expected<PatchType> patch_type(const std::string& patch_path) {
    const auto name = lower(patch_path);
    if (ends_with(name, ".ppf")) return PatchType::Ppf;
    if (ends_with(name, ".xdelta") || ends_with(name, ".vcdiff")) return PatchType::Xdelta;
    return job_error(msg::kPatchUnknownType, patch_path);
}

std::string find_xdelta3() { return platform::find_program("xdelta3"); }

Status check_patch_output(const std::string& patch_path, GuardOptions options) {
    const auto type = patch_type(patch_path);
    if (!type) return type.error();
    if (*type == PatchType::Xdelta && find_xdelta3().empty()) return job_error(msg::kXdeltaMissing);
    return guard_for(patch_path, options).check("replace --patch");
}

Expected<PatchReport> write_ppf_patch(const std::string& original_path, const std::string& modified_path,
                                      const std::string& patch_path) {
    auto original = platform::ReadHandle::open(original_path);
    if (!original) return job_error(msg::kCannotOpen, original_path);
    auto modified = platform::ReadHandle::open(modified_path);
    if (!modified) return job_error(msg::kCannotOpen, modified_path);
    const auto old_size = original->size();
    const auto new_size = modified->size();
    if (!old_size) return job_error(msg::kCannotReadLength, original_path);
    if (!new_size) return job_error(msg::kCannotReadLength, modified_path);
    if (*new_size < *old_size) return job_error(msg::kPpfShrunk, {modified_path, original_path});
    const bool undo = *new_size == *old_size;

    auto out = File::open(patch_path, "wb");
    if (!out) return job_error(msg::kPpfCannotWrite, patch_path);
    std::array<std::byte, 60> header{};
    const std::string_view magic = "PPF30";
    for (std::size_t i = 0; i < magic.size(); ++i) header[i] = static_cast<std::byte>(magic[i]);
    header[5] = std::byte{2};  // encoding method: PPF 3.0
    std::string description = "isorelink patch " + cli::split_image_path(modified_path).name;
    description.resize(kDescriptionLength, ' ');
    for (std::size_t i = 0; i < kDescriptionLength; ++i) header[6 + i] = static_cast<std::byte>(description[i]);
    header[56] = std::byte{0};  // image type: BIN (any)
    header[57] = std::byte{0};  // no block check
    header[58] = undo ? std::byte{1} : std::byte{0};
    header[59] = std::byte{0};
    if (!out->write(header)) return job_error(msg::kPpfCannotWrite, patch_path);

    PpfWriter writer(*out, undo);
    std::vector<std::byte> old_block(kBlock), new_block(kBlock);
    for (std::uint64_t at = 0; at < *new_size; at += kBlock) {
        progress::tick();
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, *new_size - at));
        const auto fresh = std::span(new_block).first(n);
        if (!modified->read_exact_at(at, fresh)) return job_error(msg::kCannotRead, modified_path);
        // Past the original's end there is nothing to compare with: what is not zero is written (the applier
        // fills what it skips with zeros), and the last byte always, for the length.
        const auto have_old = static_cast<std::size_t>(at < *old_size ? std::min<std::uint64_t>(n, *old_size - at) : 0);
        const auto old = std::span(old_block).first(n);
        if (have_old > 0 && !original->read_exact_at(at, old.first(have_old)))
            return job_error(msg::kCannotRead, original_path);
        std::fill(old.begin() + static_cast<std::ptrdiff_t>(have_old), old.end(), std::byte{0});
        const bool last_block = at + n == *new_size;
        for (std::size_t i = 0; i < n;) {
            const bool must = last_block && i + 1 == n && *new_size > *old_size;
            if (fresh[i] == old[i] && !must) {
                ++i;
                continue;
            }
            std::size_t j = i + 1;
            while (j < n && (fresh[j] != old[j] || (last_block && j + 1 == n && *new_size > *old_size))) ++j;
            if (!writer.add(at + i, ByteView(fresh).subspan(i, j - i), ByteView(old).subspan(i, j - i)))
                return job_error(msg::kPpfCannotWrite, patch_path);
            i = j;
        }
    }
    if (!writer.finish() || !out->close()) return job_error(msg::kPpfCannotWrite, patch_path);
    return PatchReport{PatchType::Ppf, file_size(patch_path).value_or(0), writer.records()};
}

Expected<PatchReport> write_patch(const std::string& original, const std::string& modified,
                                  const std::string& patch_path, GuardOptions options) {
    const auto type = patch_type(patch_path);
    if (!type) return type.error();
    OutputGuard guard = guard_for(patch_path, options);
    if (auto allowed = guard.check("replace --patch"); !allowed) return allowed.error();
    Expected<PatchReport> report = job_error(msg::kXdeltaMissing);
    if (*type == PatchType::Ppf) {
        report = write_ppf_patch(original, modified, patch_path);
    } else {
        const auto program = find_xdelta3();
        if (!program.empty()) {
            if (auto ran = run_xdelta3(program, original, modified, patch_path); !ran) report = ran.error();
            else report = PatchReport{PatchType::Xdelta, file_size(patch_path).value_or(0), 0};
        }
    }
    if (!report) {
        const auto cleaned = guard.failed();
        return cleaned.empty() ? report.error() : JobError{report.error().kind, report.error().message + "\n" + cleaned};
    }
    guard.succeeded({patch_path}, {});
    return report;
}

} // namespace isorelink::host
