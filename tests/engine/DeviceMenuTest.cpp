#include "window/DeviceMenu.h"

#include "CrosspointFakes.h"
#include "engine/XyBurst.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::FrameState;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The menu as lines: "---" a separator, "~" in front of a disabled entry.
std::vector<std::string> lines(const std::vector<MenuItem>& menu) {
    std::vector<std::string> out;
    for (const MenuItem& item : menu)
        out.push_back(item.separator() ? "---"
                                       : (item.enabled ? "" : "~") + std::string(item.text));
    return out;
}

DeviceMenuInputs connectedTo(int runMode, int family, int version = 0) {
    DeviceMenuInputs in;
    in.row = MenuRow::Connected;
    in.connected = true;
    in.runMode = runMode;
    in.family = family;
    in.versionNumber = version;
    return in;
}

struct MenuRowCase {
    const char* name;
    DeviceMenuInputs in;
    std::vector<std::string> menu;
};

TEST(DeviceMenu, EntriesPerRowAndState) {
    DeviceMenuInputs offline;
    DeviceMenuInputs other;
    other.row = MenuRow::Other;
    other.connected = true;
    DeviceMenuInputs otherRemovable = other;
    otherRemovable.rowRemovable = true;
    DeviceMenuInputs noRowOnline = connectedTo(kRunModeApplication, kFamily461, 1040001);
    noRowOnline.row = MenuRow::None;
    DeviceMenuInputs unitService = connectedTo(kRunModeApplication, kFamily450);
    unitService.serviceMode = true;
    DeviceMenuInputs everything = connectedTo(kRunModeApplication, kFamily460, 2000302);
    everything.xyEnabled = true;
    everything.serviceMode = true;
    everything.ipModulePresent = true;
    DeviceMenuInputs newIp = connectedTo(kRunModeApplication, kFamily460, 2010003);
    newIp.ipModulePresent = true;
    DeviceMenuInputs labelsNoIp = connectedTo(kRunModeApplication, kFamily461, 1040002);

    const std::vector<MenuRowCase> rows = {
        {"empty part of the list while disconnected", offline, {"Refresh"}},
        {"another row", other, {"Connect", "---", "Change Network settings ..."}},
        {"another, hand-added row",
         otherRemovable,
         {"Connect", "---", "Remove from list", "---", "Change Network settings ..."}},
        {"recovery mode 460",
         connectedTo(kRunModeRecovery, kFamily460),
         {"Close", "---", "HW configuration ...", "Network settings ...", "---",
          "Firmware update ...", "Load application mode"}},
        {"'#' state of a 465",
         connectedTo(kRunModeHash, kFamily465),
         {"Close", "---", "Network settings ...", "---", "Firmware update ...",
          "Load recovery mode", "---", "Restart"}},
        {"450 in service mode",
         unitService,
         {"Close", "---", "Key settings ...", "---", "HW configuration ...", "ID settings ...",
          "Network settings ...", "---", "Firmware update ...", "Load recovery mode",
          "Clear settings", "---", "Restart"}},
        {"450",
         connectedTo(kRunModeApplication, kFamily450),
         {"Close", "---", "HW configuration ...", "ID settings ...", "Network settings ...", "---",
          "Firmware update ...", "Load recovery mode", "Clear settings", "---", "Restart"}},
        {"465",
         connectedTo(kRunModeApplication, kFamily465),
         {"Close", "---", "Network settings ...", "---", "Firmware update ...",
          "Load recovery mode", "---", "Restart"}},
        {"empty part of the list while connected to an old 461",
         noRowOnline,
         {"Close", "---", "Input status ...", "---", "Firmware update ...", "Load recovery mode",
          "Clear settings", "---", "Restart"}},
        {"461 with channel dialogs, no IP module",
         labelsNoIp,
         {"Close", "---", "Input status ...", "---", "Channel labels ...", "Gain settings ...",
          "---", "Firmware update ...", "Load recovery mode", "Clear settings", "---", "Restart"}},
        {"460 with everything",
         everything,
         {"Close",
          "---",
          "Input status ...",
          "---",
          "Channel labels ...",
          "Gain settings ...",
          "---",
          "X-Y control ...",
          "---",
          "Level detectors ...",
          "PPM streams ...",
          "---",
          "Manual IP routing control ...",
          "Automatic IP routing control ...",
          "---",
          "Operational time ...",
          "---",
          "Firmware update ...",
          "Load recovery mode",
          "Clear settings",
          "---",
          "Restart"}},
        {"version 2010003 offers only automatic IP routing",
         newIp,
         {"Close", "---", "Input status ...", "---", "Channel labels ...", "Gain settings ...",
          "---", "Automatic IP routing control ...", "---", "Operational time ...", "---",
          "Firmware update ...", "Load recovery mode", "Clear settings", "---", "Restart"}},
    };
    for (const MenuRowCase& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(lines(buildDeviceMenu(r.in)), r.menu);
    }
}

