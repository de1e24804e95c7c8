#include "maintenance/AdminDialogs.h"

#include "link/DiscoveryDatagrams.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

NetworkSettings network(int mode, std::string_view ip, std::string_view mask,
                        std::string_view gateway, std::string_view mac = "") {
    NetworkSettings n;
    n.mode = mode;
    n.ipAddress.assign(ip);
    n.subnetMask.assign(mask);
    n.gateway.assign(gateway);
    n.macAddress.assign(mac);
    return n;
}

DeviceState connectedTo(std::string_view address) {
    DeviceState s;
    s.connected = true;
    s.deviceAddress = *parseIpv4(address);
    s.settings.deviceName.assign("Studio A");
    s.settings.networkSettings = network(0, address, "255.255.255.0", "10.0.1.1", "0050C2123456");
    return s;
}

KnownDevice row(std::string_view address, std::string_view name, std::string_view serial) {
    KnownDevice d;
    d.address = address;
    d.addressValue = parseIpv4(address);
    d.name = name;
    d.serial = serial;
    return d;
}

NetworkTarget connectedTarget() {
    NetworkTarget t;
    t.kind = NetworkTarget::Kind::Connected;
    t.address = *parseIpv4("10.0.1.20");
    t.name = "Studio A";
    return t;
}

// ---- who the network dialog is for ----

TEST(NetworkTargetTest, RowsChooseBetweenSipAndTheSetAddressRequest) {
    const DeviceState s = connectedTo("10.0.1.20");

    const KnownDevice own = row("10.0.1.20", "Studio A", "SN01");
    const auto connected = networkTargetFor(s, &own, 0);
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->kind, NetworkTarget::Kind::Connected);

    const KnownDevice other = row("10.0.1.30", "Studio B", "SN02");
    const auto discovered = networkTargetFor(s, &other, 1);
    ASSERT_TRUE(discovered);
    EXPECT_EQ(discovered->kind, NetworkTarget::Kind::Discovered);
    EXPECT_EQ(discovered->serialNumber, "SN02");
    EXPECT_EQ(discovered->row, 1);

    // Without a serial number the frame cannot be found by the request.
    const KnownDevice anonymous = row("10.0.1.40", "Hand added", "");
    EXPECT_FALSE(networkTargetFor(s, &anonymous, 2));
    // A row that is no address.
    KnownDevice broken = row("10.0.1.50", "Broken", "SN05");
    broken.addressValue.reset();
    EXPECT_FALSE(networkTargetFor(s, &broken, 3));
}

TEST(NetworkTargetTest, WithoutARowOnlyTheConnectedFrame) {
    DeviceState s;
    EXPECT_FALSE(networkTargetFor(s, nullptr, -1));
    s = connectedTo("10.0.1.20");
    const auto t = networkTargetFor(s, nullptr, -1);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->kind, NetworkTarget::Kind::Connected);
    EXPECT_EQ(t->name, "Studio A");
    EXPECT_EQ(formatIpv4(t->address), "10.0.1.20");

    // A frame on automatic addressing reports no address of its own; the
    // link's address still names it, so its settings can be changed back.
    s.settings.networkSettings = network(1, "0.0.0.0", "0.0.0.0", "0.0.0.0");
    const auto automatic = networkTargetFor(s, nullptr, -1);
    ASSERT_TRUE(automatic);
    EXPECT_EQ(formatIpv4(automatic->address), "10.0.1.20");
}

// ---- the dialog ----

TEST(NetworkSettingsTest, TitleAndStartOfTheConnectedFrame) {
    CNetworkSettingsLogic logic(connectedTarget(),
                                network(0, "10.0.1.20", "255.255.255.0", "10.0.1.1", "0050C2"));
    EXPECT_EQ(logic.title(), "Network settings for device <Studio A> with MAC: 0050C2");
    EXPECT_TRUE(logic.fixedChosen());
    EXPECT_EQ(logic.addresses()[0], "10.0.1.20");
    EXPECT_EQ(logic.addresses()[2], "10.0.1.1");

    CNetworkSettingsLogic automatic(connectedTarget(), network(1, "", "", ""));
    EXPECT_EQ(automatic.title(), "Network settings for device <Studio A>");
    EXPECT_FALSE(automatic.fixedChosen());
    EXPECT_EQ(automatic.addresses()[1], "0.0.0.0"); // an empty text shows no address
}

