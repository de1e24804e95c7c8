// The control panel unit's state and the input status announcements.
#include "FrameModel.h"
#include "SimulatedFrame.h"
#include "TestClient.h"
#include "protocol/ResponseDecoder.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace velmar::framesim {
namespace {

using test::CTestClient;
using test::request;

std::string ask(CFrameModel& model, const std::string& line) {
    DeviceMessage m;
    CResponseDecoder decoder;
    const DecodeResult r = decoder.decode(line + "\r", m, CResponseDecoder::Column::Request);
    EXPECT_TRUE(r.delivered) << line;
    const Outcome o = model.handle(m);
    EXPECT_EQ(o.replies.size(), 1U) << line;
    std::string reply = o.replies.empty() ? std::string() : o.replies.front();
    if (!reply.empty() && reply.back() == '\r')
        reply.pop_back();
    return reply;
}

TEST(PanelUnitState, The450AnswersItsPanelFromState) {
    CFrameModel model(*presetProfile("450"));
    EXPECT_EQ(ask(model, "?gkeymode,6"), ":gkeymode,0,6,2,106");
    EXPECT_EQ(ask(model, "?gkeystate,6"), ":gkeystate,0,6,0");
    EXPECT_EQ(ask(model, "?gledstate,4"), ":gledstate,0,4,1");
    EXPECT_EQ(ask(model, "?gledstate,5"), ":gledstate,0,5,0");
    EXPECT_EQ(ask(model, "?gringledstate,8"), ":gringledstate,0,8,3");
    EXPECT_EQ(ask(model, "?gringledstate,32"), ":gringledstate,0,32,0");
    EXPECT_EQ(ask(model, "?grotcount"), ":grotcount,0,42");
    EXPECT_EQ(ask(model, "?gmaster"), ":gmaster,0,1");
    EXPECT_EQ(ask(model, "?gledint"), ":gledint,0,2");
    EXPECT_EQ(ask(model, "?gkeymode,13"), ":gkeymode,1,13,0,0");
    EXPECT_EQ(ask(model, "?gringledstate,33"), ":gringledstate,1,33,0");
}

TEST(PanelUnitState, SetsChangeTheStateWithinTheirRanges) {
    CFrameModel model(*presetProfile("450"));
    EXPECT_EQ(ask(model, "&skeymode,3,4,65535"), ":skeymode,0,3,4,65535");
    EXPECT_EQ(ask(model, "?gkeymode,3"), ":gkeymode,0,3,4,65535");
    EXPECT_EQ(ask(model, "&sledint,3"), ":sledint,0,3");
    EXPECT_EQ(ask(model, "?gledint"), ":gledint,0,3");
    EXPECT_EQ(ask(model, "&sringledstate,32,2"), ":sringledstate,0,32,2");
    EXPECT_EQ(ask(model, "?gringledstate,32"), ":gringledstate,0,32,2");
    EXPECT_EQ(ask(model, "&smaster,0"), ":smaster,0,0");
    EXPECT_EQ(ask(model, "?gmaster"), ":gmaster,0,0");

    for (const std::string refused :
         {"&skeymode,3,0,1", "&skeymode,3,5,1", "&skeymode,3,1,65536", "&sledint,0", "&sledint,4",
          "&sledstate,2,2", "&sringledstate,1,4", "&skeystate,13,1", "&smaster,2"}) {
        const std::string keyword = refused.substr(1, refused.find(',') - 1);
        EXPECT_EQ(ask(model, refused).rfind(":" + keyword + ",1,", 0), 0U) << refused;
    }
    EXPECT_EQ(ask(model, "?gkeymode,3"), ":gkeymode,0,3,4,65535") << "refusals change nothing";
}

TEST(PanelUnitState, ProfileKeys) {
    FrameProfile p = *presetProfile("460");
    std::string error;
    EXPECT_TRUE(applySetting(p, "panel.key.12", "3,7,9", error)) << error;
    EXPECT_TRUE(applySetting(p, "panel.led.11", "1", error)) << error;
    EXPECT_TRUE(applySetting(p, "panel.ring.32", "2", error)) << error;
    EXPECT_TRUE(applySetting(p, "panel.rotary", "-5", error)) << error;
    EXPECT_TRUE(applySetting(p, "panel.master", "0", error)) << error;
    EXPECT_TRUE(applySetting(p, "fault.announce-inputs", "250", error)) << error;
    EXPECT_FALSE(applySetting(p, "panel.key.13", "1,1,1", error));
    EXPECT_FALSE(applySetting(p, "panel.led.12", "1", error));
    EXPECT_FALSE(applySetting(p, "panel.led-intensity", "4", error));
    EXPECT_FALSE(applySetting(p, "fault.announce-inputs", "-1", error));
    EXPECT_EQ(p.faults.announceInputsMs, 250);
    CFrameModel model(p);
    EXPECT_EQ(ask(model, "?gkeymode,12"), ":gkeymode,0,12,3,7");
    EXPECT_EQ(ask(model, "?gkeystate,12"), ":gkeystate,0,12,9");
    EXPECT_EQ(ask(model, "?gledstate,11"), ":gledstate,0,11,1");
    EXPECT_EQ(ask(model, "?gringledstate,32"), ":gringledstate,0,32,2");
    EXPECT_EQ(ask(model, "?grotcount"), ":grotcount,0,-5");
    EXPECT_EQ(ask(model, "?gmaster"), ":gmaster,0,0");
}

TEST(InputAnnouncements, TakeEveryInputInTurnAndToggleIt) {
    CFrameModel model(*presetProfile("460"));
    std::vector<std::string> lines;
    for (int k = 0; k < 36; ++k)
        lines.push_back(model.announceInputChange());
    EXPECT_EQ(lines[0], "!gmaininpstatus,0,1,--A\r");
    EXPECT_EQ(lines[13], "!gmaininpstatus,0,14,--A\r");
    EXPECT_EQ(lines[14], "!gsdirxstat,0,1,1,1,2,2\r"); // slot 1: locked, HD SDI, 25 Hz
    EXPECT_EQ(lines[16], "!gadsigdet,0,2,1,1\r");
    EXPECT_EQ(lines[24], "!gaesinpstatus,0,4,1,--A\r");
    EXPECT_EQ(lines[32], "!gcifstatus,0,5,1,--A\r");
    EXPECT_EQ(lines[34], "!gadsigdet,0,6,1,1\r");
    EXPECT_EQ(lines[35], "!gadsigdet,0,6,2,1\r");
    // The second round turns each back, and the state answers the same.
    EXPECT_EQ(model.announceInputChange(), "!gmaininpstatus,0,1,ESa\r");
    EXPECT_EQ(ask(model, "?gmaininpstatus,1"), ":gmaininpstatus,0,1,ESa");
    for (int k = 1; k < 14; ++k)
        model.announceInputChange();
    EXPECT_EQ(model.announceInputChange(), "!gsdirxstat,0,1,1,0,0,0\r");
    EXPECT_EQ(ask(model, "?gsdirxstat,1,1"), ":gsdirxstat,0,1,1,0,0,0");
}

TEST(InputAnnouncements, FramesWithoutCardsOrPhdSkipThem) {
    CFrameModel panel(*presetProfile("450"));
    for (int k = 0; k < 14; ++k)
        panel.announceInputChange();
    EXPECT_EQ(panel.announceInputChange(), "!gmaininpstatus,0,1,ESa\r") << "the 450 has no cards";

    FrameProfile noPhd = *presetProfile("460");
    noPhd.modules[kMainBoardModule].boardText = "460101A   230115";
    CFrameModel frame(noPhd);
    std::vector<std::string> lines;
    for (int k = 0; k < 9; ++k)
        lines.push_back(frame.announceInputChange());
    EXPECT_EQ(lines[8], "!gmaininpstatus,0,11,--A\r");
}

TEST(InputAnnouncements, OnDemandAndOnScheduleOverTheWire) {
    FrameProfile profile = *presetProfile("460");
    profile.aliveIntervalMs = 0;
    CSimulatedFrame frame(profile);
    ASSERT_TRUE(frame.start());
    CTestClient client;
    ASSERT_TRUE(client.connectTo(frame.address().toString(), frame.commandPort()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.clientCount() > 0; }, test::kWaitMs));

    frame.announceInputChange();
    ASSERT_TRUE(client.waitLines(1));
    EXPECT_EQ(client.lines()[0].text, "!gmaininpstatus,0,1,--A");

    frame.setInputAnnouncements(10);
    ASSERT_TRUE(client.waitLines(3));
    EXPECT_EQ(client.lines()[2].text, "!gmaininpstatus,0,3,--A");
    frame.setInputAnnouncements(0);
    EXPECT_EQ(frame.faults().announceInputsMs, 0);
}

} // namespace
} // namespace velmar::framesim