TEST(DeviceMenu, IdsAndWiringFollowTheTable) {
    DeviceMenuInputs in = connectedTo(kRunModeApplication, kFamily460, 2000302);
    in.xyEnabled = true;
    in.wired.set(devcmd::kInputStatus - devcmd::kFirst);
    const std::vector<MenuItem> menu = buildDeviceMenu(in);
    std::vector<int> ids;
    for (const MenuItem& item : menu)
        if (!item.separator())
            ids.push_back(item.id);
    EXPECT_THAT(ids, ElementsAre(1507, 1513, 1519, 1520, 1508, 1530, 1509, 1510, 1502, 1501));
    EXPECT_TRUE(menu[2].enabled); // "Input status ..." once its dialog exists
}

TEST(DeviceMenu, InputsComeFromTheState) {
    FrameState f(kFamily460, "2.1.0.3");
    f.s.runMode = kRunModeHash;
    f.s.xyEnabled = true;
    f.fit(kModuleIpAudio);
    const DeviceMenuInputs in = deviceMenuInputs(f.s, MenuRow::Connected, true);
    EXPECT_EQ(in.versionNumber, 2010003);
    EXPECT_EQ(in.runMode, kRunModeHash);
    EXPECT_TRUE(in.connected && in.xyEnabled && in.ipModulePresent && in.rowRemovable);
    EXPECT_FALSE(in.serviceMode);
}

struct FakeMenuHost final : IDeviceMenuHost {
    std::vector<std::string> calls;
    void refreshDevices() override { calls.push_back("refresh"); }
    void connectToRow(int row) override { calls.push_back("connect " + std::to_string(row)); }
    void disconnect() override { calls.push_back("disconnect"); }
    void removeRow(int row) override { calls.push_back("remove " + std::to_string(row)); }
    void removeConnectedRow() override { calls.push_back("remove connected"); }
    void openDialog(int id) override { calls.push_back("open " + std::to_string(id)); }
};

struct CommandRig {
    FrameState f{kFamily460};
    test::FakeTimerHost timers;
    test::RecordingSink sink;
    test::FakeQuestions questions;
    test::FakeOperator op;
    FakeMenuHost host;
    CXyBurst burst{timers, sink};
    CDeviceCommands commands{f.s, sink, questions, op, burst, host};
};

struct FrameCommandCase {
    const char* name;
    int runMode;
    int command;
    std::string question;
    std::string sent;
    std::vector<std::string> after;
};

TEST(DeviceCommands, FrameCommandsAskSendAndDropTheLink) {
    const std::vector<FrameCommandCase> rows = {
        {"Restart",
         kRunModeApplication,
         devcmd::kRestart,
         "|Restart device",
         "&srestart,1",
         {"remove connected", "disconnect"}},
        {"Load recovery mode",
         kRunModeApplication,
         devcmd::kLoadOtherMode,
         "|Restart device in recovery mode",
         "&sloadboot",
         {"remove connected", "disconnect"}},
        {"Load recovery mode from the '#' state",
         kRunModeHash,
         devcmd::kLoadOtherMode,
         "|Restart device in recovery mode",
         "&sloadboot",
         {"remove connected", "disconnect"}},
        {"Load application mode",
         kRunModeRecovery,
         devcmd::kLoadOtherMode,
         "|Restart device in application mode",
         "&sloadapp,0",
         {"remove connected", "disconnect"}},
        {"Clear settings keeps the link",
         kRunModeApplication,
         devcmd::kClearSettings,
         "|Clear device and return to factory settings",
         "&sclear",
         {}},
    };
    for (const FrameCommandCase& r : rows) {
        SCOPED_TRACE(r.name);
        {
            CommandRig rig;
            rig.f.s.runMode = r.runMode;
            rig.questions.answer = false;
            rig.commands.execute(r.command, MenuRow::Connected, 0);
            EXPECT_THAT(rig.questions.asked, ElementsAre(r.question));
            EXPECT_THAT(rig.sink.lines, IsEmpty());
            EXPECT_THAT(rig.host.calls, IsEmpty());
        }
        {
            CommandRig rig;
            rig.f.s.runMode = r.runMode;
            rig.commands.execute(r.command, MenuRow::Connected, 0);
            EXPECT_THAT(rig.sink.lines, ElementsAre(r.sent));
            EXPECT_EQ(rig.host.calls, r.after);
        }
        {
            CommandRig rig;
            rig.f.s.connected = false;
            rig.commands.execute(r.command, MenuRow::None, -1);
            EXPECT_THAT(rig.questions.asked, IsEmpty());
            EXPECT_THAT(rig.sink.lines, IsEmpty());
        }
    }
}