TEST(NetworkSettingsTest, DiscoveredFrameStartsFixedAtTheAddressItAnsweredFrom) {
    NetworkTarget t;
    t.kind = NetworkTarget::Kind::Discovered;
    t.name = "Studio B";
    t.serialNumber = "SN02";
    t.address = *parseIpv4("10.0.2.5");
    // What the connected frame reports must not leak into another frame's dialog.
    CNetworkSettingsLogic logic(t, network(1, "10.0.1.20", "255.0.0.0", "10.0.0.1", "AA"));
    EXPECT_TRUE(logic.fixedChosen());
    EXPECT_EQ(logic.addresses(), (std::array<std::string, 3>{"10.0.2.5", "0.0.0.0", "0.0.0.0"}));
    EXPECT_EQ(logic.title(), "Network settings for device <Studio B>");

    const auto out = logic.accept(true, {"10.0.2.9", "255.255.255.0", "10.0.2.1"});
    ASSERT_EQ(out.kind, CNetworkSettingsLogic::Outcome::Kind::Send);
    const SetAddressRequest r = CNetworkSettingsLogic::setAddressRequest("SN02", out.record);
    EXPECT_EQ(setAddressLine(r), "%eip,'SN02',0,'10.0.2.9','255.255.255.0','10.0.2.1',1\r");
}

TEST(NetworkSettingsTest, AutomaticAddressingSendsModeOneAndZeroAddresses) {
    CNetworkSettingsLogic logic(connectedTarget(),
                                network(0, "10.0.1.20", "255.255.255.0", "10.0.1.1"));
    // The fields still hold the old addresses; automatic addressing ignores them.
    const auto out = logic.accept(false, {"10.0.1.20", "garbage", ""});
    ASSERT_EQ(out.kind, CNetworkSettingsLogic::Outcome::Kind::Send);
    const DeviceMessage m = CNetworkSettingsLogic::sipRequest(out.record);
    EXPECT_EQ(m.command, CommandId::sip);
    EXPECT_EQ(m.i(1), 1);
    EXPECT_EQ(m.text(2, 16), "0.0.0.0");
    EXPECT_EQ(m.text(6, 16), "0.0.0.0");
    EXPECT_EQ(m.text(10, 16), "0.0.0.0");

    // A frame that already obtains its address automatically hears nothing.
    CNetworkSettingsLogic already(connectedTarget(), network(1, "0.0.0.0", "0.0.0.0", "0.0.0.0"));
    EXPECT_EQ(already.accept(false, {"0.0.0.0", "0.0.0.0", "0.0.0.0"}).kind,
              CNetworkSettingsLogic::Outcome::Kind::Unchanged);
}

TEST(NetworkSettingsTest, UnchangedAddressesSendNothingButAChangedModeIsSent) {
    CNetworkSettingsLogic logic(connectedTarget(),
                                network(0, "10.0.1.20", "255.255.255.0", "10.0.1.1"));
    EXPECT_EQ(logic.accept(true, {"10.0.1.20", "255.255.255.0", "10.0.1.1"}).kind,
              CNetworkSettingsLogic::Outcome::Kind::Unchanged);
    const auto moved = logic.accept(true, {"10.0.1.21", "255.255.255.0", "10.0.1.1"});
    ASSERT_EQ(moved.kind, CNetworkSettingsLogic::Outcome::Kind::Send);
    EXPECT_EQ(moved.record.ipAddress.view(), "10.0.1.21");
    EXPECT_EQ(moved.record.mode, 0);

    // Fixing the address a frame obtained automatically keeps the operator's
    // choice: the frame must learn that it is fixed now.
    CNetworkSettingsLogic dhcp(connectedTarget(), network(1, "0.0.0.0", "0.0.0.0", "0.0.0.0"));
    EXPECT_EQ(dhcp.accept(true, {"10.0.1.20", "255.255.255.0", "10.0.1.1"}).kind,
              CNetworkSettingsLogic::Outcome::Kind::Send);
}

TEST(NetworkSettingsTest, NoAddressOrBroadcastIsRefusedInTheDialog) {
    CNetworkSettingsLogic logic(connectedTarget(),
                                network(0, "10.0.1.20", "255.255.255.0", "10.0.1.1"));
    for (const char* address : {"0.0.0.0", "255.255.255.255"}) {
        const auto out = logic.accept(true, {address, "255.255.255.0", "10.0.1.1"});
        EXPECT_EQ(out.kind, CNetworkSettingsLogic::Outcome::Kind::Invalid) << address;
        EXPECT_EQ(out.field, 0);
        EXPECT_NE(out.problem.find(address), std::string::npos) << out.problem;
    }
}

