// watch shows channel numbers with their names and the card that carries them.

#include "protocol/JsonWriter.h"
#include "ctl/MessageText.h"
#include "engine/CodeTables.h"
#include "engine/DeviceState.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

class ChannelNoteTest : public ::testing::Test {
protected:
    ChannelNoteTest() {
        m_state.reset(true, 0x0A000114);
        m_state.settings.cards[1].cardType = kCardTypeAd;
        m_state.settings.cards[3].cardType = kCardTypeMadi;
    }
    DeviceMessage decoded(const std::string& line) {
        DeviceMessage m;
        EXPECT_TRUE(m_decoder.decode(line + "\r", m).delivered) << line;
        return m;
    }
    std::string json(const std::string& line, const DeviceState* state) {
        CJsonWriter out;
        writeMessageJson(out, decoded(line), m_decoder, state);
        return out.take();
    }
    DeviceState m_state;
    CResponseDecoder m_decoder;
};

TEST_F(ChannelNoteTest, CrosspointsAndChannelMessagesAreNamed) {
    const std::pair<std::string, std::string> rows[] = {
        {"!gcross,0,5,17", "output 5 = CARD1  05 (AD), input 17 = CARD1  17 (AD)"},
        {"!gcross,0,130,1025", "output 130 = CARD3  02 (MADI), input 1025 = CARD1  65 (AD)"},
        {"!gcross,0,200,513", "output 200 = CARD4  08, input 513 = AES  01"},
        {"!gcross,0,9,0", "output 9 = CARD1  09 (AD), input none"},
        {"!glabel,0,1,33,'Kick'", "output 33 = CARD1  33 (AD)"},
        {"!glevdetstate,0,0,600,1", "input 600 = MADI  08"},
        // Numbers that are no channel, a refusal, and messages without channels.
        {"!gcross,0,2000,5", "input 5 = CARD1  05 (AD)"},
        {"!gcross,1,5", ""},
        {"!gsyncstat,0,2,0", ""},
        {"!gpsustatus,0,1,1", ""},
    };
    for (const auto& [line, want] : rows)
        EXPECT_EQ(channelNote(decoded(line), &m_state), want) << line;
    // Without a frame's state there are no card kinds, only names.
    EXPECT_EQ(channelNote(decoded("!gcross,0,5,17"), nullptr),
              "output 5 = CARD1  05, input 17 = CARD1  17");
}

TEST_F(ChannelNoteTest, JsonCarriesTheNamesWhenTheStateIsGiven) {
    EXPECT_EQ(json("!gcross,0,5,513", &m_state),
              R"({"kind":"message","command":"gcross","status":0,"args":[5,513],)"
              R"("channels":[{"direction":"output","channel":5,"name":"CARD1  05","card":"AD"},)"
              R"({"direction":"input","channel":513,"name":"AES  01"}]})");
    EXPECT_EQ(json("!gcross,0,5,513", nullptr),
              R"({"kind":"message","command":"gcross","status":0,"args":[5,513]})");
    EXPECT_EQ(json("!gsyncstat,0,2,0", &m_state),
              R"({"kind":"message","command":"gsyncstat","status":0,"args":[2,0]})");
}

} // namespace
} // namespace velmar
