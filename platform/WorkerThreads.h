// Helper threads for work split by index, with a thread that never starts covered by its owner.
#pragma once

#include <functional>
#include <thread>
#include <vector>

namespace zelqor {

// Starts a thread that runs the procedure. A starter that throws (std::thread does when the
// system has no thread to give), or hands back a thread that is not joinable, has not started
// one and must not have run the procedure. Tests pass their own to make starts fail.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

std::thread StartStdThread(std::function<void()> procedure);

// The started workers of one fan-out. Whoever owns it decides how the share of a worker that
// never started gets done; the object only makes sure that no started thread outlives it.
class WorkerThreads {
  public:
    // An empty starter means std::thread.
    explicit WorkerThreads(ThreadStarter starter = StartStdThread);
    // Still running threads here mean the owner is leaving by an exception: the abandon hook
    // runs first so they can stop soon, then every one is joined, because they point into the
    // owner's stack.
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs worker(0) .. worker(count - 1), each on a thread of its own; call once.
    void Start(int count, std::function<void(int)> worker);
    bool Started(int index) const;
    int NotStarted() const;
    void SetOnAbandon(std::function<void()> stop) { onAbandon_ = std::move(stop); }
    void JoinAll();

  private:
    ThreadStarter starter_;
    std::function<void(int)> worker_;
    std::function<void()> onAbandon_;
    std::vector<std::thread> threads_;
    std::vector<bool> started_;
};

// worker(0) .. worker(count - 1), returning once all have ended: index 0 on the calling thread,
// the others on threads of their own. An index whose thread never started runs on the calling
// thread after index 0, so a worker must do the same work on any thread. The first exception
// of any worker reaches the caller after every thread has been joined. Returns how many threads
// never started.
int RunWorkers(int count,
               const std::function<void(int)>& worker,
               const ThreadStarter& starter = StartStdThread);

}  // namespace zelqor
