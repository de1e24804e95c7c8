#include "link/CLineReceiver.h"
#include "protocol/RequestEncoder.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

class Recorder : public CLineReceiver::IHandler {
public:
    bool isReceiving = true;
    int dataEvents = 0;
    std::vector<std::pair<DeviceMessage, bool>> messages;
    std::vector<std::string> sent;
    std::function<void()> onEachMessage;

    bool receiving() const override { return isReceiving; }
    void onDataReceived() override { ++dataEvents; }
    void onMessage(const DeviceMessage& m, bool isReply) override {
        messages.emplace_back(m, isReply);
        if (onEachMessage)
            onEachMessage();
    }
    void sendRaw(const DeviceMessage& m) override {
        std::array<char, kEncodeBufferSize> buffer{};
        sent.emplace_back(buffer.data(), encodeMessage(m, buffer));
    }
};

class LineReceiver : public ::testing::Test {
protected:
    void feed(const std::string& s) { rx.onReceived({s.data(), s.size()}); }
    Recorder handler;
    CLineReceiver rx{handler};
};

TEST_F(LineReceiver, TwoLinesInOneChunkInOrder) {
    feed(":gcross,0,5,17\r!gsyncstat,0,1,4\r");
    ASSERT_EQ(handler.messages.size(), 2U);
    EXPECT_EQ(handler.messages[0].first.command, CommandId::gcross);
    EXPECT_TRUE(handler.messages[0].second);
    EXPECT_EQ(handler.messages[1].first.command, CommandId::gsyncstat);
    EXPECT_FALSE(handler.messages[1].second) << "a frame's own message is no reply";
    EXPECT_EQ(handler.dataEvents, 1);
}

TEST_F(LineReceiver, SplitLineIsDispatchedOnceWhenComplete) {
    feed(":gcross,0,");
    EXPECT_TRUE(handler.messages.empty());
    EXPECT_EQ(rx.room(), 1024U - 10U);
    feed("5,17\r:gmas");
    ASSERT_EQ(handler.messages.size(), 1U);
    EXPECT_EQ(handler.messages[0].first.i(2), 17);
    feed("ter,0,1\r");
    ASSERT_EQ(handler.messages.size(), 2U);
    EXPECT_EQ(handler.messages[1].first.command, CommandId::gmaster);
    EXPECT_EQ(handler.dataEvents, 3);
}

TEST_F(LineReceiver, AnswersTheFramesAliveRequestWithItsTag) {
    feed("?aliverequest,*12\r");
    EXPECT_TRUE(handler.messages.empty());
    EXPECT_EQ(handler.sent, std::vector<std::string>{":aliverequest,0,*12\r"});
    feed("?aliverequest\r");
    EXPECT_EQ(handler.sent.back(), ":aliverequest,0\r");
}

TEST_F(LineReceiver, AliveAnswerCountsAsDataButIsNotDispatched) {
    feed(":aliverequest,0\r");
    EXPECT_TRUE(handler.messages.empty());
    EXPECT_TRUE(handler.sent.empty());
    EXPECT_EQ(handler.dataEvents, 1);
}

TEST_F(LineReceiver, NothingWhileNotReceiving) {
    handler.isReceiving = false;
    feed(":gcross,0,");
    handler.isReceiving = true;
    feed("5,17\r:gmaster,0,1\r");
    ASSERT_EQ(handler.messages.size(), 1U) << "the half line of the discarded read is gone";
    EXPECT_EQ(handler.messages[0].first.command, CommandId::gmaster);
    EXPECT_EQ(handler.dataEvents, 1);
}

TEST_F(LineReceiver, FullBufferWithoutLineEndIsDroppedAndTheLinkGoesOn) {
    const std::string junk = ":" + std::string(1100, 'x');
    std::size_t pos = 0;
    while (pos < junk.size()) {
        const std::size_t n = std::min(rx.room(), junk.size() - pos);
        rx.onReceived({junk.data() + pos, n});
        pos += n;
    }
    EXPECT_TRUE(handler.messages.empty());
    feed("\r:gmaster,0,1\r");
    ASSERT_EQ(handler.messages.size(), 1U);
    EXPECT_EQ(handler.messages[0].first.command, CommandId::gmaster);
}

TEST_F(LineReceiver, GarbageBetweenLinesIsSkipped) {
    feed("\x01\x02zz\n:gmaster,0,1\r\xff\xfe\r\n!gsyncstat,0,1,4\r");
    ASSERT_EQ(handler.messages.size(), 2U);
    EXPECT_EQ(handler.messages[1].first.command, CommandId::gsyncstat);
}

TEST_F(LineReceiver, ReadErrorLosesTheUnfinishedLine) {
    feed(":gcross,0,5");
    rx.onReceiveError();
    feed(",17\r:gmaster,0,1\r");
    ASSERT_EQ(handler.messages.size(), 1U);
    EXPECT_EQ(handler.messages[0].first.command, CommandId::gmaster);
}

TEST_F(LineReceiver, ClosingTheLinkWhileHandlingStopsTheLoop) {
    handler.onEachMessage = [this] { rx.reset(); };
    feed(":gmaster,0,1\r:gmaster,0,2\r:gcross,0,");
    ASSERT_EQ(handler.messages.size(), 1U);
    handler.onEachMessage = nullptr;
    feed(":gmaster,0,3\r");
    ASSERT_EQ(handler.messages.size(), 2U) << "nothing of the old link is carried over";
    EXPECT_EQ(handler.messages[1].first.i(1), 3);
}

} // namespace
} // namespace velmar
