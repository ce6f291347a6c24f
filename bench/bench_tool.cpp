// bench_tool image --kind ps2cd|ps2dvd|pspumd --files N OUT.ISO
//   A kit image of N small files spread over 100 folders (sparse data).
// bench_tool bigimage OUT.ISO MIB MOVIE_MIB
//   A PS2 DVD kit image of about MIB MiB of real (patterned, not sparse) data:
//   \DATA\MOVIE.PSS of MOVIE_MIB MiB and \DATA\TEXT.BIN of 1 MiB among filler
//   files of 64 MiB. The image of the replace and edit-test loop benchmarks.
// bench_tool cdimage OUT.ISO MIB FILES
//   A PS2 CD kit image of about MIB MiB of real (patterned) data in FILES
//   files of game-like sizes (a few hundred KiB to several MiB, over 10 folders),
//   \DATA\TEXT.BIN of 1 MiB among them. The image of the BIN/CUE replace
//   benchmark.
// bench_tool folderfloor FOLDER EVERY
//   The least a first replace --from must do with a folder, in milliseconds:
//   list every file under FOLDER, stat each and read every EVERY-th (the
//   changed ones), on two threads, comparing and writing nothing.
// bench_tool pump extract|rebuild FOLDER/ IMAGE.ISO
// bench_tool pump replace IMAGE.ISO ISO_PATH LOCAL_FILE
//   Runs the job in-process with a pump hook that counts calls and the longest
//   stretch of work between two calls (job start and end included), and
//   prices the rate-limited yield the loops call.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "extract/extraction_job.h"
#include "tools/replace_job.h"
#include "kit/image_builder.h"
#include "platform/message_pump.h"
#include "rebuild/rebuild_job.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

int usage() {
    std::fprintf(stderr,
                 "usage: bench_tool image --kind ps2cd|ps2dvd|pspumd --files N OUT.ISO\n"
                 "       bench_tool bigimage OUT.ISO MIB MOVIE_MIB\n"
                 "       bench_tool cdimage OUT.ISO MIB FILES\n"
                 "       bench_tool pump extract|rebuild FOLDER/ IMAGE.ISO\n"
                 "       bench_tool pump replace IMAGE.ISO ISO_PATH LOCAL_FILE\n");
    return 2;
}

isorelink::ImageKind parse_kind(std::string_view s) {
    if (s == "ps2dvd") return isorelink::ImageKind::Ps2Dvd;
    if (s == "pspumd") return isorelink::ImageKind::PspUmd;
    return isorelink::ImageKind::Ps2Cd;
}

int write_recipe(const isorelink::kit::ImageRecipe& recipe, const std::string& out) {
    auto built = isorelink::kit::write_image(recipe, out);
    if (!built) {
        std::fprintf(stderr, "%s\n", built.error().message.c_str());
        return 1;
    }
    std::printf("%s: %zu files, %u sectors\n", out.c_str(), recipe.files.size(), built->sector_count);
    return 0;
}

int make_image(isorelink::ImageKind kind, unsigned files, const std::string& out) {
    isorelink::kit::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.files.reserve(files);
    const unsigned folders = 100;
    for (unsigned i = 0; i < files; ++i) {
        isorelink::kit::FileRecipe f;
        char path[64];
        std::snprintf(path, sizeof path, "\\D%03u\\F%07u.BIN", i % folders, i);
        f.path = path;
        f.pattern = isorelink::kit::ContentPattern::Zero;
        f.size = 100 + (i % 7) * 300;
        recipe.files.push_back(std::move(f));
    }
    return write_recipe(recipe, out);
}

// A file of real (patterned, not sparse) data.
void add_patterned(isorelink::kit::ImageRecipe& recipe, std::string path, std::uint64_t size) {
    isorelink::kit::FileRecipe f;
    f.path = std::move(path);
    f.pattern = isorelink::kit::ContentPattern::Pattern;
    f.size = size;
    recipe.files.push_back(std::move(f));
}

int make_big_image(const std::string& out, unsigned mib, unsigned movie_mib) {
    isorelink::kit::ImageRecipe recipe;
    recipe.kind = isorelink::ImageKind::Ps2Dvd;
    const auto add = [&](std::string path, std::uint64_t size) { add_patterned(recipe, std::move(path), size); };
    for (int i = 0; i < 4; ++i) add("\\DATA\\SMALL" + std::to_string(i) + ".BIN", 5000);
    add("\\DATA\\TEXT.BIN", std::uint64_t{1} << 20);  // the file of the edit-test loop
    add("\\DATA\\MOVIE.PSS", std::uint64_t{movie_mib} << 20);
    for (unsigned left = mib > movie_mib ? mib - movie_mib : 0, i = 0; left > 0; ++i) {
        const unsigned part = std::min(left, 64u);
        add("\\FILL\\FILL" + std::to_string(i) + ".BIN", std::uint64_t{part} << 20);
        left -= part;
    }
    return write_recipe(recipe, out);
}

int make_cd_image(const std::string& out, unsigned mib, unsigned files) {
    isorelink::kit::ImageRecipe recipe;
    recipe.kind = isorelink::ImageKind::Ps2Cd;
    const auto add = [&](std::string path, std::uint64_t size) { add_patterned(recipe, std::move(path), size); };
    add("\\DATA\\TEXT.BIN", std::uint64_t{1} << 20);  // the file replaced
    if (files < 2 || mib < 2) return write_recipe(recipe, out);
    // Weights 1 to 25, spread by a stride, share out the rest of the size.
    const unsigned others = files - 1;
    std::uint64_t weights = 0;
    for (unsigned i = 0; i < others; ++i) weights += 1 + (i * 7u) % 25u * ((i * 7u) % 25u) / 24u;
    const std::uint64_t rest = (std::uint64_t{mib} - 1) << 20;
    for (unsigned i = 0; i < others; ++i) {
        const std::uint64_t weight = 1 + (i * 7u) % 25u * ((i * 7u) % 25u) / 24u;
        char path[64];
        std::snprintf(path, sizeof path, "\\F%02u\\FILE%04u.BIN", i % 10, i);
        add(path, rest * weight / weights - i % 2048);
    }
    return write_recipe(recipe, out);
}

