// The reader pool: each round runs every thread's work once and ends only
// when the slowest is done, also for a round begun while threads still
// prepare; one failure fails the round and the next starts clean.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "capture/reader_pool.h"

namespace {

constexpr std::size_t threads = 4;

// Catches a round that ends before its slowest reader, a reader that runs
// twice or not at all, or a round lost because it began during preparation.
TEST(ReaderPool, EveryRoundRunsEachThreadOnceAndEndsWithTheSlowest) {
    std::atomic<bool> released{false};
    std::vector<std::atomic<int>> runs(threads);
    ReaderPool pool(
        [&](std::size_t) {
            while (!released)
                std::this_thread::yield();
        },
        [&](std::size_t index) {
            if (index == 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++runs[index];
            return true;
        });
    pool.start(threads);
    ASSERT_EQ(pool.size(), threads);
    pool.begin(); // while every thread still prepares
    released = true;
    ASSERT_TRUE(pool.finish());
    for (int round = 2; round <= 5; ++round) {
        pool.begin();
        ASSERT_TRUE(pool.finish());
        for (std::size_t i = 0; i < threads; ++i)
            ASSERT_EQ(runs[i], round) << "thread " << i;
    }
}

// Catches a failure that is lost, or one that sticks to the next round.
TEST(ReaderPool, OneFailedWorkFailsItsRoundOnly) {
    std::atomic<int> round{0};
    ReaderPool pool([](std::size_t) {}, [&](std::size_t index) { return !(round == 1 && index == 3); });
    pool.start(threads);
    for (round = 0; round < 3; ++round) {
        pool.begin();
        EXPECT_EQ(pool.finish(), round != 1) << "round " << round;
    }
}

} // namespace
