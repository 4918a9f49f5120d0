#include "base/batch_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace bkf {
namespace {

using Queue = BatchQueue<std::vector<int>, int, std::string>;

TEST(BatchQueue, BatchesInOrderLatestProgressAndTheOutcomeLast) {
    Queue q;
    q.push({1, 2});
    q.progress(10);
    q.push({3});
    q.progress(20);
    q.finish("done");
    EXPECT_EQ(q.takeOutcome(), std::nullopt) << "not before the batches it follows";
    EXPECT_EQ(q.takeProgress(), 20) << "only the latest";
    EXPECT_EQ(q.takeProgress(), std::nullopt);
    std::vector<int> seen;
    // A deadline already past still applies one batch.
    EXPECT_EQ(q.drainUntil(std::chrono::steady_clock::time_point::min(),
                           [&](const std::vector<int>& b) { seen.insert(seen.end(), b.begin(), b.end()); }),
              1u);
    EXPECT_EQ(q.takeOutcome(), std::nullopt);
    EXPECT_EQ(q.drainUntil(std::chrono::steady_clock::time_point::max(),
                           [&](const std::vector<int>& b) { seen.insert(seen.end(), b.begin(), b.end()); }),
              1u);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(q.takeOutcome(), "done");
    EXPECT_EQ(q.takeOutcome(), std::nullopt) << "handed over once";
}

TEST(BatchQueue, ABoundedQueueHoldsTheWorkerBackAndCloseReleasesIt) {
    Queue q(2);
    std::atomic<int> pushed{0};
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) {
            q.push({i});
            ++pushed;
        }
        q.finish("end");
    });
    while (pushed < 2) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(pushed, 2) << "the third batch waits for room";
    ASSERT_TRUE(q.waitForWork(std::chrono::milliseconds(10)));
    EXPECT_EQ(q.pop(), (std::vector<int>{0}));
    q.close();  // the owner stops listening: the worker goes on to its end
    worker.join();
    EXPECT_EQ(pushed, 5);
    EXPECT_EQ(q.pop(), std::nullopt) << "what came after the close is dropped";
    EXPECT_EQ(q.takeOutcome(), "end");
}

}  // namespace
}  // namespace bkf
