// The kit's spine: check the spec, plan every sector, write.
#include "imagekit/image_builder.h"

#include <filesystem>
#include <system_error>

#include "common/sector.h"
#include "imagekit/image_sink.h"
#include "imagekit/image_writer.h"
#include "imagekit/layout_plan.h"

namespace isorelink::kit {

namespace {

Status check_spec(const ImageSpec& spec) {
    if (spec.kind != ImageKind::Ps2Cd && spec.kind != ImageKind::Ps2Dvd && spec.kind != ImageKind::PspUmd)
        return JobError{"image kit: unknown image kind"};
    if (spec.volume_id.size() > 32) return JobError{"image kit: volume identifier longer than 32 characters"};
    for (char c : spec.volume_id)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return JobError{"image kit: volume identifier '" + spec.volume_id + "' is not made of d-characters"};
    return ok_status();
}

Expected<Plan> plan_image(const ImageSpec& spec) {
    if (auto checked = check_spec(spec); !checked) return checked.error();
    auto plan = plan_tree(spec);
    if (!plan) return plan;
    if (auto placed = plan_sectors(spec, *plan); !placed) return placed.error();
    return plan;
}

} // namespace

Expected<BuiltImage> write_image(const ImageSpec& spec, const std::string& path) {
    auto plan = plan_image(spec);
    if (!plan) return plan.error();
    auto sink = SparseFileSink::create(path);
    if (!sink) return JobError{"image kit: cannot create " + path};
    if (auto written = write_planned_image(spec, *plan, *sink); !written) {
        sink.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);  // no half-written image is left behind
        return written.error();
    }
    return report_image(spec, *plan);
}

Expected<BuiltImage> build_image(const ImageSpec& spec, std::vector<std::byte>& out) {
    auto plan = plan_image(spec);
    if (!plan) return plan.error();
    MemorySink sink(out, sector_offset(plan->sector_count));
    if (auto written = write_planned_image(spec, *plan, sink); !written) return written.error();
    return report_image(spec, *plan);
}

} // namespace isorelink::kit
