#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "output/output.h"
#include "test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// The queue and flag are process-wide: every test leaves them as it found them.
class SaveQueue : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        saveQueue.clear();
        running = false;
    }
    void TearDown() override {
        running = false;
        if (worker_.joinable())
            worker_.join();
        std::lock_guard<std::mutex> hold(saveQueueLock);
        saveQueue.clear();
    }
    void startWorker() {
        running = true;
        worker_ = std::thread(saveWorker);
    }
    // Clears the flag as "Exit" does and waits for the worker to end.
    void stopWorker() {
        running = false;
        worker_.join();
    }
    std::size_t queued() {
        std::lock_guard<std::mutex> hold(saveQueueLock);
        return saveQueue.size();
    }

    TempDir dir_;
    std::thread worker_;
};

std::vector<std::string> written;

// Built by appending: gcc 12 warns falsely on "literal" + std::string here.
std::string numbered(const char* prefix, int i, const char* suffix = "") {
    std::string name(prefix);
    name += std::to_string(i);
    name += suffix;
    return name;
}

void recordJob(const SaveJob& job) { written.emplace_back(job.path.get()); }

// Queues one more job while the first is being written, as the GUI thread may.
void recordAndQueueDuringPass(const SaveJob& job) {
    recordJob(job);
    if (written.size() == 1) {
        const std::uint8_t pixel[4] = {1, 2, 3, 4};
        enqueueSave("late", pixel, 1, 1, 2);
    }
}

TEST_F(SaveQueue, AJobOwnsCopiesOfPathAndPixels) {
    std::string path = "C:/shots/a.png";
    std::vector<std::uint8_t> pixels = makeFPictureBgra(3, 2);
    const std::vector<std::uint8_t> original = pixels;
    enqueueSave(path.c_str(), pixels.data(), 3, 2, 0);
    path.assign("overwritten");
    std::fill(pixels.begin(), pixels.end(), 0);

    std::lock_guard<std::mutex> hold(saveQueueLock);
    ASSERT_EQ(saveQueue.size(), 1u);
    const SaveJob& job = *saveQueue.front();
    EXPECT_STREQ(job.path.get(), "C:/shots/a.png");
    EXPECT_TRUE(std::equal(original.begin(), original.end(), job.pixels.get()));
    EXPECT_EQ(job.width, 3u);
    EXPECT_EQ(job.height, 2u);
    EXPECT_EQ(job.format, 0);
    EXPECT_TRUE(job.bgra);
}

TEST_F(SaveQueue, APassWritesInQueueOrderIncludingJobsQueuedDuringIt) {
    const std::uint8_t pixel[4] = {};
    for (const char* name : {"first", "second", "third"})
        enqueueSave(name, pixel, 1, 1, 1);
    written.clear();
    runSavePass(recordAndQueueDuringPass);
    EXPECT_EQ(written, (std::vector<std::string>{"first", "second", "third", "late"}));
    EXPECT_EQ(queued(), 0u);

    written.clear();
    runSavePass(recordJob);
    EXPECT_TRUE(written.empty());
}

TEST_F(SaveQueue, AJobWithAMissingFolderDoesNotHoldUpTheNext) {
    const auto pixels = makeFPictureBgra(4, 4);
    startWorker();
    enqueueSave(dir_.file("no/such/folder/a.bmp").c_str(), pixels.data(), 4, 4, 0);
    enqueueSave(dir_.file("b.bmp").c_str(), pixels.data(), 4, 4, 0);
    stopWorker();
    EXPECT_TRUE(fs::exists(dir_.path() / "b.bmp"));
    EXPECT_FALSE(fs::exists(dir_.path() / "no"));
    EXPECT_EQ(queued(), 0u);
}

TEST_F(SaveQueue, NothingQueuedBeforeExitIsLost) {
    const auto pixels = makeFPictureBgra(64, 48);
    startWorker();
    // Queued right before "Exit": the worker is most likely asleep when the flag goes.
    for (int i = 0; i < 20; ++i)
        enqueueSave(dir_.file(numbered("exit", i, ".png")).c_str(), pixels.data(), 64, 48, 1);
    stopWorker();
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(fs::exists(dir_.path() / numbered("exit", i, ".png"))) << i;

    // Even with the flag already clear when the worker starts.
    enqueueSave(dir_.file("late.bmp").c_str(), pixels.data(), 64, 48, 2);
    worker_ = std::thread(saveWorker);
    worker_.join();
    EXPECT_TRUE(fs::exists(dir_.path() / "late.bmp"));
}