TEST(DeviceCommands, ListAndLinkCommandsGoToTheHost) {
    CommandRig rig;
    rig.commands.execute(devcmd::kRefresh, MenuRow::None, -1);
    rig.commands.execute(devcmd::kConnect, MenuRow::Other, 3);
    rig.commands.execute(devcmd::kRemoveFromList, MenuRow::Other, 4);
    rig.commands.execute(devcmd::kClose, MenuRow::Other, 4); // not the connected row
    rig.commands.execute(devcmd::kClose, MenuRow::None, -1);
    rig.commands.execute(devcmd::kClose, MenuRow::Connected, 0);
    EXPECT_THAT(rig.host.calls,
                ElementsAre("refresh", "connect 3", "remove 4", "disconnect", "disconnect"));
    EXPECT_THAT(rig.sink.lines, IsEmpty());
}

TEST(DeviceCommands, DialogCommandsCheckTheirPreconditions) {
    {
        CommandRig rig;
        rig.commands.execute(devcmd::kXyControl, MenuRow::Connected, 0);
        rig.commands.execute(devcmd::kXyControl, MenuRow::None, -1);
        rig.commands.execute(devcmd::kXyControl, MenuRow::Other, 2);
        rig.commands.execute(devcmd::kNetworkSettings, MenuRow::Other, 2);
        rig.commands.execute(devcmd::kFirmwareUpdate, MenuRow::Connected, 0);
        EXPECT_THAT(rig.host.calls,
                    ElementsAre("open 1508", "open 1508", "open 1503", "open 1509"));
    }
    {
        CommandRig rig;
        rig.f.s.connected = false;
        rig.commands.execute(devcmd::kXyControl, MenuRow::None, -1);
        EXPECT_THAT(rig.host.calls, IsEmpty());
    }
    {
        CommandRig rig;
        rig.f.s.programming = true;
        rig.commands.execute(devcmd::kFirmwareUpdate, MenuRow::Connected, 0);
        rig.f.s.programming = false;
        rig.burst.start(3, true);
        rig.commands.execute(devcmd::kFirmwareUpdate, MenuRow::Connected, 0);
        EXPECT_THAT(rig.host.calls, IsEmpty());
        EXPECT_THAT(rig.op.messages, IsEmpty());
    }
    {
        CommandRig rig;
        rig.f.s.port = kPortTelnet;
        rig.commands.execute(devcmd::kFirmwareUpdate, MenuRow::Connected, 0);
        EXPECT_THAT(rig.op.messages,
                    ElementsAre("Programming not possible due to TELNET port connection"));
        EXPECT_THAT(rig.host.calls, IsEmpty());
        rig.f.s.runMode = kRunModeRecovery; // recovery frames are programmed over that port
        rig.commands.execute(devcmd::kFirmwareUpdate, MenuRow::Connected, 0);
        EXPECT_THAT(rig.host.calls, ElementsAre("open 1509"));
    }
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

TEST(DeviceMenu, SwitchingFramesNamesBoth) {
    EXPECT_EQ(switchFrameQuestion("Studio A (10.0.1.20)", "Studio B", "10.0.1.21"),
              "Disconnect from Studio A (10.0.1.20) and connect to Studio B (10.0.1.21)?");
    EXPECT_EQ(switchFrameQuestion("10.0.1.20", "", "10.0.1.21"),
              "Disconnect from 10.0.1.20 and connect to 10.0.1.21?");
}

} // namespace
} // namespace velmar
