// extract and rebuild: thin wrappers over the jobs the module runs.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/image_path.h"
#include "extract/extraction_job.h"
#include "rebuild/rebuild_job.h"

namespace isorelink::cli {

namespace {
bool one_image_argument(Args args, const char* command) {
    if (args.size() == 1 && !args[0].starts_with("-")) return true;
    std::fprintf(stderr, "usage: isorelink %s PATH/IMAGE.ISO\n", command);
    return false;
}
} // namespace

int extract_command(Args args) {
    if (!one_image_argument(args, "extract")) return 2;
    const auto [folder, name] = split_image_path(args[0]);
    auto outcome = run_extraction(folder, name);
    if (!outcome) {
        std::fprintf(stderr, "%s\n", outcome.error().message.c_str());
        return 1;
    }
    const auto& s = *outcome;
    std::printf("%s image, %u files, data start sector %u\nwrote %s\nwrote %s\nwrote %s\n",
                std::string(to_string(s.kind)).c_str(), s.file_count, s.data_start_sector,
                s.names.sector_listing.c_str(), s.names.file_listing.c_str(), s.names.record_file.c_str());
    return 0;
}

int rebuild_command(Args args) {
    if (!one_image_argument(args, "rebuild")) return 2;
    const auto [folder, name] = split_image_path(args[0]);
    auto outcome = run_rebuild(folder, name);
    if (!outcome) {
        std::fprintf(stderr, "%s\n", outcome.error().message.c_str());
        return 1;
    }
    const auto& s = *outcome;
    std::printf("%s image, %u relink lines applied\npatched %s (%llu bytes)\n",
                std::string(to_string(s.kind)).c_str(), s.lines_applied, s.names.new_image.c_str(),
                static_cast<unsigned long long>(s.new_image_size));
    return 0;
}

} // namespace isorelink::cli
