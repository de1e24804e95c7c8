#include "FrameModel.h"
#include "protocol/ResponseDecoder.h"

#include <gtest/gtest.h>

namespace velmar::framesim {
namespace {

// Labels, gains and level detectors per channel, as the channel dialogs read
// and write them on a 1536-channel 460.
class ChannelState : public ::testing::Test {
protected:
    CFrameModel model{*presetProfile("460")};

    Outcome send(const std::string& line) {
        DeviceMessage m;
        CResponseDecoder requestDecoder;
        const std::string withEnd = line + "\r";
        EXPECT_TRUE(requestDecoder.decode(withEnd, m, CResponseDecoder::Column::Request).delivered)
            << line;
        return model.handle(m);
    }
    std::string ask(const std::string& line) {
        const Outcome o = send(line);
        EXPECT_EQ(o.replies.size(), 1u) << line;
        return o.replies.empty() ? std::string() : o.replies.front();
    }
};

TEST_F(ChannelState, LabelBlocksAnswerFromState) {
    EXPECT_EQ(ask("&slabel,1,1536,'DESTINATION-1536'"), ":slabel,0,1,1536,'DESTINATION-1536'\r");
    EXPECT_EQ(model.label(1, 1536), "DESTINATION-1536");
    EXPECT_EQ(model.label(0, 1536), "") << "the input label is its own";

    const std::string block = ask("?llabel,1,1505,32");
    CResponseDecoder decoder;
    DeviceMessage m;
    ASSERT_TRUE(decoder.decode(block, m).delivered);
    ASSERT_EQ(m.command, CommandId::llabel);
    EXPECT_EQ(m.i(3), 32);
    EXPECT_EQ(decoder.labelList()[31].channel, 1536);
    EXPECT_EQ(decoder.labelList()[31].view(), "DESTINATION-1536");
    EXPECT_EQ(decoder.labelList()[30].view(), "");
}

TEST_F(ChannelState, GainPhaseAndMuteAreKeptPerSide) {
    send("&sgain,1,7,-3.05,1,0");
    send("&sgain,0,7,0.00,0,1");
    EXPECT_EQ(ask("?ggain,1,7"), ":ggain,0,1,7,-3.05,1,0\r");
    EXPECT_EQ(ask("?ggain,0,7"), ":ggain,0,0,7,0.00,0,1\r");
    const Outcome all = send("?lgain,1,1,1536");
    ASSERT_EQ(all.replies.size(), 1537u);
    EXPECT_EQ(all.replies[7], ":ggain,0,1,7,-3.05,1,0\r");
}

TEST_F(ChannelState, LevelDetectorThresholdsStatesAndLists) {
    send("&slevdetthres,0,520,-20.00,10,-6.50,500");
    send("&slevdetstate,0,520,1");
    EXPECT_EQ(ask("?glevdetthres,0,520"), ":glevdetthres,0,0,520,-20.00,10,-6.50,500\r");
    const std::string states = ask("?llevdetstate,0,513,128");
    CResponseDecoder decoder;
    DeviceMessage m;
    ASSERT_TRUE(decoder.decode(states, m).delivered);
    EXPECT_EQ(decoder.levelDetectorList()[7], 1);
    EXPECT_EQ(decoder.levelDetectorList()[6], 0);
    EXPECT_EQ(ask("?glevdetstate,1,520"), ":glevdetstate,0,1,520,0\r");
}

TEST_F(ChannelState, RefusedLabelsKeepTheOldOne) {
    send("&slabel,0,3,'Kick'");
    model.faults().refused[CommandId::slabel] = CFrameModel::kStatusNotInThisMode;
    EXPECT_EQ(ask("&slabel,0,3,'Snare'").substr(0, 10), ":slabel,2,");
    EXPECT_EQ(model.label(0, 3), "Kick");
}

} // namespace
} // namespace velmar::framesim
