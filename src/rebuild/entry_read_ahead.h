#pragma once
// The planning of a PS2 DVD relink list looks at each line's File Entry tag
// in turn. The entries lie a sector apart, so the tags are asked for 32 lines
// (64 KiB) before they are looked at, far enough for them to arrive in time.
// Other kinds have no entries to look at: nothing is asked for.
#include <cstddef>

#include "format/image_kind.h"
#include "format/sector.h"
#include "rebuild/patch_plan.h"
#include "rebuild/relink_list.h"

namespace isorelink {

class EntryReadAhead {
public:
    EntryReadAhead(const PatchPlan& plan, const RelinkLines& lines, ImageKind kind)
        : plan_(plan), lines_(lines), active_(kind == ImageKind::Ps2Dvd) {}

    // Call before line `index` is planned.
    void before(std::size_t index) const {
        if (!active_ || index + kLookAhead >= lines_.size()) return;
        plan_.prefetch(sector_offset(whole_sectors(lines_[index + kLookAhead].descriptor)), kTagBytes);
    }

private:
    static constexpr std::size_t kLookAhead = 32;
    static constexpr std::size_t kTagBytes = 16;

    const PatchPlan& plan_;
    const RelinkLines& lines_;
    bool active_;
};

} // namespace isorelink
