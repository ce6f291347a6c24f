#pragma once
// A hung job cannot be stopped from inside its own process: the watchdog names the case and exits failing.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "extract/extraction_job.h"
#include "rebuild/rebuild_job.h"
#include "support/fuzz_cases.h"
#include "support/test_support.h"

namespace isorelink::test {

inline std::string bounded(const std::string& what, const std::function<std::string()>& run_case) {
    std::packaged_task<std::string()> task(run_case);
    auto result = task.get_future();
    std::thread worker(std::move(task));
    if (result.wait_for(std::chrono::seconds(30)) == std::future_status::timeout) {
        std::fprintf(stderr, "HANG: %s did not end within 30 s\n", what.c_str());
        std::_Exit(3);
    }
    worker.join();
    return result.get();
}

inline std::string selector_name(const ::testing::TestParamInfo<std::uint8_t>& info) {
    static const char* const names[] = {"Ps2Dvd", "Ps2Cd", "PspUmd"};
    return names[info.param];
}

} // namespace isorelink::test
