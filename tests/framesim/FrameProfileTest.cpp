#include "FrameProfile.h"

#include <gtest/gtest.h>

namespace velmar::framesim {
namespace {

TEST(FrameProfile, PresetsDescribeTheFramesTheyName) {
    const auto f460 = presetProfile("460");
    ASSERT_TRUE(f460);
    EXPECT_EQ(f460->family(), 0);
    EXPECT_EQ(f460->versionNumber(), 2010005);
    EXPECT_EQ(f460->crosspointCount(), 1536);
    EXPECT_TRUE(f460->modules[kSfpModule].present);
    EXPECT_TRUE(f460->modules[kIpModule].present);
    // SDI, AD, DA, AES, MADI, AD two-channel, EQ, none
    const int expected[] = {1, 2, 3, 4, 5, 6, 7, 0};
    for (int slot = 1; slot <= kSlotCount; ++slot)
        EXPECT_EQ(f460->cardType(slot), expected[slot - 1]) << "slot " << slot;

    EXPECT_EQ(presetProfile("461")->family(), 1);
    EXPECT_EQ(presetProfile("461")->crosspointCount(), 1024);
    EXPECT_EQ(presetProfile("465")->family(), 2);
    EXPECT_EQ(presetProfile("450")->family(), 6);
    EXPECT_EQ(presetProfile("recovery")->runMode, 0);
    EXPECT_EQ(presetProfile("recovery")->commandPort(), 23);
    EXPECT_EQ(presetProfile("hash")->runMode, 2);
    EXPECT_EQ(presetProfile("hash")->commandPort(), 23);
    EXPECT_EQ(f460->commandPort(), 10003);
    EXPECT_FALSE(presetProfile("999"));
    EXPECT_EQ(presetNames().size(), 6u);
}

TEST(FrameProfile, BoardTextsFollowTheBoardInformationLayout) {
    const auto p = presetProfile("460");
    const ModuleRecord& ad = p->modules[kFirstSlotModule + 1];
    ASSERT_EQ(ad.boardText.size(), 16u);
    EXPECT_EQ(ad.boardText.substr(0, 6), "460130");
    EXPECT_EQ(ad.boardText[8], ' '); // make letter: a Brix-type board
    ASSERT_EQ(ad.serialText.size(), 13u);
    EXPECT_EQ(ad.serialText.substr(0, 6), "460130");
}

TEST(FrameProfile, ParsesSettingsOnTopOfAPreset) {
    std::string error;
    const auto p = parseProfile("# a test frame\n"
                                "preset = 461\n"
                                "name = 'Studio B'\n"
                                "id = 42\n"
                                "bind = 127.0.0.9\n"
                                "module.16 = 1,'460250A   230115','4602502303099'\n"
                                "module.2.version = 2.0.0.1\n"
                                "fault.refuse = gcross:7\n"
                                "fault.close-after = 3\n"
                                "fault.silent-record = 12\n"
                                "fault.program-delay = 40\n",
                                error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->model, "461");
    EXPECT_EQ(p->name, "Studio B");
    EXPECT_EQ(p->id, 42);
    EXPECT_EQ(p->bindAddress, "127.0.0.9");
    EXPECT_EQ(p->cardType(8), 5);
    EXPECT_EQ(p->versionNumber(), 2000001);
    EXPECT_EQ(p->faults.refused.at(CommandId::gcross), 7);
    EXPECT_EQ(p->faults.closeAfterLines, 3);
    EXPECT_EQ(p->faults.silentProgramAtRecord, 12);
    EXPECT_EQ(p->faults.programReplyDelayMs, 40);
}

TEST(FrameProfile, IpRoutingKeys) {
    std::string error;
    const auto p = parseProfile("preset = 460\n"
                                "module.2.version = 2.1.0.2\n"
                                "ip-module.auto-routing = 1\n"
                                "ip-module.rx-port-first = 14530\n"
                                "ip-module.rx-port-last = 14540\n",
                                error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->versionNumber(), 2010002) << "offers manual IP routing";
    EXPECT_EQ(p->ipAutoRouting, 1);
    EXPECT_EQ(p->ipRxPortFirst, 14530);
    EXPECT_EQ(p->ipRxPortLast, 14540);
    EXPECT_FALSE(parseProfile("ip-module.rx-port-first = low\n", error));
}

TEST(FrameProfile, RejectsBadLinesWithTheirNumber) {
    std::string error;
    EXPECT_FALSE(parseProfile("name = A\nbogus = 1\n", error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(parseProfile("id = twelve\n", error));
    EXPECT_FALSE(parseProfile("name = A\npreset = 460\n", error)); // preset must come first
    EXPECT_FALSE(parseProfile("fault.refuse = nosuchcommand\n", error));
    EXPECT_FALSE(parseProfile("just words\n", error));
}

} // namespace
} // namespace velmar::framesim
