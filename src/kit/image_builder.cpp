// The kit's spine: check the recipe, plan every sector, write.
#include "kit/image_builder.h"

#include <filesystem>
#include <system_error>

#include "common/messages.h"
#include "format/sector.h"
#include "kit/image_sink.h"
#include "kit/image_writer.h"
#include "kit/layout_plan.h"
#include "platform/message_pump.h"

namespace isorelink::kit {

namespace {

Status check_recipe(const ImageRecipe& recipe) {
    if (recipe.kind != ImageKind::Ps2Cd && recipe.kind != ImageKind::Ps2Dvd && recipe.kind != ImageKind::PspUmd)
        return job_error(msg::kKit, "unknown image kind");
    if (recipe.volume_id.size() > 32) return job_error(msg::kKit, "volume identifier longer than 32 characters");
    for (char c : recipe.volume_id)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return job_error(msg::kKitVolumeId, recipe.volume_id);
    return ok_status();
}

Expected<Plan> plan_image(const ImageRecipe& recipe) {
    if (auto checked = check_recipe(recipe); !checked) return checked.error();
    auto plan = plan_tree(recipe);
    if (!plan) return plan;
    if (auto placed = plan_sectors(recipe, *plan); !placed) return placed.error();
    return plan;
}

} // namespace

Expected<BuiltImage> write_image(const ImageRecipe& recipe, const std::string& path) {
    auto plan = plan_image(recipe);
    if (!plan) return plan.error();
    auto sink = SparseFileSink::create(path);
    if (!sink) return job_error(msg::kKitCannotCreate, path);
    if (auto written = write_planned_image(recipe, *plan, *sink); !written) {
        sink.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);  // no half-written image is left behind
        return written.error();
    }
    return report_image(recipe, *plan);
}

Expected<BuiltImage> build_image(const ImageRecipe& recipe, std::vector<std::byte>& out) {
    const platform::PumpWhileRunning pumping;
    auto plan = plan_image(recipe);
    if (!plan) return plan.error();
    MemorySink sink(out, sector_offset(plan->sector_count));
    if (auto written = write_planned_image(recipe, *plan, sink); !written) return written.error();
    return report_image(recipe, *plan);
}

} // namespace isorelink::kit
