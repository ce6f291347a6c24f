// bench_tool image --kind ps2cd|ps2dvd --files N OUT.ISO
//   A kit image of N small files spread over about 100 folders (sparse data).
// bench_tool bigimage OUT.ISO MIB
//   A kit image (PS2 DVD) holding one large zero file of MIB MiB and a few
//   small files: the 1 GB image of the replace benchmark.
// bench_tool pump FOLDER/ IMAGE.ISO
//   Runs the extraction job in-process with a pump hook that counts calls and
//   the longest stretch of work between two calls.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "extract/extraction_job.h"
#include "imagekit/image_builder.h"
#include "platform/message_pump.h"

namespace {

using Clock = std::chrono::steady_clock;

int usage() {
    std::fprintf(stderr,
                 "usage: bench_tool image --kind ps2cd|ps2dvd|pspumd --files N OUT.ISO\n"
                 "       bench_tool bigimage OUT.ISO MIB\n"
                 "       bench_tool pump FOLDER/ IMAGE.ISO\n");
    return 2;
}

isorelink::ImageKind parse_kind(std::string_view s) {
    if (s == "ps2dvd") return isorelink::ImageKind::Ps2Dvd;
    if (s == "pspumd") return isorelink::ImageKind::PspUmd;
    return isorelink::ImageKind::Ps2Cd;
}

int make_image(isorelink::ImageKind kind, unsigned files, const std::string& out) {
    isorelink::kit::ImageSpec spec;
    spec.kind = kind;
    spec.files.reserve(files);
    const unsigned folders = 100;
    for (unsigned i = 0; i < files; ++i) {
        isorelink::kit::FileSpec f;
        char path[64];
        std::snprintf(path, sizeof path, "\\D%03u\\F%07u.BIN", i % folders, i);
        f.path = path;
        f.pattern = isorelink::kit::ContentPattern::Zero;
        f.size = 100 + (i % 7) * 300;
        spec.files.push_back(std::move(f));
    }
    auto built = isorelink::kit::write_image(spec, out);
    if (!built) {
        std::fprintf(stderr, "%s\n", built.error().message.c_str());
        return 1;
    }
    std::printf("%s: %u files, %u sectors\n", out.c_str(), files, built->sector_count);
    return 0;
}

int make_big_image(const std::string& out, unsigned mib) {
    isorelink::kit::ImageSpec spec;
    spec.kind = isorelink::ImageKind::Ps2Dvd;
    for (int i = 0; i < 8; ++i) {
        isorelink::kit::FileSpec f;
        f.path = "\\DATA\\SMALL" + std::to_string(i) + ".BIN";
        f.pattern = isorelink::kit::ContentPattern::Pattern;
        f.size = 5000;
        spec.files.push_back(std::move(f));
    }
    isorelink::kit::FileSpec big;
    big.path = "\\DATA\\MOVIE.PSS";
    big.pattern = isorelink::kit::ContentPattern::Zero;
    big.size = static_cast<std::uint64_t>(mib) << 20;
    spec.files.insert(spec.files.begin() + 4, std::move(big));
    auto built = isorelink::kit::write_image(spec, out);
    if (!built) {
        std::fprintf(stderr, "%s\n", built.error().message.c_str());
        return 1;
    }
    std::printf("%s: %u sectors\n", out.c_str(), built->sector_count);
    return 0;
}

struct PumpStats {
    unsigned long calls = 0;
    Clock::time_point last{};
    Clock::duration longest_gap{};
    Clock::duration in_pump{};
};

void count_pump(void* context) {
    auto& stats = *static_cast<PumpStats*>(context);
    const auto now = Clock::now();
    if (stats.calls > 0) stats.longest_gap = std::max(stats.longest_gap, now - stats.last);
    ++stats.calls;
    stats.last = Clock::now();
    stats.in_pump += stats.last - now;
}

int measure_pump(const std::string& folder, const std::string& image) {
    PumpStats stats;
    const unsigned rounds = 5;
    Clock::duration total{};
    for (unsigned i = 0; i < rounds; ++i) {
        stats.last = Clock::now();
        const auto start = Clock::now();
        const unsigned long calls_before = stats.calls;
        isorelink::platform::set_pump_hook(count_pump, &stats);
        auto outcome = isorelink::run_extraction(folder, image);
        isorelink::platform::set_pump_hook(nullptr, nullptr);
        const auto end = Clock::now();
        if (!outcome) {
            std::fprintf(stderr, "%s\n", outcome.error().message.c_str());
            return 1;
        }
        stats.longest_gap = std::max(stats.longest_gap, end - stats.last);
        total += end - start;
        (void)calls_before;
    }
    using ms = std::chrono::duration<double, std::milli>;
    const double total_ms = ms(total).count();
    // The platform pump's own work is the hook here; the rate limiter's cost
    // is measured by the job's time itself.
    std::printf("pump calls=%lu per_s=%.1f share=%.4f%% longest_gap_ms=%.2f job_ms=%.2f\n", stats.calls,
                stats.calls / (total_ms / 1000.0), 100.0 * ms(stats.in_pump).count() / total_ms,
                ms(stats.longest_gap).count(), total_ms / rounds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string_view command = argv[1];
    if (command == "image" && argc == 7 && std::strcmp(argv[2], "--kind") == 0 && std::strcmp(argv[4], "--files") == 0)
        return make_image(parse_kind(argv[3]), static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)), argv[6]);
    if (command == "bigimage" && argc == 4)
        return make_big_image(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
    if (command == "pump" && argc == 4) return measure_pump(argv[2], argv[3]);
    return usage();
}
