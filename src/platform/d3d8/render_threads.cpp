#include "platform/d3d8/render_threads.h"

#include <emmintrin.h>

#include <algorithm>
#include <chrono>

TRenderThreads& TRenderThreads::Instance()
{
    static TRenderThreads pool;
    return pool;
}

TRenderThreads::TRenderThreads() { SetCount(0); }

TRenderThreads::~TRenderThreads() { Stop(); }

void TRenderThreads::SetCount(int count)
{
    std::lock_guard<std::mutex> caller(callMutex_);
    if (count <= 0) count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    count = std::min(count, 256);
    if (count == count_ && static_cast<int>(workers_.size()) == count - 1) return;
    Stop();
    count_ = count;
    Start(count - 1);
}

void TRenderThreads::Start(int workers)
{
    quit_ = false;
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

void TRenderThreads::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
}

void TRenderThreads::Drain(std::unique_lock<std::mutex>& lock)
{
    while (body_ && next_ < items_) {
        const int i = next_++;
        const auto* body = body_;
        lock.unlock();
        (*body)(i);
        lock.lock();
        if (++finished_ == items_) done_.notify_all();
    }
}

namespace {

// How long a thread that ran out of work keeps looking for more before it
// sleeps: a frame asks for work several times in quick succession, and
// waking a sleeping thread costs more than this.
constexpr auto kSpin = std::chrono::microseconds(100);

// Waits, without the lock, until `ready` holds or the spin time is over.
template <class TReady>
void SpinUntil(const TReady& ready)
{
    const auto end = std::chrono::steady_clock::now() + kSpin;
    for (int k = 0; !ready(); ++k) {
        _mm_pause();
        if (k % 64 == 63 && std::chrono::steady_clock::now() > end) return;
    }
}

}  // namespace

void TRenderThreads::WorkerLoop()
{
    unsigned seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!quit_ && generation_ == seen) {
            lock.unlock();
            SpinUntil([&] { return generation_.load(std::memory_order_relaxed) != seen; });
            lock.lock();
        }
        wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
        if (quit_) return;
        seen = generation_;
        Drain(lock);
    }
}

void TRenderThreads::ParallelFor(int n, const std::function<void(int)>& body)
{
    if (n <= 0) return;
    std::lock_guard<std::mutex> caller(callMutex_);
    if (workers_.empty() || n == 1) {
        for (int i = 0; i < n; ++i) body(i);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    body_ = &body;
    items_ = n;
    next_ = 0;
    finished_ = 0;
    ++generation_;
    wake_.notify_all();
    Drain(lock);
    if (finished_ != items_) {
        lock.unlock();
        SpinUntil([&] { return finished_.load(std::memory_order_relaxed) == n; });
        lock.lock();
    }
    done_.wait(lock, [&] { return finished_ == items_; });
    body_ = nullptr;
    items_ = 0;
}
