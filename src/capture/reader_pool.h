// Threads that each run one piece of work per round, handed over by one
// caller who goes on meanwhile and later waits for the round to end. The
// threads live from start to destruction, so whatever a thread sets up for
// its work (under Wine, a display connection and its buffers) is kept.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ReaderPool {
public:
    // `prepare(i)` runs once on thread i when it starts; `work(i)` once a round.
    ReaderPool(std::function<void(std::size_t)> prepare, std::function<bool(std::size_t)> work);
    ~ReaderPool(); // waits for a round under way, then joins every thread
    ReaderPool(const ReaderPool&) = delete;
    ReaderPool& operator=(const ReaderPool&) = delete;

    // Starts threads up to `count`; stops at the first the system refuses.
    void start(std::size_t count);
    std::size_t size();
    // Starts a round on every thread and returns at once. One caller only;
    // finish must follow before the next begin.
    void begin();
    // Waits for the round; true when every thread's work gave true.
    bool finish();

private:
    void serve(std::size_t index, std::uint64_t seen);

    std::function<void(std::size_t)> prepare_;
    std::function<bool(std::size_t)> work_;
    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> threads_;
    std::uint64_t round_ = 0;
    std::size_t pending_ = 0;
    bool failed_ = false;
    bool quitting_ = false;
};