TEST(NetworkSettingsTest, OnlyAContiguousMaskIsAMask) {
    for (const char* mask : {"255.255.255.0", "255.255.240.0", "128.0.0.0", "255.255.255.255"})
        EXPECT_EQ(subnetMaskProblem(*parseIpv4(mask)), std::nullopt) << mask;
    for (const char* mask : {"255.0.255.0", "0.0.0.0", "255.255.255.1", "0.255.255.255"})
        EXPECT_NE(subnetMaskProblem(*parseIpv4(mask)), std::nullopt) << mask;
    // The dialog keeps what was typed and points at the mask.
    CNetworkSettingsLogic logic(connectedTarget(),
                                network(0, "10.0.1.20", "255.255.255.0", "10.0.1.1"));
    const auto out = logic.accept(true, {"10.0.1.21", "255.0.255.0", "10.0.1.1"});
    EXPECT_EQ(out.kind, CNetworkSettingsLogic::Outcome::Kind::Invalid);
    EXPECT_EQ(out.field, 1);
    EXPECT_NE(out.problem.find("255.0.255.0 is no mask"), std::string::npos) << out.problem;
}

TEST(NetworkSettingsTest, FieldsMustBeDottedAddresses) {
    CNetworkSettingsLogic logic(connectedTarget(),
                                network(0, "10.0.1.20", "255.255.255.0", "10.0.1.1"));
    struct Case {
        std::array<std::string, 3> fields;
        int field;
    };
    const Case cases[] = {
        {{"10.0.1", "255.255.255.0", "10.0.1.1"}, 0},
        {{"10.0.1.256", "255.255.255.0", "10.0.1.1"}, 0},
        {{"10.0.1.20", "255.255.255.0,1", "10.0.1.1"}, 1},
        {{"10.0.1.20", "255.255.255.0", "gw.example"}, 2},
        {{"10.0.1.20", "255.255.255.0", "10.0.1.1'"}, 2},
    };
    for (const Case& c : cases) {
        const auto out = logic.accept(true, c.fields);
        EXPECT_EQ(out.kind, CNetworkSettingsLogic::Outcome::Kind::Invalid) << c.fields[c.field];
        EXPECT_EQ(out.field, c.field);
        EXPECT_NE(out.problem.find(CNetworkSettingsLogic::kFieldNames[c.field]), std::string::npos);
    }
}

// ---- ID and name ----

TEST(DeviceIdTest, SendsIdAndNameOnlyWhenChanged) {
    CDeviceIdLogic logic(12, "Studio A");
    EXPECT_FALSE(logic.accept("12", "Studio A").request);
    EXPECT_TRUE(logic.accept("12", "Studio A").problem.empty());

    const auto renamed = logic.accept("13", "Studio B");
    ASSERT_TRUE(renamed.request);
    EXPECT_EQ(renamed.request->command, CommandId::sdevid);
    EXPECT_EQ(renamed.request->i(1), 13);
    EXPECT_EQ(renamed.request->text(2, 17), "Studio B");
}

TEST(DeviceIdTest, NameOfSixteenIsTakenTwentyIsRefused) {
    CDeviceIdLogic logic(1, "A");
    const auto sixteen = logic.accept("1", "0123456789abcdef");
    ASSERT_TRUE(sixteen.request);
    EXPECT_EQ(sixteen.request->text(2, 17), "0123456789abcdef");

    const auto twenty = logic.accept("1", "0123456789abcdefghij");
    EXPECT_FALSE(twenty.request);
    EXPECT_EQ(twenty.field, 2);
    EXPECT_NE(twenty.problem.find("longer than 16"), std::string::npos);
}

TEST(DeviceIdTest, RefusesWhatCannotTravelOrIsNoId) {
    CDeviceIdLogic logic(1, "A");
    for (const char* name : {"Studio 'A'", "Studio,A", "Studio\tA"}) {
        const auto out = logic.accept("1", name);
        EXPECT_FALSE(out.request) << name;
        EXPECT_EQ(out.field, 2);
        EXPECT_NE(out.problem.find("quote, comma or control"), std::string::npos);
    }
    for (const char* id : {"", "-1", "100", "1x", " 7", "99999999999"}) {
        const auto out = logic.accept(id, "A");
        EXPECT_FALSE(out.request) << id;
        EXPECT_EQ(out.field, 1) << id;
    }
    EXPECT_TRUE(logic.accept("99", "A").request);
    // A digit too many is named with the range, not cut.
    EXPECT_EQ(logic.accept("123", "A").problem,
              "ID 123 is out of range: the ID must be a whole number from 0 to 99.");
}

// ---- PSU and FAN ----

