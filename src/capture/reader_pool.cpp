// The reader pool; see reader_pool.h.
#include "capture/reader_pool.h"

#include <system_error>
#include <utility>

ReaderPool::ReaderPool(std::function<void(std::size_t)> prepare, std::function<bool(std::size_t)> work)
    : prepare_(std::move(prepare)), work_(std::move(work)) {}

ReaderPool::~ReaderPool() {
    {
        std::unique_lock<std::mutex> hold(lock_);
        done_.wait(hold, [&] { return pending_ == 0; });
        quitting_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void ReaderPool::start(std::size_t count) {
    const std::lock_guard<std::mutex> hold(lock_);
    while (threads_.size() < count) {
        try {
            // A round begun while the thread prepares is still its to run.
            threads_.emplace_back(&ReaderPool::serve, this, threads_.size(), round_);
        } catch (const std::system_error&) {
            return;
        }
    }
}

std::size_t ReaderPool::size() {
    const std::lock_guard<std::mutex> hold(lock_);
    return threads_.size();
}

void ReaderPool::begin() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        failed_ = false;
        pending_ = threads_.size();
        ++round_;
    }
    wake_.notify_all();
}

bool ReaderPool::finish() {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [&] { return pending_ == 0; });
    return !failed_;
}

void ReaderPool::serve(std::size_t index, std::uint64_t seen) {
    prepare_(index);
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [&] { return quitting_ || round_ != seen; });
        if (quitting_)
            return;
        seen = round_;
        hold.unlock();
        const bool worked = work_(index);
        hold.lock();
        failed_ |= !worked;
        if (--pending_ == 0)
            done_.notify_all();
    }
}