TEST_F(SaveQueue, ThousandsOfJobsFromOneThreadWhileTheWorkerWrites) {
    constexpr int jobs = 3000;
    startWorker();
    for (int i = 0; i < jobs; ++i) {
        // Each file's one pixel names its job, so a mixed-up copy shows.
        const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 7, 255};
        enqueueSave(dir_.file(numbered("j", i)).c_str(), pixel, 1, 1, 2);
        if (i % 500 == 0)
            std::this_thread::yield();
    }
    stopWorker();
    for (int i = 0; i < jobs; ++i) {
        const auto bytes = readFileBytes(dir_.path() / numbered("j", i, ".bmp"));
        ASSERT_EQ(bytes.size(), 58u) << i;
        ASSERT_EQ(bytes[54], static_cast<std::uint8_t>(i)) << i;
        ASSERT_EQ(bytes[55], static_cast<std::uint8_t>(i >> 8)) << i;
    }
    EXPECT_EQ(queued(), 0u);
}

TEST_F(SaveQueue, ImpossibleSizesAreDroppedWithoutAJob) {
    const std::uint8_t pixel[4] = {};
    enqueueSave("huge.bmp", pixel, 0xFFFFFFFFu, 0xFFFFFFFFu, 2);
    enqueueSave(nullptr, pixel, 1, 1, 2);
    EXPECT_EQ(queued(), 0u);
}

} // namespace

