// The worker threads that share out the rasterizer's work.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TRenderThreads {
public:
    static TRenderThreads& Instance();

    // Total threads taking part, the caller included; 0 means one per core.
    void SetCount(int count);
    int Count() const { return count_; }

    // Runs body(i) for every i in [0, n), spread over the threads; returns
    // when all are done. Items are taken in no fixed order, so body must
    // not depend on which thread runs an item or when.
    void ParallelFor(int n, const std::function<void(int)>& body);

    ~TRenderThreads();

private:
    TRenderThreads();
    void Start(int workers);
    void Stop();
    void WorkerLoop();
    void Drain(std::unique_lock<std::mutex>& lock);

    int count_ = 1;
    std::vector<std::thread> workers_;
    std::mutex callMutex_;  // one ParallelFor at a time
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(int)>* body_ = nullptr;
    int items_ = 0;
    int next_ = 0;                          // next item to hand out (under mutex_)
    std::atomic<int> finished_ = 0;         // items completed (changed under mutex_)
    std::atomic<unsigned> generation_ = 0;  // one more for every ParallelFor (changed under mutex_)
    bool quit_ = false;
};
