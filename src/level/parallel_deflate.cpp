#include "level/parallel_deflate.h"

#include <sched.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "level/zlibwrap.h"

namespace {

constexpr size_t kDictionary = TParallelDeflate::DICTIONARY_SIZE;

// What deflate itself writes first for level 9 and the default window.
constexpr uint8_t kZlibHeader[2] = {0x78, 0xDA};

// Blocks handed out but not yet written, per thread: enough for a slow
// block to be overtaken by the ones after it without idling the others.
constexpr size_t kBlocksAheadPerThread = 4;

struct TBlock {
    uint8_t* input = nullptr;  // kDictionary bytes of room for the dictionary, then the content
    size_t dictionary = 0;     // bytes of dictionary right before the content
    size_t length = 0;         // bytes of content
    bool last = false;
    bool done = false;  // guarded by the state's mutex while workers run
    std::vector<uint8_t> output;
    uLong adler = 1;  // of the content alone
    std::exception_ptr error;

    const uint8_t* Content() const { return input + kDictionary; }
};

// A raw deflate stream at level 9 with zlib's default window and memory
// settings, used again for block after block.
class TDeflater {
public:
    TDeflater()
    {
        if (deflateInit2(&z_, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw ECompressionError("error");
    }
    ~TDeflater() { deflateEnd(&z_); }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    void Deflate(TBlock& b)
    {
        if (deflateReset(&z_) != Z_OK) throw ECompressionError("error");
        if (b.dictionary > 0 &&
            deflateSetDictionary(&z_, b.Content() - b.dictionary, static_cast<uInt>(b.dictionary)) != Z_OK)
            throw ECompressionError("error");
        z_.next_in = const_cast<Bytef*>(b.Content());
        z_.avail_in = static_cast<uInt>(b.length);
        // Most content packs well; start small and grow when it does not.
        b.output.resize(std::min<size_t>(deflateBound(&z_, b.length), b.length / 4 + 4096) + 16);
        const int flush = b.last ? Z_FINISH : Z_SYNC_FLUSH;
        size_t produced = 0;
        for (;;) {
            z_.next_out = b.output.data() + produced;
            z_.avail_out = static_cast<uInt>(b.output.size() - produced);
            const int r = deflate(&z_, flush);
            produced = b.output.size() - z_.avail_out;
            if (r == Z_STREAM_ERROR) throw ECompressionError("error");
            // A sync flush is complete once deflate stops short of the end of the output.
            if (b.last ? r == Z_STREAM_END : z_.avail_in == 0 && z_.avail_out != 0) break;
            if (z_.avail_out != 0) throw ECompressionError("error");
            b.output.resize(b.output.size() * 2);
        }
        b.output.resize(produced);
        b.adler = adler32(adler32(0, Z_NULL, 0), b.Content(), static_cast<uInt>(b.length));
    }

private:
    z_stream z_{};
};

}  // namespace

struct TParallelDeflate::TState {
    TSink sink;
    int threads = 1;
    size_t blockSize = DEFAULT_BLOCK_SIZE;

    // Producer side (the caller's thread).
    std::vector<std::unique_ptr<uint8_t[]>> inputs;  // every input buffer made
    TBlock* filling = nullptr;
    std::deque<std::unique_ptr<TBlock>> pending;  // handed out, not yet written; in order
    std::vector<uint8_t> history;                 // the last content, up to kDictionary bytes
    uint64_t totalIn = 0, totalOut = 0;
    uLong adler = 1;
    bool ended = false;                // finished, or failed: only destruction is left
    std::unique_ptr<TDeflater> local;  // for blocks deflated on the caller's thread

    // Shared with the workers.
    std::mutex mutex;
    std::condition_variable work, done;
    std::deque<TBlock*> queue;
    std::vector<uint8_t*> freeInputs;
    std::vector<std::thread> workers;
    int idle = 0;
    bool stop = false;

    void Worker()
    {
        std::unique_ptr<TDeflater> deflater;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            ++idle;
            work.wait(lock, [&] { return stop || !queue.empty(); });
            --idle;
            if (stop) return;
            TBlock* b = queue.front();
            queue.pop_front();
            lock.unlock();
            try {
                if (!deflater) deflater = std::make_unique<TDeflater>();
                deflater->Deflate(*b);
            } catch (...) {
                b->error = std::current_exception();
            }
            lock.lock();
            Finished(*b);
            done.notify_all();
        }
    }

    // Marks a deflated block finished and frees its input; the mutex is held.
    void Finished(TBlock& b)
    {
        b.done = true;
        freeInputs.push_back(b.input);
        b.input = nullptr;
    }

    void StopWorkers()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        work.notify_all();
        for (std::thread& t : workers) t.join();
        workers.clear();
    }

    void Emit(const uint8_t* data, size_t n)
    {
        sink(data, n);
        totalOut += n;
    }

