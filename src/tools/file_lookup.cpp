#include "tools/file_lookup.h"

#include "common/messages.h"

namespace isorelink::host {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

} // namespace

std::string match_key(std::string_view path) {
    auto key = normalise_iso_path(path);
    if (key.size() > 1 && key.back() == '.') key.pop_back();
    return key;
}

ImageFiles::ImageFiles(const IsoVolume& volume, const std::vector<ListingLine>& listing)
    : volume_(volume), listing_(listing), next_record_(volume.files.size(), kNone) {
    files_by_key_.reserve(volume.files.size());
    file_by_extent_field_.reserve(volume.files.size());
    line_by_key_.reserve(listing.size());
    line_by_extent_field_.reserve(listing.size());
    for (std::size_t i = 0; i < volume.files.size(); ++i) {
        const auto [at, first] = files_by_key_.try_emplace(match_key(volume.files[i].path), i, i);
        if (!first) {
            next_record_[at->second.second] = i;
            at->second.second = i;
        }
        file_by_extent_field_[volume.files[i].record_offset + 2] = i;
    }
    for (std::size_t i = 0; i < listing.size(); ++i) {
        line_by_key_.emplace(match_key(listing[i].path), i);
        line_by_extent_field_[listing[i].extent_field] = i;
    }
}

Expected<std::size_t> ImageFiles::line_of(const std::string& asked, const std::string& image) const {
    const auto key = match_key(asked);
    const IsoFile* record = nullptr;
    std::optional<std::size_t> line;
    if (const auto named = files_by_key_.find(key); named != files_by_key_.end()) {
        record = &volume_.files[named->second.first];
        if (const auto l = line_by_extent_field_.find(record->record_offset + 2); l != line_by_extent_field_.end())
            line = l->second;
    } else if (const auto l = line_by_key_.find(key); l != line_by_key_.end()) {
        // A name only the listing knows (a piece of a multi-extent file, numbered).
        line = l->second;
        if (const auto f = file_by_extent_field_.find(listing_[*line].extent_field); f != file_by_extent_field_.end())
            record = &volume_.files[f->second];
    }
    if (record == nullptr && !line) return job_error(msg::kReplaceNotInImage, {asked, image});
    if (record != nullptr && record->multi_extent) return job_error(msg::kReplaceMultiExtent, asked);
    if (!line) return job_error(msg::kReplaceNotListed, asked);
    return *line;
}

std::vector<const IsoFile*> ImageFiles::extents_of(const std::string& key) const {
    std::vector<const IsoFile*> extents;
    if (const auto named = files_by_key_.find(key); named != files_by_key_.end())
        for (auto i = named->second.first; i != kNone; i = next_record_[i]) extents.push_back(&volume_.files[i]);
    return extents;
}

} // namespace isorelink::host