TEST(PsuFanTest, StartsOnTheReportedValuesAndSendsOnlyChanges) {
    CPsuFanLogic logic(2, 3);
    EXPECT_EQ(logic.psuIndex(), 2); // "PSU2"
    EXPECT_EQ(logic.fanIndex(), 2); // "2" stands for the bits 0 and 1
    EXPECT_TRUE(logic.accept(2, 2).empty());

    const auto both = logic.accept(3, 2);
    ASSERT_EQ(both.size(), 1U);
    EXPECT_EQ(both[0].command, CommandId::spsuconf);
    EXPECT_EQ(both[0].i(2), 3);

    const auto fans = logic.accept(2, 3);
    ASSERT_EQ(fans.size(), 1U);
    EXPECT_EQ(fans[0].command, CommandId::sfanconf);
    EXPECT_EQ(fans[0].i(2), 7);
}

TEST(PsuFanTest, AValueWithoutEntrySelectsNothingAndNoSelectionMeansZero) {
    CPsuFanLogic logic(1, 5); // 5 is no entry of the FAN list
    EXPECT_EQ(logic.fanIndex(), -1);
    const auto out = logic.accept(1, -1);
    ASSERT_EQ(out.size(), 1U);
    EXPECT_EQ(out[0].command, CommandId::sfanconf);
    EXPECT_EQ(out[0].i(2), 0);
}

// ---- operational time ----

bool utc(std::time_t when, std::tm& out) { return gmtime_r(&when, &out) != nullptr; }

DeviceMessage timeReply(CommandId id, int h, int m, int s, int status = 0) {
    DeviceMessage r;
    r.command = id;
    r.flags = FlagReply;
    r.status = status;
    r.setI(1, h);
    r.setI(2, m);
    r.setI(3, s);
    return r;
}

TEST(OperatingTimeTest, AsksCurrentThenTotal) {
    const auto r = COperatingTimeLogic::requests();
    ASSERT_EQ(r.size(), 2U);
    EXPECT_EQ(r[0].command, CommandId::gcuropertime);
    EXPECT_EQ(r[1].command, CommandId::gtotopertime);
}

TEST(OperatingTimeTest, TwentyFiveHoursInBothFields) {
    // 2026-03-10 12:00:00 UTC
    const std::time_t now = 1773144000;
    COperatingTimeLogic logic(utc);
    EXPECT_EQ(logic.totalTime(), COperatingTimeLogic::kWaiting);

    ASSERT_TRUE(logic.onReply(timeReply(CommandId::gtotopertime, 25, 3, 0), now));
    EXPECT_EQ(logic.totalTime(), "25 hours 3 minutes 0 seconds");
    EXPECT_EQ(logic.totalDays(), "( 1 days 1 hours ... )");
    EXPECT_EQ(logic.sinceRestart(), COperatingTimeLogic::kWaiting);

    ASSERT_TRUE(logic.onReply(timeReply(CommandId::gcuropertime, 25, 3, 0), now));
    EXPECT_EQ(logic.sinceRestart(), "25 hours 3 minutes 0 seconds");
    EXPECT_EQ(logic.restartInstant(), "( 09.03.2026  10:57:00 )");
}

TEST(OperatingTimeTest, RefusedOrImpossibleTimesAreNotShownAsZero) {
    COperatingTimeLogic logic(utc);
    ASSERT_TRUE(logic.onReply(timeReply(CommandId::gcuropertime, 0, 0, 0, 2), 1000));
    EXPECT_EQ(logic.sinceRestart(), COperatingTimeLogic::kNotReported);
    EXPECT_EQ(logic.restartInstant(), "");
    ASSERT_TRUE(logic.onReply(timeReply(CommandId::gtotopertime, -5, 0, 0), 1000));
    EXPECT_EQ(logic.totalTime(), COperatingTimeLogic::kNotReported);
    EXPECT_FALSE(logic.onReply(timeReply(CommandId::gdevid, 1, 2, 3), 1000));
}

TEST(OperatingTimeTest, HugeHoursNeitherOverflowNorCrash) {
    COperatingTimeLogic logic(utc);
    ASSERT_TRUE(logic.onReply(timeReply(CommandId::gcuropertime, 2147483647, 59, 59), 1773144000));
    EXPECT_EQ(logic.sinceRestart(), "2147483647 hours 59 minutes 59 seconds");
    // About 245000 years back: a date far in the past, or none, but never a
    // date after now, as a wrapped 32-bit product would give.
    EXPECT_EQ(logic.restartInstant().find("2026"), std::string::npos);
}

} // namespace
} // namespace velmar
