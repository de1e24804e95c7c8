#include "link/DeviceList.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace velmar {
namespace {

using Source = CDeviceList::Source;

class FakeProfile : public IProfileStore {
public:
    std::map<std::string, std::string> values;
    bool failWrites = false;
    int writes = 0;

    int readInt(std::string_view section, std::string_view key) override {
        const auto it = values.find(std::string(section) + "/" + std::string(key));
        return it == values.end() ? 0 : std::stoi(it->second);
    }
    std::string readString(std::string_view section, std::string_view key) override {
        const auto it = values.find(std::string(section) + "/" + std::string(key));
        return it == values.end() ? std::string() : it->second;
    }
    bool writeInt(std::string_view section, std::string_view key, int value) override {
        return writeString(section, key, std::to_string(value));
    }
    bool writeString(std::string_view section, std::string_view key,
                     std::string_view value) override {
        if (failWrites)
            return false;
        ++writes;
        values[std::string(section) + "/" + std::string(key)] = std::string(value);
        return true;
    }
};

TEST(DeviceList, RowFromSearchReply) {
    CDeviceList list;
    const auto outcome = list.addRowFromText("192.168.1.20,1,12,'Studio A','460',x,'SN01'",
                                             Source::SearchReply, std::nullopt);
    EXPECT_TRUE(outcome.changed);
    EXPECT_FALSE(outcome.disconnect);
    ASSERT_EQ(list.rows().size(), 1U);
    const KnownDevice& row = list.rows()[0];
    EXPECT_EQ(row.address, "192.168.1.20");
    EXPECT_EQ(row.id, "12");
    EXPECT_EQ(row.name, "Studio A");
    EXPECT_EQ(row.type, "460");
    EXPECT_EQ(row.serial, "SN01");
    EXPECT_EQ(row.addressValue, parseIpv4("192.168.1.20"));
    EXPECT_EQ(entryKindOf(row.address), EntryKind::Application);
}

TEST(DeviceList, ModesMarkTheAddress) {
    CDeviceList list;
    list.addRowFromText("10.0.0.7,0,1,'Rec','460',x,'S7'", Source::SearchReply, std::nullopt);
    list.addRowFromText("10.0.0.8,2,1,'Hash','461',x,'S8'", Source::SearchReply, std::nullopt);
    list.addRowFromText("10.0.0.9,5,1,'Other','461',x,'S9'", Source::SearchReply, std::nullopt);
    EXPECT_EQ(list.rows()[0].address, "*10.0.0.7");
    EXPECT_EQ(entryKindOf(list.rows()[0].address), EntryKind::Recovery);
    EXPECT_EQ(bareAddress(list.rows()[0].address), "10.0.0.7");
    EXPECT_EQ(list.rows()[1].address, "#10.0.0.8");
    EXPECT_EQ(entryKindOf(list.rows()[1].address), EntryKind::Hash);
    EXPECT_EQ(list.rows()[2].address, "10.0.0.9");
    EXPECT_EQ(entryKindOf(""), EntryKind::Application);
}

TEST(DeviceList, ReadingStopsAtTheFirstFieldWithoutComma) {
    struct Row {
        const char* text;
        const char* id;
        const char* name;
        const char* type;
        const char* serial;
    };
    const Row rows[] = {
        {"10.0.0.5,", "", "", "", ""},
        {"10.0.0.5,1", "", "", "", ""},
        {"10.0.0.5,1,12", "", "", "", ""},
        {"10.0.0.5,1,12,'N'", "12", "", "", ""},
        {"10.0.0.5,1,12,'N','T',x", "12", "N", "T", ""},
        {"10.0.0.5,1,12,'N','T',x,", "12", "N", "T", ""},
        {"10.0.0.5,1,12,'N','T',x,'S',", "12", "N", "T", "S"},
        {"10.0.0.5,1,12,'','',x,''", "12", "", "", ""},
    };
    for (const Row& r : rows) {
        CDeviceList list;
        list.addRowFromText(r.text, Source::SearchReply, std::nullopt);
        ASSERT_EQ(list.rows().size(), 1U) << r.text;
        EXPECT_EQ(list.rows()[0].address, "10.0.0.5") << r.text;
        EXPECT_EQ(list.rows()[0].id, r.id) << r.text;
        EXPECT_EQ(list.rows()[0].name, r.name) << r.text;
        EXPECT_EQ(list.rows()[0].type, r.type) << r.text;
        EXPECT_EQ(list.rows()[0].serial, r.serial) << r.text;
    }
    CDeviceList list;
    EXPECT_FALSE(list.addRowFromText("10.0.0.5", Source::SearchReply, std::nullopt).changed);
    EXPECT_FALSE(list.addRowFromText(",1,2", Source::SearchReply, std::nullopt).changed);
    EXPECT_TRUE(list.rows().empty());
}

TEST(DeviceList, FreshReplyReplacesButSavedEntryKeepsAnsweredRow) {
    CDeviceList list;
    list.addRowFromText("10.0.0.5,1,1,'Old','460',x,'S1'", Source::SearchReply, std::nullopt);
    list.addRowFromText("10.0.0.6,1,2,'Other','460',x,'S2'", Source::SearchReply, std::nullopt);
    list.addRowFromText("10.0.0.5,1,3,'New','461',x,'S3'", Source::SearchReply, std::nullopt);
    ASSERT_EQ(list.rows().size(), 2U);
    EXPECT_EQ(list.rows()[0].name, "New") << "replaced where it stood";
    EXPECT_EQ(list.rows()[0].type, "461");
    EXPECT_EQ(list.rows()[1].name, "Other");

    EXPECT_FALSE(list.addRowFromText("10.0.0.5,", Source::SavedEntry, std::nullopt).changed);
    ASSERT_EQ(list.rows().size(), 2U);
    EXPECT_EQ(list.rows()[0].name, "New") << "listed once, with the answered row's columns";

    // A saved entry replaces a row without a name (an earlier saved entry).
    list.addRowFromText("10.0.0.9,", Source::SavedEntry, std::nullopt);
    list.addRowFromText("10.0.0.9,", Source::SavedEntry, std::nullopt);
    EXPECT_EQ(list.rows().size(), 3U);
}

TEST(DeviceList, OwnAnnouncementOfTheConnectedFrameDisconnects) {
    CDeviceList list;
    const auto connected = parseIpv4("10.0.0.5");
    EXPECT_TRUE(
        list.addRowFromText("10.0.0.5,1,1,'A','460',x,'S1',", Source::SearchReply, connected)
            .disconnect);
    EXPECT_EQ(list.rows()[0].serial, "S1");
    EXPECT_FALSE(
        list.addRowFromText("10.0.0.5,1,1,'A','460',x,'S1'", Source::SearchReply, connected)
            .disconnect);
    EXPECT_FALSE(
        list.addRowFromText("10.0.0.6,1,1,'B','460',x,'S2',", Source::SearchReply, connected)
            .disconnect);
    EXPECT_FALSE(
        list.addRowFromText("10.0.0.5,1,1,'A','460',x,'S1',", Source::SearchReply, std::nullopt)
            .disconnect);
}

TEST(DeviceList, SavedAddressesRoundTripThroughTheProfile) {
    FakeProfile profile;
    profile.values["Devices/Count"] = "3";
    profile.values["Devices/Device1"] = "10.0.0.5";
    profile.values["Devices/Device3"] = "10.0.0.6";
    profile.values["Devices/Device4"] = "10.0.0.99"; // beyond Count: never read
    CDeviceList list;
    list.addRowFromText("10.0.0.6,1,1,'Answered','460',x,'S'", Source::SearchReply, std::nullopt);
    list.loadSaved(profile, std::nullopt);
    EXPECT_EQ(list.savedAddresses(), (std::vector<std::string>{"10.0.0.5", "10.0.0.6"}));
    ASSERT_EQ(list.rows().size(), 2U);
    EXPECT_EQ(list.rows()[0].name, "Answered");
    EXPECT_EQ(list.rows()[1].address, "10.0.0.5");
    EXPECT_TRUE(list.rows()[1].name.empty());

    FakeProfile saved;
    EXPECT_TRUE(list.saveSaved(saved));
    EXPECT_EQ(saved.values["Devices/Count"], "2");
    EXPECT_EQ(saved.values["Devices/Device2"], "10.0.0.6");

    FakeProfile failing;
    failing.failWrites = true;
    EXPECT_FALSE(list.saveSaved(failing));
    EXPECT_TRUE(failing.values.empty()) << "no device keys when Count could not be written";

    // Loading again does not double the saved list.
    list.loadSaved(profile, std::nullopt);
    EXPECT_EQ(list.savedAddresses().size(), 2U);
}

TEST(DeviceList, RemoveOnlySavedRowsExactly) {
    FakeProfile profile;
    profile.values["Devices/Count"] = "2";
    profile.values["Devices/Device1"] = "10.0.0.7";
    profile.values["Devices/Device2"] = "10.0.0.8";
    CDeviceList list;
    list.addRowFromText("10.0.0.7,0,1,'Rec','460',x,'S'", Source::SearchReply, std::nullopt);
    list.loadSaved(profile, std::nullopt);
    ASSERT_EQ(list.rows().size(), 2U);
    EXPECT_EQ(list.rows()[0].address, "*10.0.0.7");
    EXPECT_FALSE(list.canRemove(0)) << "a row marked * is not the saved address, even if saved";
    EXPECT_TRUE(list.canRemove(1));
    EXPECT_FALSE(list.canRemove(2));
    EXPECT_FALSE(list.canRemove(-1));
    EXPECT_TRUE(list.removeFromList(1));
    EXPECT_EQ(list.rows().size(), 1U);
    EXPECT_EQ(list.savedAddresses(), (std::vector<std::string>{"10.0.0.7"}));
    EXPECT_FALSE(list.removeFromList(0));
    EXPECT_TRUE(list.deleteRow(0));
    EXPECT_TRUE(list.rows().empty());
    EXPECT_EQ(list.savedAddresses(), (std::vector<std::string>{"10.0.0.7"}))
        << "deleting a row keeps the saved address";
    EXPECT_FALSE(list.deleteRow(0));
}

TEST(DeviceList, AddDevice) {
    FakeProfile profile;
    CDeviceList list;
    list.addRowFromText("10.0.0.5,1,1,'A','460',x,'S1'", Source::SearchReply, std::nullopt);
    int probes = 0;
    const auto answers = [&probes](std::string_view) { return ++probes, true; };
    const auto silent = [&probes](std::string_view) { return ++probes, false; };

    EXPECT_EQ(list.addDevice("", answers, profile), CDeviceList::AddDevice::Nothing);
    EXPECT_EQ(list.addDevice("0.0.0.0", answers, profile), CDeviceList::AddDevice::Nothing);
    EXPECT_EQ(list.addDevice("10.0.0.5", answers, profile), CDeviceList::AddDevice::AlreadyListed);
    EXPECT_EQ(probes, 0) << "no probe for a listed or invalid address";
    EXPECT_EQ(CDeviceList::addDeviceMessage(CDeviceList::AddDevice::AlreadyListed, "10.0.0.5"),
              "Device already in the selection list");

    EXPECT_EQ(list.addDevice("10.0.0.6", silent, profile), CDeviceList::AddDevice::NotResponding);
    EXPECT_EQ(CDeviceList::addDeviceMessage(CDeviceList::AddDevice::NotResponding, "10.0.0.6"),
              "Device 10.0.0.6 is not responding");
    EXPECT_EQ(profile.writes, 0) << "an address that does not answer leaves the profile unchanged";
    EXPECT_TRUE(list.savedAddresses().empty());

    EXPECT_EQ(list.addDevice("10.0.0.6", answers, profile), CDeviceList::AddDevice::Added);
    EXPECT_EQ(profile.values["Devices/Count"], "1");
    EXPECT_EQ(profile.values["Devices/Device1"], "10.0.0.6");
}

TEST(DeviceList, ConnectedRowFollowsTheFrame) {
    CDeviceList list;
    list.addRowFromText("10.0.0.5,", Source::SavedEntry, std::nullopt);
    EXPECT_TRUE(list.refreshRow(*parseIpv4("10.0.0.5"), "460", "SN9"));
    EXPECT_EQ(list.rows()[0].type, "460");
    EXPECT_EQ(list.rows()[0].serial, "SN9");
    EXPECT_FALSE(list.refreshRow(*parseIpv4("10.0.0.6"), "460", "SN9"));
    EXPECT_TRUE(list.refreshIdentity(*parseIpv4("10.0.0.5"), 42, "Stage left"));
    EXPECT_EQ(list.rows()[0].id, "42");
    EXPECT_EQ(list.rows()[0].name, "Stage left");
}

std::string replyFrom(std::uint32_t n, std::string_view name = "F") {
    return formatIpv4(0x0A000000U + n) + ",1," + std::to_string(n) + ",'" + std::string(name) +
           "','460',x,'S" + std::to_string(n) + "'";
}

TEST(DeviceList, RowsKeepTheirPlaceAcrossASearch) {
    FakeProfile profile;
    profile.values["Devices/Count"] = "1";
    profile.values["Devices/Device1"] = formatIpv4(0x0A000003U);
    CDeviceList list;
    for (std::uint32_t n = 1; n <= 4; ++n)
        list.addRowFromText(replyFrom(n), Source::SearchReply, std::nullopt);
    list.loadSaved(profile, std::nullopt);
    ASSERT_EQ(list.rows().size(), 4U);
    const auto connected = parseIpv4(formatIpv4(0x0A000004U));

    // The next search: 2 and 4 answer (in another order), 5 is new; 1 and 3
    // stay silent.
    list.beginSearch();
    list.addRowFromText(replyFrom(5), Source::SearchReply, connected);
    list.addRowFromText(replyFrom(2, "Renamed"), Source::SearchReply, connected);
    ASSERT_EQ(list.rows().size(), 5U) << "nothing goes before the search is over";
    EXPECT_EQ(list.rows()[1].name, "Renamed");
    EXPECT_EQ(list.rows()[4].id, "5") << "a new frame is appended";

    EXPECT_TRUE(list.pruneUnanswered(connected));
    ASSERT_EQ(list.rows().size(), 4U);
    EXPECT_EQ(list.rows()[0].address, "10.0.0.2");
    EXPECT_EQ(list.rows()[0].name, "Renamed");
    EXPECT_EQ(list.rows()[1].address, "10.0.0.3") << "a silent saved address stays, bare";
    EXPECT_TRUE(list.rows()[1].name.empty());
    EXPECT_TRUE(list.canRemove(1));
    EXPECT_EQ(list.rows()[2].name, "F") << "the connected frame's row stays as it was";
    EXPECT_EQ(list.rows()[3].address, "10.0.0.5");
    // The index follows the rows that moved up.
    EXPECT_EQ(list.findRow(0x0A000001U), -1);
    EXPECT_EQ(list.findRow(0x0A000005U), 3);
    EXPECT_EQ(list.findRow(0x0A000004U), 2);
    EXPECT_FALSE(list.pruneUnanswered(connected)) << "one prune per search";

    // Loading the saved entries after the prune changes nothing.
    list.loadSaved(profile, connected);
    EXPECT_EQ(list.rows().size(), 4U);
    EXPECT_EQ(list.rows()[1].address, "10.0.0.3");
}

TEST(DeviceList, IndexFollowsEveryRemoval) {
    FakeProfile profile;
    profile.values["Devices/Count"] = "1";
    profile.values["Devices/Device1"] = "10.0.0.2";
    CDeviceList list;
    for (std::uint32_t n = 1; n <= 5; ++n)
        list.addRowFromText(replyFrom(n), Source::SearchReply, std::nullopt);
    list.loadSaved(profile, std::nullopt);
    list.addRowFromText("10.0.0.2,", Source::SavedEntry, std::nullopt);
    list.addRowFromText("10.0.0.2,1,2,'Back','460',x,'S'", Source::SearchReply, std::nullopt);
    ASSERT_TRUE(list.deleteRow(0));
    EXPECT_EQ(list.findRow(0x0A000002U), 0);
    EXPECT_EQ(list.rows()[0].name, "Back");
    ASSERT_TRUE(list.deleteRow(list.findRow(0x0A000004U)));
    EXPECT_EQ(list.findRow(0x0A000005U), 2);
    // A fresh reply after the removals updates the right row, not a stale index.
    list.addRowFromText(replyFrom(5, "Five"), Source::SearchReply, std::nullopt);
    ASSERT_EQ(list.rows().size(), 3U);
    EXPECT_EQ(list.rows()[2].name, "Five");
    list.clear();
    EXPECT_EQ(list.findRow(0x0A000005U), -1);
    list.addRowFromText(replyFrom(5), Source::SearchReply, std::nullopt);
    EXPECT_EQ(list.findRow(0x0A000005U), 0);
}

TEST(DeviceList, AFloodIsCappedButSavedAndConnectedFramesAreListed) {
    FakeProfile profile;
    profile.values["Devices/Count"] = "1";
    profile.values["Devices/Device1"] = "192.168.9.9";
    CDeviceList list;
    const auto connected = parseIpv4("192.168.7.7");
    for (std::uint32_t n = 1; n <= CDeviceList::kMaxRows; ++n)
        ASSERT_TRUE(list.addRowFromText(replyFrom(n), Source::SearchReply, connected).changed);
    EXPECT_EQ(list.unlistedCount(), 0U);

    const std::string beyond = replyFrom(CDeviceList::kMaxRows + 1);
    EXPECT_FALSE(list.addRowFromText(beyond, Source::SearchReply, connected).changed);
    EXPECT_FALSE(list.addRowFromText(beyond + ",", Source::SearchReply, connected).changed);
    EXPECT_FALSE(
        list.addRowFromText(replyFrom(CDeviceList::kMaxRows + 2), Source::SearchReply, connected)
            .changed);
    EXPECT_EQ(list.rows().size(), CDeviceList::kMaxRows);
    EXPECT_EQ(list.unlistedCount(), 2U) << "a frame that answers twice counts once";

    // A listed frame still refreshes its row while the list is full.
    EXPECT_TRUE(list.addRowFromText(replyFrom(7, "Seven"), Source::SearchReply, connected).changed);
    EXPECT_EQ(list.rows()[6].name, "Seven");

    // The connected frame and the saved addresses are always listed.
    EXPECT_TRUE(
        list.addRowFromText("192.168.7.7,1,1,'Live','460',x,'S'", Source::SearchReply, connected)
            .changed);
    list.loadSaved(profile, connected);
    EXPECT_EQ(list.rows().size(), CDeviceList::kMaxRows + 2);
    EXPECT_GE(list.findRow(*parseIpv4("192.168.9.9")), 0);
    EXPECT_TRUE(
        list.addRowFromText("192.168.9.9,1,1,'Saved','460',x,'S'", Source::SearchReply, connected)
            .changed);
    EXPECT_EQ(list.rows()[CDeviceList::kMaxRows + 1].name, "Saved");

    // The count starts again with the next search.
    list.beginSearch();
    EXPECT_EQ(list.unlistedCount(), 0U);
}

TEST(DeviceList, AddressProblemNamesWhatIsWrong) {
    EXPECT_EQ(CDeviceList::addressProblem("10.0.1.20"), "");
    EXPECT_EQ(CDeviceList::addressProblem(" 10.0.1.20 "), "");
    EXPECT_EQ(CDeviceList::addressProblem("  "),
              "Type the frame's IPv4 address, for example 10.0.1.20.");
    EXPECT_EQ(CDeviceList::addressProblem("10.0.1.256"),
              "10.0.1.256 is not a valid IPv4 address: four numbers from 0 to 255 separated by "
              "points, for example 10.0.1.20.");
    EXPECT_NE(CDeviceList::addressProblem("10.0.1."), "");
    EXPECT_NE(CDeviceList::addressProblem("10.0.1"), "");
    EXPECT_EQ(CDeviceList::addressProblem("0.0.0.0"), "0.0.0.0 is not the address of a frame.");
    EXPECT_NE(CDeviceList::addressProblem("255.255.255.255"), "");
    EXPECT_EQ(CDeviceList::addressProblem("224.0.0.1"),
              "224.0.0.1 is a multicast address, not the address of a frame.");
    EXPECT_NE(CDeviceList::addressProblem("239.255.255.255"), "");
    EXPECT_EQ(CDeviceList::addressProblem("223.255.255.255"), "");
    EXPECT_EQ(CDeviceList::addressProblem("240.0.0.1"), "");
}

TEST(DeviceList, SearchNoteSaysWhatWasNotListed) {
    EXPECT_EQ(CDeviceList::searchNote(0, 0), "");
    EXPECT_EQ(CDeviceList::searchNote(1, 0),
              "1 further frame answered but was not listed (the list holds at most 2000)");
    EXPECT_EQ(CDeviceList::searchNote(0, 245), "245 search replies were lost by the system");
    EXPECT_EQ(CDeviceList::searchNote(3, 1),
              "3 further frames answered but were not listed (the list holds at most 2000); "
              "1 search reply was lost by the system");
}

TEST(DeviceList, OfflineUntilTheFrameAnswersASearchAgain) {
    CDeviceList list;
    list.addRowFromText("10.0.0.5,1,1,'Studio A','460',x,'S1'", Source::SearchReply, std::nullopt);
    list.addRowFromText("10.0.0.6,1,2,'Studio B','460',x,'S2'", Source::SearchReply, std::nullopt);
    EXPECT_TRUE(list.setOffline(0x0A000005, true));
    EXPECT_FALSE(list.setOffline(0x0A000005, true)) << "already marked";
    EXPECT_FALSE(list.setOffline(0x0A000009, true)) << "not listed";
    EXPECT_TRUE(list.rows()[0].offline);
    EXPECT_FALSE(list.rows()[1].offline);

    list.addRowFromText("10.0.0.5,1,1,'Studio A','460',x,'S1'", Source::SearchReply, std::nullopt);
    ASSERT_EQ(list.findRow(0x0A000005), 0) << "a fresh reply updates the row where it stands";
    EXPECT_FALSE(list.rows()[0].offline) << "it answered again";
}

} // namespace
} // namespace velmar
