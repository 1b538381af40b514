// Starting, covering and joining the helper threads of a fan-out.
#include "WorkerThreads.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <utility>

namespace zelqor {

std::thread StartStdThread(std::function<void()> procedure) {
    return std::thread(std::move(procedure));
}

WorkerThreads::WorkerThreads(ThreadStarter starter)
    : starter_(starter ? std::move(starter) : StartStdThread) {}

WorkerThreads::~WorkerThreads() {
    for (const std::thread& t : threads_) {
        if (t.joinable()) {
            if (onAbandon_) {
                onAbandon_();
            }
            break;
        }
    }
    JoinAll();
}

void WorkerThreads::Start(int count, std::function<void(int)> worker) {
    worker_ = std::move(worker);
    // Sized before the first start, so that recording a started thread cannot fail.
    threads_.resize(static_cast<std::size_t>(std::max(count, 0)));
    started_.assign(threads_.size(), false);
    for (int i = 0; i < count; ++i) {
        try {
            std::thread t = starter_([this, i] { worker_(i); });
            if (t.joinable()) {
                threads_[i] = std::move(t);
                started_[i] = true;
            }
        } catch (...) {
            // Left to the owner: it knows whether to run the share itself or hand it round.
        }
    }
}

bool WorkerThreads::Started(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < started_.size() && started_[index];
}

int WorkerThreads::NotStarted() const {
    int missing = 0;
    for (const bool s : started_) {
        missing += s ? 0 : 1;
    }
    return missing;
}

void WorkerThreads::JoinAll() {
    for (std::thread& t : threads_) {
        if (t.joinable()) {
            t.join();
        }
    }
}

int RunWorkers(int count, const std::function<void(int)>& worker, const ThreadStarter& starter) {
    if (count < 1) {
        return 0;
    }
    std::mutex errorMutex;
    std::exception_ptr error;
    const auto keepFirstError = [&] {
        const std::lock_guard<std::mutex> lock(errorMutex);
        if (!error) {
            error = std::current_exception();
        }
    };
    int missing = 0;
    {
        WorkerThreads helpers(starter);
        helpers.Start(count - 1, [&](int i) {
            try {
                worker(i + 1);
            } catch (...) {
                // An exception leaving a thread would end the program.
                keepFirstError();
            }
        });
        try {
            worker(0);
            for (int i = 0; i < count - 1; ++i) {
                if (!helpers.Started(i)) {
                    worker(i + 1);
                }
            }
        } catch (...) {
            keepFirstError();
        }
        missing = helpers.NotStarted();
        helpers.JoinAll();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return missing;
}

}  // namespace zelqor
