#include "tools/image_listing.h"

#include <algorithm>
#include <optional>

#include "common/messages.h"
#include "common/sort_by_key.h"
#include "format/sector.h"
#include "read/iso_volume.h"
#include "read/udf_volume.h"
#include "tools/image_files.h"
#include "tools/format_bridge.h"
#include "tools/image_layout.h"
#include "tools/replace_plan.h"

namespace isorelink::host {

Expected<ImageListing> list_image(const std::string& image_path) {
    // A BIN/CUE, CSO or ZSO is read as the plain image it holds.
    auto plain = plain_image_of(image_path, true);
    if (!plain) return plain.error();
    auto image = platform::ReadHandle::open((*plain)->path());
    if (!image) return job_error(msg::kCannotOpen, image_path);
    auto iso = read_iso_volume(*image);
    if (!iso) return iso.error();
    const std::uint64_t image_size = iso->image_size;
    // The room rule needs only where each File Entry lies: the directories say it. verify reads the entries.
    const UdfVolume udf = iso->kind == ImageKind::Ps2Dvd
                              ? read_udf_volume(*image, whole_sectors(image_size), UdfDepth::Directories)
                              : UdfVolume{};

    ImageListing listing;
    listing.kind = iso->kind;
    listing.kind_recognised = iso->kind_recognised;
    listing.image_bytes = image_size;
    listing.volume_sectors = iso->volume_space_size;
    listing.problems = iso->problems;
    for (const auto& p : udf.problems) listing.problems.push_back(p);  // each says "UDF: " itself

    // The room rule sees every record, as replace sees every listed extent; it needs no paths.
    LayoutInput layout;
    layout.kind = iso->kind;
    layout.listing.reserve(iso->files.size());
    for (const auto& f : iso->files) layout.listing.push_back(ListingLine{f.sector, f.size, 0, 0, {}});
    layout.metadata_sectors = metadata_sectors(*iso, udf);
    layout.image_sectors = sectors_to_hold(image_size);
    layout.volume_space_size = iso->volume_space_size;
    layout.first_sector_with_data = [&](std::uint64_t first, std::uint64_t end) {
        return first_sector_with_data(*image, image_size, image_path, first, end);
    };
    const RoomFinder rooms(layout);

    std::uint64_t last_end = 0;
    for (const auto& f : iso->files)
        if (f.size != 0) last_end = std::max(last_end, std::uint64_t{f.sector} + sectors_to_hold(f.size));
    std::vector<ListedFile> walked;  // walk order
    walked.reserve(iso->files.size());
    std::optional<JobError> failed;   // the first file whose room could not be read
    for_each_file(*iso, [&](std::span<const std::size_t> records) {
        ListedFile listed;
        listed.path = std::move(iso->files[records.front()].path);
        listed.sector = iso->files[records.front()].sector;
        listed.extents = static_cast<std::uint32_t>(records.size());
        for (const auto r : records) {
            listed.size += iso->files[r].size;
            listed.sectors += sectors_to_hold(iso->files[r].size);
        }
        if (records.size() == 1 && !failed) {
            auto room = growth_room(layout, rooms, records.front());
            if (room) listed.room = *room;
            else failed = room.error();
        }
        walked.push_back(std::move(listed));
    });
    if (failed) return *failed;
    // By sector, then path, then walk order: the order is found on small keys and the files moved once.
    std::vector<std::pair<std::uint32_t, std::size_t>> order;  // sector, index into walked
    order.reserve(walked.size());
    for (std::size_t i = 0; i < walked.size(); ++i) order.emplace_back(walked[i].sector, i);
    const auto before = [&](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        const auto& pa = walked[a.second].path;
        const auto& pb = walked[b.second].path;
        return pa != pb ? pa < pb : a.second < b.second;
    };
    if (!std::is_sorted(order.begin(), order.end(), before)) {
        stable_sort_by_key(order);  // by sector, then walk order; files sharing a sector then by path
        for (auto run = order.begin(); run != order.end();) {
            const auto end = std::find_if(run, order.end(), [&](const auto& o) { return o.first != run->first; });
            if (end - run > 1) std::sort(run, end, before);
            run = end;
        }
    }
    listing.files.reserve(walked.size());
    constexpr std::size_t kAhead = 8;  // the walk's files are taken out of order: fetched a few ahead
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k + kAhead < order.size()) __builtin_prefetch(&walked[order[k + kAhead].second]);
        listing.files.push_back(std::move(walked[order[k].second]));
    }
    const std::uint64_t image_sectors = sectors_to_hold(image_size);
    listing.sectors_after_last_file = image_sectors > last_end ? image_sectors - last_end : 0;
    return listing;
}

} // namespace isorelink::host