struct PumpStats {
    unsigned long calls = 0;
    Clock::time_point last{};
    Clock::duration longest_gap{};
    Clock::duration in_hook{};
};

void count_pump(void* context) {
    const auto now = Clock::now();
    auto& stats = *static_cast<PumpStats*>(context);
    stats.longest_gap = std::max(stats.longest_gap, now - stats.last);
    ++stats.calls;
    stats.last = Clock::now();
    stats.in_hook += stats.last - now;
}

// What one tick costs inside a job when it does not reach the pump (nearly always).
double yield_cost_ns() {
    const isorelink::platform::PumpWhileRunning pumping;
    const unsigned long n = 20'000'000;
    const auto start = Clock::now();
    for (unsigned long i = 0; i < n; ++i) isorelink::progress::tick();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(n);
}

int measure_pump(const std::string& job, const std::function<bool()>& run) {
    namespace platform = isorelink::platform;
    PumpStats stats;
    const unsigned rounds = 5;
    Clock::duration total{};
    std::uint64_t yields = 0;
    std::uint64_t pumps = 0;
    if (!run()) return 1;  // warm
    for (unsigned i = 0; i < rounds; ++i) {
        const auto yields_before = platform::yield_call_count();
        const auto pumps_before = platform::pump_call_count();
        platform::set_pump_hook(count_pump, &stats);
        const auto start = Clock::now();
        stats.last = start;
        const bool ok = run();
        const auto end = Clock::now();
        platform::set_pump_hook(nullptr, nullptr);
        if (!ok) return 1;
        stats.longest_gap = std::max(stats.longest_gap, end - stats.last);
        total += end - start;
        yields += platform::yield_call_count() - yields_before;
        pumps += platform::pump_call_count() - pumps_before;
    }
    const double total_ms = Ms(total).count();
    const double yield_ns = yield_cost_ns();
    // The pump's cost: every yield the loops made, priced as measured on its
    // own, plus the time spent inside the pump (here the counting hook; a
    // Windows host's PeekMessage of an empty queue costs about as little).
    const double cost_ms = static_cast<double>(yields) * yield_ns / 1e6 + Ms(stats.in_hook).count();
    std::printf("%s job_ms=%.1f pump_calls_per_job=%.1f pump_calls_per_s=%.1f yields_per_job=%.0f yield_ns=%.2f "
                "share_pct=%.3f longest_gap_ms=%.2f\n",
                job.c_str(), total_ms / rounds, static_cast<double>(pumps) / rounds,
                static_cast<double>(pumps) / (total_ms / 1000.0), static_cast<double>(yields) / rounds, yield_ns,
                100.0 * cost_ms / total_ms, Ms(stats.longest_gap).count());
    return 0;
}

template <typename Outcome>
bool report(const Outcome& outcome) {
    if (!outcome) std::fprintf(stderr, "%s\n", outcome.error().message.c_str());
    return static_cast<bool>(outcome);
}

int pump_command(int argc, char** argv) {
    const std::string_view job = argv[2];
    if ((job == "extract" || job == "rebuild") && argc == 5) {
        const std::string folder = argv[3];
        const std::string image = argv[4];
        if (job == "extract")
            return measure_pump("extract", [&] { return report(isorelink::run_extraction(folder, image)); });
        return measure_pump("rebuild", [&] { return report(isorelink::run_rebuild(folder, image)); });
    }
    if (job == "replace" && argc == 6) {
        const std::string image = argv[3];
        const std::vector<isorelink::host::ReplaceRequest> requests{{argv[4], argv[5]}};
        // Every round but the first finds the previous round's new image: the
        // job empties it itself, as it does when a user runs replace again.
        return measure_pump("replace", [&] { return report(isorelink::host::run_replace(image, requests, true)); });
    }
    return usage();
}

void list_files(const std::string& folder, std::vector<std::string>& paths) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string path = folder + "/" + entry->d_name;
        if (entry->d_type == DT_DIR) list_files(path, paths);
        else paths.push_back(path);
    }
    closedir(dir);
}

int folder_floor(const std::string& folder, unsigned every) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> paths;
    list_files(folder, paths);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        std::vector<char> buffer(1 << 16);
        for (std::size_t i; (i = next++) < paths.size();) {
            struct stat st {};
            if (::stat(paths[i].c_str(), &st) != 0 || every == 0 || i % every != 0) continue;
            const int fd = ::open(paths[i].c_str(), O_RDONLY);
            if (fd < 0) continue;
            while (::read(fd, buffer.data(), buffer.size()) > 0) {
            }
            ::close(fd);
        }
    };
    std::thread other(work);
    work();
    other.join();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%.1f\n", took.count());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string_view command = argv[1];
    if (command == "image" && argc == 7 && std::strcmp(argv[2], "--kind") == 0 && std::strcmp(argv[4], "--files") == 0)
        return make_image(parse_kind(argv[3]), static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)), argv[6]);
    if (command == "bigimage" && argc == 5)
        return make_big_image(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)),
                              static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
    if (command == "cdimage" && argc == 5)
        return make_cd_image(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)),
                             static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
    if (command == "pump" && argc >= 5) return pump_command(argc, argv);
    if (command == "folderfloor" && argc == 4)
        return folder_floor(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
    return usage();
}
