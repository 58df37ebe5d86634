// The one save worker thread, started at start-up and joined at the end, so
// that every queued save is written before the process ends.
#include <thread>

#include "output/output.h"

namespace {

// Never destroyed: exit() must not meet a joinable std::thread.
std::thread* saveWorkerThread = nullptr;

} // namespace

void startSaveWorker() {
    running = true;
    saveWorkerThread = new std::thread(saveWorker);
}

void stopSaveWorker() {
    running = false;
    if (saveWorkerThread && saveWorkerThread->joinable() && saveWorkerThread->get_id() != std::this_thread::get_id())
        saveWorkerThread->join();
}
