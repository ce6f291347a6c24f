#pragma once
// Writes a planned image into a sink, in ascending sector order.
#include "common/result.h"
#include "kit/image_sink.h"
#include "kit/layout_plan.h"

namespace isorelink::kit {

Status write_planned_image(const ImageRecipe& recipe, const Plan& plan, ImageSink& sink);

} // namespace isorelink::kit
