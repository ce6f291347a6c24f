#include "platform/progress_bar.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define ISORELINK_ISATTY _isatty
#define ISORELINK_FILENO _fileno
#else
#include <unistd.h>
#define ISORELINK_ISATTY isatty
#define ISORELINK_FILENO fileno
#endif

namespace isorelink::host {

ProgressBar::ProgressBar(std::string label, std::uint64_t total, bool quiet)
    : label_(std::move(label)), total_(total),
      active_(!quiet && total >= kProgressThreshold && ISORELINK_ISATTY(ISORELINK_FILENO(stderr))) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(std::uint64_t done) {
    if (!active_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    draw(done);
}

std::string progress_line(std::string_view label, std::uint64_t done, std::uint64_t total) {
    constexpr int kWidth = 40;
    done = std::min(done, total);
    // The bar, the percentage and the MiB count all say the same fraction, rounded down.
    const int filled = total == 0 ? kWidth : static_cast<int>(done * kWidth / total);
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    char line[160];
    std::snprintf(line, sizeof line, " [%s] %3d%% %llu/%llu MiB", bar, percent,
                  static_cast<unsigned long long>(done >> 20), static_cast<unsigned long long>(total >> 20));
    return std::string(label) + line;
}

void ProgressBar::draw(std::uint64_t done) {
    std::fprintf(stderr, "\r%s", progress_line(label_, done, total_).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (!active_) return;
    draw(total_);
    std::fputc('\n', stderr);
    active_ = false;
}

} // namespace isorelink::host
