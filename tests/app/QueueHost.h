// The window's thread for the thumbnail and the loupe without widgets: a queue of posted tasks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "LiveThumbnail.h"

namespace zelqor {

// Stands for the window's thread: what the thumbnail and the loupe post waits here until the test
// runs it.
class QueueHost : public ThumbnailHost {
  public:
    void PostToWindowThread(std::function<void()> task) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_one();
    }
    void ThumbnailChanged() override { ++changes; }
    // Waits for a task to be posted, then runs it unless told only to wait.
    void RunOne(bool run = true) {
        std::unique_lock<std::mutex> lock(mutex_);
        ASSERT_TRUE(
            posted_.wait_for(lock, std::chrono::seconds(20), [&] { return !tasks_.empty(); }));
        if (run) {
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
    }
    int changes = 0;

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace zelqor
