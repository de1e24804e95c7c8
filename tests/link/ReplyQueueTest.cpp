#include "link/CReplyQueue.h"

#include <gtest/gtest.h>
#include <thread>

namespace velmar {
namespace {

TEST(ReplyQueue, WakesOncePerBatchAndStaysBounded) {
    CReplyQueue queue;
    EXPECT_EQ(queue.push("a"), CReplyQueue::Push::First);
    EXPECT_EQ(queue.push("b"), CReplyQueue::Push::Queued) << "the taker is awake already";
    EXPECT_EQ(queue.drain(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(queue.push("c"), CReplyQueue::Push::First) << "an empty queue needs a new wake-up";
    queue.drain();

    // A flood nobody takes fills the queue to its bound; the rest is counted.
    for (std::size_t i = 0; i < CReplyQueue::kMaxQueued; ++i)
        ASSERT_NE(queue.push(std::to_string(i)), CReplyQueue::Push::Lost);
    EXPECT_EQ(queue.push("over"), CReplyQueue::Push::Lost);
    EXPECT_EQ(queue.push("over"), CReplyQueue::Push::Lost);
    EXPECT_EQ(queue.lost(), 2U);
    const std::vector<std::string> taken = queue.drain();
    ASSERT_EQ(taken.size(), CReplyQueue::kMaxQueued);
    EXPECT_EQ(taken.front(), "0");
    EXPECT_EQ(taken.back(), std::to_string(CReplyQueue::kMaxQueued - 1));
    EXPECT_EQ(queue.push("again"), CReplyQueue::Push::First) << "room again once drained";
    EXPECT_EQ(queue.lost(), 2U);
}

TEST(ReplyQueue, NothingIsLostBetweenTwoThreads) {
    CReplyQueue queue;
    constexpr int kCount = 5000;
    std::thread worker([&queue] {
        for (int i = 0; i < kCount; ++i)
            queue.push(std::to_string(i));
    });
    std::vector<std::string> taken;
    while (taken.size() < static_cast<std::size_t>(kCount)) {
        for (std::string& text : queue.drain())
            taken.push_back(std::move(text));
        std::this_thread::yield();
    }
    worker.join();
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(taken[static_cast<std::size_t>(i)], std::to_string(i)) << "in order";
    EXPECT_EQ(queue.lost(), 0U);
}

} // namespace
} // namespace velmar
