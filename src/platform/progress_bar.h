#pragma once
// A one-line progress bar on stderr for long copies. It draws only when
// stderr is a terminal and the work is large enough to be worth watching.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace isorelink::host {

class ProgressBar {
public:
    ProgressBar(std::string label, std::uint64_t total, bool quiet);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::uint64_t done);
    void finish();

private:
    void draw(std::uint64_t done);

    std::string label_;
    std::uint64_t total_;
    bool active_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_{};
};

// "copying [########........] 20% 200/1000 MiB": the bar, the percentage and the
// MiB count of `done` bytes out of `total`.
std::string progress_line(std::string_view label, std::uint64_t done, std::uint64_t total);

// Work below this many bytes finishes before a bar would help.
inline constexpr std::uint64_t kProgressThreshold = 64u << 20;

} // namespace isorelink::host
