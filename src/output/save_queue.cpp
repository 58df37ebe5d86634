// The save queue and its single worker. The GUI thread appends; the worker
// takes jobs in order, writes them with the lock released, and empties the
// queue under the same hold as its last length check, so no job is skipped.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "output/output.h"

std::vector<std::unique_ptr<SaveJob>> saveQueue;
std::mutex saveQueueLock;
std::atomic<bool> running{false};

namespace {

// Signalled after every job the worker has written; waitForAllSaves sleeps on it.
std::condition_variable saveWritten;
// Signalled by promoteSave; the worker sleeps on it between passes.
std::condition_variable workerWake;
bool wakeRequested = false;

// The slot of the job being written, or none, and whether its file is to be
// deleted once written (its screenshot closed meanwhile). Lock held.
constexpr std::size_t noJob = std::numeric_limits<std::size_t>::max();
struct WorkerJob {
    std::size_t slot = noJob;
    bool abandoned = false;
};
WorkerJob writing;
// The writer of the pass in progress, for the express job.
SaveJobWriter passWriter = writeSaveJob;

// A job promoted while the worker writes another is written beside it by a
// thread of its own, so that whoever waits for it waits one encode, not the
// rest of another one too. At most one at a time; lock held.
struct ExpressSave {
    std::unique_ptr<SaveJob> job;
    bool abandoned = false;
    bool active = false; // until its thread has nothing left to do
};
ExpressSave express;

// Whether a job for `path` waits in the queue or is being written. Lock held.
bool pendingLocked(std::string_view path) {
    if (express.job && path == express.job->path.get())
        return true;
    for (const auto& job : saveQueue)
        if (job && path == job->path.get())
            return true;
    return false;
}

bool anyPendingLocked() {
    return express.active ||
           std::any_of(saveQueue.begin(), saveQueue.end(), [](const auto& job) { return job != nullptr; });
}

void writeExpressJob(SaveJobWriter write) {
    SaveJob* job = nullptr;
    {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        job = express.job.get();
    }
    write(*job);
    std::unique_ptr<SaveJob> done;
    bool abandoned = false;
    {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        done = std::move(express.job);
        abandoned = express.abandoned;
    }
    if (abandoned)
        std::remove(done->path.get());
    done.reset();
    // Under the lock: once it is let go this thread touches nothing shared,
    // so that the process may end as soon as a waiter hears it.
    std::lock_guard<std::mutex> hold(saveQueueLock);
    express.active = false;
    saveWritten.notify_all();
}

// Hands the queued job in `slot` to an express thread; false, with the job
// left in its slot, when one is running already or no thread can be made. Lock held.
bool startExpressLocked(std::size_t slot) {
    if (express.active)
        return false;
    express.job = std::move(saveQueue[slot]);
    express.abandoned = false;
    try {
        std::thread(writeExpressJob, passWriter).detach();
    } catch (const std::system_error&) {
        saveQueue[slot] = std::move(express.job);
        return false;
    }
    express.active = true;
    return true;
}

constexpr auto saveWorkerInterval = std::chrono::milliseconds(200);

std::unique_ptr<SaveJob> makeSaveJob(const char* path, const std::uint8_t* pixels, std::uint32_t width,
                                     std::uint32_t height, ImageFormat format) {
    const std::size_t pixelCount = std::size_t{width} * height;
    if (height != 0 && pixelCount / height != width)
        return nullptr;
    if (pixelCount > std::numeric_limits<std::size_t>::max() / 4)
        return nullptr;
    const std::size_t pixelBytes = pixelCount * 4;
    const std::size_t pathBytes = std::strlen(path) + 1;

    std::unique_ptr<SaveJob> job(new (std::nothrow) SaveJob);
    if (!job)
        return nullptr;
    job->path.reset(new (std::nothrow) char[pathBytes]);
    job->pixels.reset(new (std::nothrow) std::uint8_t[pixelBytes]);
    if (!job->path || !job->pixels)
        return nullptr;
    std::memcpy(job->path.get(), path, pathBytes);
    if (pixelBytes != 0)
        std::memcpy(job->pixels.get(), pixels, pixelBytes);
    job->width = width;
    job->height = height;
    job->format = format;
    job->bgra = true;
    return job;
}

} // namespace

namespace {

void enqueue(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
             ImageFormat format, std::function<void(bool written)> done, bool keepExisting) {
    std::unique_ptr<SaveJob> job;
    if (path && (pixels || width == 0 || height == 0))
        job = makeSaveJob(path, pixels, width, height, format);
    if (job)
        job->keepExisting = keepExisting;
    if (!job) {
        // Out of memory or nothing to save: dropped, and whoever waits hears so.
        if (done)
            done(false);
        return;
    }
    job->done = std::move(done);
    try {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        saveQueue.push_back(std::move(job));
    } catch (const std::bad_alloc&) {
        // The queue could not grow: the job is freed and the save dropped.
        if (job && job->done)
            job->done(false);
    }
}

} // namespace

