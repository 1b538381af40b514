// Thread starters for tests whose threads fail to start, as on a system out of threads.
#pragma once

#include <atomic>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "WorkerThreads.h"

namespace zelqor::test_threads {

struct StartFailures {
    const char* name;
    std::function<bool(int)> fails;  // by the start's number from 0
};

// None, start number `one` (a later one, while an earlier thread is already at work), and all.
inline std::vector<StartFailures> StartFailureCases(int one) {
    return {{"none fail", [](int) { return false; }},
            {"one fails", [one](int n) { return n == one; }},
            {"all fail", [](int) { return true; }}};
}

struct CountingStarter {
    explicit CountingStarter(std::function<bool(int)> f) : fails(std::move(f)) {}
    ThreadStarter Starter() {
        return [this](std::function<void()> procedure) {
            if (fails(calls.fetch_add(1))) {
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            return std::thread(std::move(procedure));
        };
    }
    std::function<bool(int)> fails;
    std::atomic<int> calls{0};
};

}  // namespace zelqor::test_threads