    // Hands every finished block at the front to the sink, in order.
    void WriteFinished()
    {
        for (;;) {
            TBlock* b = nullptr;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (!pending.empty() && pending.front()->done) b = pending.front().get();
            }
            if (!b) return;
            if (b->error) std::rethrow_exception(b->error);
            // The header goes before the first block.
            if (totalOut == 0) Emit(kZlibHeader, sizeof kZlibHeader);
            Emit(b->output.data(), b->output.size());
            adler = adler32_combine(adler, b->adler, static_cast<z_off_t>(b->length));
            pending.pop_front();
        }
    }

    // Waits until the front block is finished.
    void WaitForFront()
    {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&] { return pending.front()->done; });
    }

    // A new block to fill, holding the content before it as its dictionary.
    void StartBlock()
    {
        uint8_t* input = nullptr;
        for (;;) {
            WriteFinished();
            const bool roomAhead = pending.size() < kBlocksAheadPerThread * size_t(threads);
            if (roomAhead) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!freeInputs.empty()) {
                    input = freeInputs.back();
                    freeInputs.pop_back();
                } else if (inputs.size() < size_t(threads) + 1) {
                    inputs.push_back(std::make_unique_for_overwrite<uint8_t[]>(kDictionary + blockSize));
                    input = inputs.back().get();
                }
            }
            if (input) break;
            // Until some block is finished: its input comes free, or the first
            // one can be written. (Waiting for the first alone would idle every
            // thread behind one that the system holds up.)
            std::unique_lock<std::mutex> lock(mutex);
            done.wait(lock, [&] { return (roomAhead && !freeInputs.empty()) || pending.front()->done; });
        }
        auto b = std::make_unique<TBlock>();
        b->input = input;
        b->dictionary = history.size();
        if (!history.empty()) std::memcpy(input + kDictionary - history.size(), history.data(), history.size());
        filling = b.get();
        pending.push_back(std::move(b));
    }

    // Hands the block being filled over for deflating.
    void SubmitBlock(bool last)
    {
        TBlock* b = filling;
        filling = nullptr;
        b->last = last;
        // The next block's dictionary: the last kDictionary bytes up to here,
        // which may reach back into this block's own dictionary.
        const size_t keep = std::min(kDictionary, b->dictionary + b->length);
        history.assign(b->Content() + b->length - keep, b->Content() + b->length);

        // Without other blocks in flight (one thread, or the whole content in
        // one block) the block is deflated here and now.
        if (threads == 1 || (last && pending.size() == 1)) {
            DeflateHere(*b);
            return;
        }
        bool spawn;
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(b);
            spawn = idle == 0 && workers.size() < size_t(threads);
        }
        if (spawn) {
            try {
                workers.emplace_back([this] { Worker(); });
            } catch (const std::system_error&) {
                // No more threads to be had: go on with those there are, or alone.
                if (workers.empty()) {
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        queue.pop_back();
                    }
                    threads = 1;
                    DeflateHere(*b);
                    return;
                }
                threads = static_cast<int>(workers.size());
            }
        }
        work.notify_one();
    }

    void DeflateHere(TBlock& b)
    {
        if (!local) local = std::make_unique<TDeflater>();
        local->Deflate(b);
        std::lock_guard<std::mutex> lock(mutex);
        Finished(b);
    }
};

TParallelDeflate::TParallelDeflate(TSink sink, int threads, size_t blockSize) : state_(std::make_unique<TState>())
{
    state_->sink = std::move(sink);
    state_->threads = threads > 0 ? threads : CoreCount();
    // Blocks must stay within what one deflate call takes.
    state_->blockSize = std::clamp<size_t>(blockSize, 1, size_t(1) << 30);
    state_->history.reserve(kDictionary);
}

TParallelDeflate::~TParallelDeflate() { state_->StopWorkers(); }

void TParallelDeflate::Write(const void* data, size_t n)
{
    TState& s = *state_;
    if (s.ended) throw std::logic_error("deflate stream already ended");
    try {
        auto* p = static_cast<const uint8_t*>(data);
        while (n > 0) {
            if (!s.filling) s.StartBlock();
            TBlock& b = *s.filling;
            // A full block is handed over only when more content comes, so
            // that the last block is never empty.
            if (b.length == s.blockSize) {
                s.SubmitBlock(false);
                continue;
            }
            const size_t part = std::min(n, s.blockSize - b.length);
            std::memcpy(b.input + kDictionary + b.length, p, part);
            b.length += part;
            s.totalIn += part;
            p += part;
            n -= part;
        }
    } catch (...) {
        s.ended = true;
        throw;
    }
}

void TParallelDeflate::Finish()
{
    TState& s = *state_;
    if (s.ended) throw std::logic_error("deflate stream already ended");
    s.ended = true;
    if (!s.filling) s.StartBlock();
    s.SubmitBlock(true);
    for (;;) {
        s.WriteFinished();
        if (s.pending.empty()) break;
        s.WaitForFront();
    }
    const uint8_t trailer[4] = {uint8_t(s.adler >> 24), uint8_t(s.adler >> 16), uint8_t(s.adler >> 8),
                                uint8_t(s.adler)};
    s.Emit(trailer, sizeof trailer);
    s.StopWorkers();
}

uint64_t TParallelDeflate::TotalIn() const { return state_->totalIn; }

uint64_t TParallelDeflate::TotalOut() const { return state_->totalOut; }

int TParallelDeflate::CoreCount()
{
    int n = static_cast<int>(std::thread::hardware_concurrency());
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int allowed = CPU_COUNT(&set);
        if (allowed > 0 && (n <= 0 || allowed < n)) n = allowed;
    }
    return std::max(n, 1);
}