namespace {

bool pendingDuringOwnWrite = false;
void recordPending(const SaveJob& job) { pendingDuringOwnWrite = savePending(job.path.get()); }

TEST_F(SaveQueue, AJobCountsAsPendingUntilItIsWritten) {
    const std::uint8_t pixel[4] = {};
    enqueueSave("a.png", pixel, 1, 1, 1);
    EXPECT_TRUE(savePending("a.png"));
    EXPECT_FALSE(savePending("a.pn"));
    EXPECT_FALSE(savePending("b.png"));
    runSavePass(recordPending);
    EXPECT_TRUE(pendingDuringOwnWrite) << "a job being written is still pending";
    EXPECT_FALSE(savePending("a.png"));
}

// The end of a session waits on this before the process may be ended.
TEST_F(SaveQueue, WaitForAllSavesReturnsOnceTheFileIsWritten) {
    const auto pixels = makeFPictureBgra(8, 8);
    const std::string path = dir_.file("wait.bmp");
    EXPECT_TRUE(waitForAllSaves(std::chrono::milliseconds(0))) << "nothing queued: nothing to wait for";
    enqueueSave(path.c_str(), pixels.data(), 8, 8, 2);
    EXPECT_FALSE(waitForAllSaves(std::chrono::milliseconds(20))) << "no worker yet";
    startWorker();
    EXPECT_TRUE(waitForAllSaves(std::chrono::seconds(10)));
    EXPECT_EQ(readFileBytes(path).size(), 54u + 8 * 24);
}

// A window closed before the worker reached its cache file: that job goes,
// the others are written.
TEST_F(SaveQueue, AnAbandonedJobIsNeverWrittenAndTheOthersAre) {
    const std::uint8_t pixel[4] = {};
    enqueueSave("keep-1.png", pixel, 1, 1, 1);
    enqueueSave("gone.png", pixel, 1, 1, 1);
    enqueueSave("keep-2.png", pixel, 1, 1, 1);
    abandonSave("gone.png");
    EXPECT_FALSE(savePending("gone.png"));
    written.clear();
    runSavePass(recordJob);
    EXPECT_EQ(written, (std::vector<std::string>{"keep-1.png", "keep-2.png"}));
    EXPECT_EQ(queued(), 0u);
}

// Holds the first job it is given until writerMayFinish.
std::atomic<bool> writerInside{false}, writerMayFinish{false};
void slowRecordFirst(const SaveJob& job) {
    if (!writerInside.exchange(true)) {
        while (!writerMayFinish)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    recordJob(job);
}

// Catches a drag that waits for the whole queue, or for the rest of another
// write as well as its own: a job promoted while the worker is idle is taken
// first, one promoted during a write is written at once beside it, and the
// others keep their order.
TEST_F(SaveQueue, APromotedJobIsWrittenFirstAndBesideAWriteInProgress) {
    const std::uint8_t pixel[4] = {};
    for (const char* name : {"a", "b", "c", "d", "e"})
        enqueueSave(name, pixel, 1, 1, 1);
    written.clear();
    writerInside = writerMayFinish = false;
    EXPECT_TRUE(promoteSave("c"));
    std::thread pass([] { runSavePass(slowRecordFirst); });
    while (!writerInside)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(promoteSave("c")) << "being written: already first";
    EXPECT_TRUE(promoteSave("e"));
    EXPECT_FALSE(promoteSave("x")) << "nothing queued for it";
    // Bounded, so that a promoted job left behind the blocked write fails instead of hanging.
    for (int i = 0; i < 10000 && savePending("e"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(savePending("e")) << "the promoted job waited for the write in progress";
    EXPECT_TRUE(anySavePending());
    writerMayFinish = true;
    pass.join();
    EXPECT_TRUE(waitForAllSaves(std::chrono::seconds(10)));
    EXPECT_EQ(written, (std::vector<std::string>{"e", "c", "a", "b", "d"}));
}

} // namespace

namespace {

// What the worker told the code that queued each job, in order.
struct Outcomes {
    std::mutex lock;
    std::vector<bool> written;
    std::function<void(bool)> recorder() {
        return [this](bool ok) {
            std::lock_guard<std::mutex> hold(lock);
            written.push_back(ok);
        };
    }
};

TEST_F(SaveQueue, EachJobReportsWhetherItsFileWasWritten) {
    const auto pixels = makeFPictureBgra(4, 4);
    Outcomes outcomes;
    enqueueSave(dir_.file("a.png").c_str(), pixels.data(), 4, 4, 1, outcomes.recorder());
    enqueueSave(dir_.file("no/such/folder/b.png").c_str(), pixels.data(), 4, 4, 1, outcomes.recorder());
    enqueueSave(dir_.file("c").c_str(), pixels.data(), 4, 4, 3, outcomes.recorder()); // no format: nothing written
    enqueueSave(dir_.file("d.jpg").c_str(), pixels.data(), 4, 4, 0, outcomes.recorder());
    EXPECT_TRUE(outcomes.written.empty()) << "reported before the worker wrote anything";
    runSavePass();
    EXPECT_EQ(outcomes.written, (std::vector<bool>{true, false, false, true}));
    EXPECT_TRUE(fs::exists(dir_.path() / "a.png"));
    EXPECT_TRUE(fs::exists(dir_.path() / "d.jpg"));
}

// Catches a generated name that replaces a file another program saved under it after the name was picked.
TEST_F(SaveQueue, AMadeUpNameTakenMeanwhileGoesToTheNextCopyName) {
    const auto pixels = makeFPictureBgra(4, 4);
    Outcomes outcomes;
    enqueueSaveAsNewFile(dir_.file("s.png").c_str(), pixels.data(), 4, 4, 1, outcomes.recorder());
    enqueueSaveAsNewFile(dir_.file("s.png").c_str(), pixels.data(), 4, 4, 1, outcomes.recorder());
    enqueueSave(dir_.file("u.png").c_str(), pixels.data(), 4, 4, 1, outcomes.recorder());
    const std::vector<std::uint8_t> theirs = {'t', 'h', 'e', 'i', 'r', 's'};
    for (const char* name : {"s.png", "s (2).png", "u.png"})
        writeFileBytes(dir_.path() / name, theirs);
    runSavePass();
    EXPECT_EQ(outcomes.written, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(readFileBytes(dir_.path() / "s.png"), theirs);
    EXPECT_EQ(readFileBytes(dir_.path() / "s (2).png"), theirs);
    EXPECT_EQ(readFileBytes(dir_.path() / "s (3).png").at(1), 'P');
    EXPECT_EQ(readFileBytes(dir_.path() / "s (4).png").at(1), 'P');
    EXPECT_NE(readFileBytes(dir_.path() / "u.png"), theirs) << "a name the user chose is replaced";
    EXPECT_EQ(nextCopyName("C:/a.b/c"), "C:/a.b/c (2)");
    EXPECT_EQ(nextCopyName("x (9).png"), "x (10).png");
    EXPECT_EQ(nextCopyName("x (09).png"), "x (09) (2).png");
}

TEST_F(SaveQueue, AnAbandonedJobReportsThatItWasNotWritten) {
    const std::uint8_t pixel[4] = {};
    Outcomes outcomes;
    enqueueSave(dir_.file("dropped.png").c_str(), pixel, 1, 1, 1, outcomes.recorder());
    abandonSave(dir_.file("dropped.png"));
    EXPECT_EQ(outcomes.written, std::vector<bool>{false});
    runSavePass();
    EXPECT_EQ(outcomes.written, std::vector<bool>{false}) << "reported twice";
    EXPECT_FALSE(fs::exists(dir_.path() / "dropped.png"));
}

TEST_F(SaveQueue, AJobThatCannotBeQueuedReportsAtOnce) {
    const std::uint8_t pixel[4] = {};
    Outcomes outcomes;
    enqueueSave(nullptr, pixel, 1, 1, 1, outcomes.recorder());
    enqueueSave("huge.bmp", pixel, 0xFFFFFFFFu, 0xFFFFFFFFu, 2, outcomes.recorder());
    EXPECT_EQ(outcomes.written, (std::vector<bool>{false, false}));
    EXPECT_EQ(queued(), 0u);
}

} // namespace