void enqueueSave(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                 ImageFormat format, std::function<void(bool written)> done) {
    enqueue(path, pixels, width, height, format, std::move(done), false);
}

void enqueueSaveAsNewFile(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                          ImageFormat format, std::function<void(bool written)> done) {
    enqueue(path, pixels, width, height, format, std::move(done), true);
}

void writeSaveJob(const SaveJob& job) {
    bool written = false;
    try {
        // The job's pixels are its own and freed once it is written.
        written = saveImageConsuming(job.path.get(), job.pixels.get(), job.width, job.height, job.format, job.bgra,
                                     job.keepExisting ? ExistingTarget::keep : ExistingTarget::replace);
    } catch (const std::exception&) {
        // Memory ran out inside an encoder: this one file is not written.
    }
    if (job.done)
        job.done(written);
}

void runSavePass(SaveJobWriter write) {
    {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        passWriter = write;
    }
    for (std::size_t i = 0;; ++i) {
        SaveJob* job = nullptr;
        {
            std::lock_guard<std::mutex> hold(saveQueueLock);
            if (i >= saveQueue.size()) {
                saveQueue.clear();
                return;
            }
            // The job stays in its slot while it is written, so that it still
            // counts as pending for savePending and waitForAllSaves.
            job = saveQueue[i].get();
            if (!job)
                continue; // discarded
            writing.slot = i;
            writing.abandoned = false;
        }
        write(*job);
        std::unique_ptr<SaveJob> done;
        bool abandoned = false;
        {
            std::lock_guard<std::mutex> hold(saveQueueLock);
            done = std::move(saveQueue[i]);
            writing.slot = noJob;
            abandoned = writing.abandoned;
        }
        // Whoever abandoned it may have looked for the file before it was in
        // its place; from here on nobody else will.
        if (abandoned)
            std::remove(done->path.get());
        saveWritten.notify_all();
        // `done` goes here, outside the lock: pixels, then path, then the record.
    }
}

bool savePending(std::string_view path) {
    std::lock_guard<std::mutex> hold(saveQueueLock);
    return pendingLocked(path);
}

void abandonSave(std::string_view path) {
    std::vector<std::unique_ptr<SaveJob>> dropped;
    {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        if (express.job && path == express.job->path.get())
            express.abandoned = true;
        for (std::size_t i = 0; i < saveQueue.size(); ++i) {
            if (!saveQueue[i] || path != saveQueue[i]->path.get())
                continue;
            if (i == writing.slot)
                writing.abandoned = true;
            else
                dropped.push_back(std::move(saveQueue[i]));
        }
    }
    // Whoever waits for a dropped job hears that it was not written; outside
    // the lock, since the callback may queue or ask again.
    for (const std::unique_ptr<SaveJob>& job : dropped)
        if (job->done)
            job->done(false);
}

bool promoteSave(std::string_view path) {
    bool moved = false;
    {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        // Every slot before the first live one is written or dropped, so the
        // first live slot that is not being written is the next to be taken.
        if (express.job && path == express.job->path.get())
            return true;
        std::size_t front = noJob;
        for (std::size_t i = 0; i < saveQueue.size(); ++i) {
            if (!saveQueue[i])
                continue;
            if (path == saveQueue[i]->path.get()) {
                if (i == writing.slot)
                    return true;
                if (writing.slot != noJob && startExpressLocked(i))
                    return true;
                if (front == noJob)
                    front = i;
                const auto at = saveQueue.begin() + static_cast<std::ptrdiff_t>(i);
                std::rotate(saveQueue.begin() + static_cast<std::ptrdiff_t>(front), at, at + 1);
                wakeRequested = moved = true;
                break;
            }
            if (front == noJob && i != writing.slot)
                front = i;
        }
        if (!moved)
            return false;
    }
    workerWake.notify_all();
    return true;
}

bool anySavePending() {
    std::lock_guard<std::mutex> hold(saveQueueLock);
    return anyPendingLocked();
}

bool waitForAllSaves(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> hold(saveQueueLock);
    return saveWritten.wait_for(hold, timeout, [] { return !anyPendingLocked(); });
}

void saveWorker() {
    for (;;) {
        // Read the flag before the pass: everything queued before it was
        // cleared is written by this pass, even on the way out.
        const bool stopping = !running.load();
        runSavePass();
        if (stopping) {
            // The express thread is detached: nothing may end under it.
            std::unique_lock<std::mutex> hold(saveQueueLock);
            saveWritten.wait(hold, [] { return !express.active; });
            return;
        }
        {
            std::unique_lock<std::mutex> hold(saveQueueLock);
            workerWake.wait_for(hold, saveWorkerInterval, [] { return wakeRequested; });
            wakeRequested = false;
        }
        givePngMemoryBackIfIdle(std::chrono::steady_clock::now());
    }
}
