#include "settings/SettingsFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace velmar {
namespace {

using Kind = CfgValueNote::Kind;

// Every value the file carries set to something distinct, so a value read into
// the wrong field shows.
std::unique_ptr<DeviceSettings> sampleSettings() {
    auto s = std::make_unique<DeviceSettings>();
    s->deviceId = 7;
    s->deviceName.assign("Studio A");
    s->networkSettings.ipAddress.assign("192.168.0.20");
    s->networkSettings.subnetMask.assign("255.255.255.0");
    s->networkSettings.gateway.assign("192.168.0.1");
    s->networkSettings.macAddress.assign("0050C2AB0001");
    s->networkSettings.mode = 0;
    s->systemDelay = 12;
    s->aliveTime = 30;
    s->genRate = 2;
    s->rateAdaptSource = 16;
    s->wordClockOut = 1;
    for (std::size_t i = 0; i < s->syncPriority.size(); ++i)
        s->syncPriority[i] = static_cast<std::uint8_t>(i + 1);
    s->syncTerm = 1;
    s->madiInMode[1].values = {1, 0, 0, 0, 0};
    s->madiOutMode[1].modes = {0, 1, 0, 1};
    s->madiOutMode[1].dsdMode = 1;
    s->phdMode = {1, 2, 3};
    s->ipAudio.moduleName.assign("brooklyn-stage-left");
    s->ipAudio.primary = {0, {}, {}, {}, {}, {}};
    s->ipAudio.primary.ipAddress.assign("10.0.0.5");
    s->ipAudio.primary.subnetMask.assign("255.0.0.0");
    s->ipAudio.primary.gateway.assign("10.0.0.1");
    s->ipAudio.primary.dns.assign("10.0.0.2");
    s->ipAudio.primary.macAddress.assign("001DC1000001");
    s->ipAudio.sampleRateEnable = 1;
    s->ipAudio.switchMode = 1;
    s->ipAudio.secondary.mode = 1;
    s->ipAudio.secondary.ipAddress.assign("0.0.0.0");
    s->ipAudio.secondary.subnetMask.assign("0.0.0.0");
    s->ipAudio.secondary.gateway.assign("0.0.0.0");
    s->ipAudio.secondary.dns.assign("0.0.0.0");
    s->optMode[1].value = 1;
    s->madiInMode[2].values[0] = 1;
    s->madiOutMode[2].modes = {0, 0, 1, 1};
    s->madiOutMode[2].dsdMode = 0;
    s->optMode[2].value = 2;
    s->madiInMode[3].values[0] = 0;
    s->madiOutMode[3].modes = {0, 1, 1, 0};
    s->madiOutMode[3].dsdMode = 1;
    s->aesChannelStatus = 1;
    s->optRedundancy = {1, 2};
    s->ipAudio.preferredMaster = 1;
    return s;
}

constexpr std::string_view kSampleFile = "[Device settings]\r\n"
                                         "--- ID ---\r\n"
                                         "ID=7\r\n"
                                         "Name=Studio A\r\n"
                                         "--- LAN ---\r\n"
                                         "IP=192.168.0.20\r\n"
                                         "Subnet=255.255.255.0\r\n"
                                         "Gateway=192.168.0.1\r\n"
                                         "MAC=0050C2AB0001\r\n"
                                         "DHCP=0\r\n"
                                         "--- System delay ---\r\n"
                                         "SystemDelay=12\r\n"
                                         "--- Alive time ---\r\n"
                                         "AliveTime=30\r\n"
                                         "--- General sample rate ---\r\n"
                                         "SampleRate=2\r\n"
                                         "SampleRateAdaptSrc=16\r\n"
                                         "WordClkOutMode=1\r\n"
                                         "--- Sync priority ---\r\n"
                                         "SyncWordPrio=1\r\n"
                                         "SyncAES11Prio=2\r\n"
                                         "SyncVideoPrio=3\r\n"
                                         "SyncAES1Prio=4\r\n"
                                         "SyncAES2Prio=5\r\n"
                                         "SyncAES3Prio=6\r\n"
                                         "SyncAES4Prio=7\r\n"
                                         "SyncAES5Prio=8\r\n"
                                         "SyncAES6Prio=9\r\n"
                                         "SyncAES7Prio=10\r\n"
                                         "SyncAES8Prio=11\r\n"
                                         "SyncMadiPrio=14\r\n"
                                         "SyncSFP1Prio=15\r\n"
                                         "SyncSFP2Prio=16\r\n"
                                         "SyncIPPrio=17\r\n"
                                         "SyncTermEnable=1\r\n"
                                         "--- Madi coax ---\r\n"
                                         "MadiInMode=1\r\n"
                                         "MadiOutChnSt=1\r\n"
                                         "MadiOutLegFr=0\r\n"
                                         "MadiOutMode=1\r\n"
                                         "MadiOutDsdMode=1\r\n"
                                         "--- PHD ---\r\n"
                                         "PortCfg=1\r\n"
                                         "EmuMode1=2\r\n"
                                         "EmuMode2=3\r\n"
                                         "--- Dante module ---\r\n"
                                         "DanteName=brooklyn-stage-left\r\n"
                                         "DanteIP=10.0.0.5\r\n"
                                         "DanteSubnet=255.0.0.0\r\n"
                                         "DanteGW=10.0.0.1\r\n"
                                         "DanteDNS=10.0.0.2\r\n"
                                         "DanteMAC=001DC1000001\r\n"
                                         "DanteDHCP=0\r\n"
                                         "DanteSRate=1\r\n"
                                         "DanteSwMode=1\r\n"
                                         "DanteSecIP=0.0.0.0\r\n"
                                         "DanteSecSubnet=0.0.0.0\r\n"
                                         "DanteSecGW=0.0.0.0\r\n"
                                         "DanteSecDNS=0.0.0.0\r\n"
                                         "DanteSecDHCP=1\r\n"
                                         "--- Optional module ---\r\n"
                                         "OptMod1Mode=1\r\n"
                                         "MadiMod1InMode=1\r\n"
                                         "MadiMod1OutChnSt=0\r\n"
                                         "MadiMod1OutLegFr=1\r\n"
                                         "MadiMod1OutMode=1\r\n"
                                         "MadiMod1OutDsdMode=0\r\n"
                                         "OptMod2Mode=2\r\n"
                                         "MadiMod2InMode=0\r\n"
                                         "MadiMod2OutChnSt=1\r\n"
                                         "MadiMod2OutLegFr=1\r\n"
                                         "MadiMod2OutMode=0\r\n"
                                         "MadiMod2OutDsdMode=1\r\n"
                                         "--- AES ---\r\n"
                                         "AesChnStMode=1\r\n"
                                         "--- Optional module ---\r\n"
                                         "RedundancyEnable=1\r\n"
                                         "RedundancyMode=2\r\n"
                                         "--- Dante module ---\r\n"
                                         "DanteMaster=1\r\n";

// The file's lines, CR LF removed.
std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

// Index in linesOf(kSampleFile) of the line with this key.
std::size_t lineIndex(const std::vector<std::string>& lines, std::string_view key) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].starts_with(key))
            return i;
    ADD_FAILURE() << "no line " << key;
    return 0;
}

void setValue(std::vector<std::string>& lines, std::string_view key, std::string_view value) {
    lines[lineIndex(lines, key)] = std::string(key) + std::string(value);
}

TEST(SettingsFile, WritesEveryLineInItsPlace) {
    const auto s = sampleSettings();
    EXPECT_EQ(writeSettingsFile(*s), kSampleFile);
}

TEST(SettingsFile, RoundTripGivesTheSameSettings) {
    const auto s = sampleSettings();
    const auto base = std::make_unique<DeviceSettings>();
    const SettingsFileContent read = readSettingsFile(writeSettingsFile(*s), *base);
    ASSERT_TRUE(read.accepted()) << read.refusal;
    EXPECT_TRUE(read.notes.empty());
    EXPECT_EQ(read.settingLines, cfg::kSettingLines);

    // Everything but the MACs, which a file never sets.
    auto expected = std::make_unique<DeviceSettings>(*s);
    expected->networkSettings.macAddress.clear();
    expected->ipAudio.primary.macAddress.clear();
    expected->syncPriority[11] = 0; // PHD 1 and 2: not in the file
    expected->syncPriority[12] = 0;
    EXPECT_TRUE(read.settings == *expected);
    EXPECT_EQ(writeSettingsFile(read.settings), writeSettingsFile(*expected));
}

TEST(SettingsFile, FieldsOutsideTheFileKeepTheirValues) {
    auto base = std::make_unique<DeviceSettings>();
    base->syncPriority[11] = 9;
    base->hotlinkInMode[1].value = 1;
    base->ipAudio.latency = 1500;
    base->cards[3].cardType = 5;
    base->networkSettings.macAddress.assign("AABBCCDDEEFF");
    auto lines = linesOf(kSampleFile);
    setValue(lines, "MAC=", "112233445566");
    setValue(lines, "DanteMAC=", "665544332211");
    const SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settings.syncPriority[11], 9);
    EXPECT_EQ(read.settings.hotlinkInMode[1].value, 1);
    EXPECT_EQ(read.settings.ipAudio.latency, 1500);
    EXPECT_EQ(read.settings.cards[3].cardType, 5);
    EXPECT_EQ(read.settings.networkSettings.macAddress.view(), "AABBCCDDEEFF");
    EXPECT_EQ(read.settings.ipAudio.primary.macAddress.view(), "");
}

TEST(SettingsFile, ReadsByPositionNotByKey) {
    auto lines = linesOf(kSampleFile);
    // Misspelt and swapped keys change nothing: the values land by position.
    lines[lineIndex(lines, "SystemDelay=")] = "Sytsem Dleay=40";
    lines[lineIndex(lines, "AliveTime=")] = "SystemDelay=50";
    const auto base = std::make_unique<DeviceSettings>();
    SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settings.systemDelay, 40);
    EXPECT_EQ(read.settings.aliveTime, 50);

    // One extra "=" line early shifts every later value by one field.
    lines = linesOf(kSampleFile);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lineIndex(lines, "Name=")),
                 "Comment=3");
    read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settings.deviceName.view(), "3") << "the comment's value is the name";
    EXPECT_EQ(read.settings.networkSettings.ipAddress.view(), "Studio A");
    EXPECT_EQ(read.settings.systemDelay, 0) << "the DHCP value, shifted";
    EXPECT_EQ(read.settings.aliveTime, 12);
    EXPECT_EQ(read.settings.aesChannelStatus, 1) << "the last MADI value, shifted";
    EXPECT_EQ(read.settings.ipAudio.preferredMaster, 2) << "the redundancy mode, shifted";
}

TEST(SettingsFile, TakesOnlyFilesWithTheNewerSettings) {
    const auto s = sampleSettings();
    auto base = std::make_unique<DeviceSettings>();
    base->deviceId = 42;
    auto lines = linesOf(kSampleFile);
    // Up to "MadiMod2OutDsdMode=": 62 settings lines, as files of older versions.
    lines.resize(lineIndex(lines, "--- AES ---"));
    SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
    EXPECT_FALSE(read.accepted());
    EXPECT_EQ(read.settingLines, 62);
    EXPECT_THAT(read.refusal, testing::HasSubstr("62 settings lines"));
    EXPECT_EQ(read.settings.deviceId, 42) << "a refused file changes nothing";

    lines.push_back("AesChnStMode=3");
    read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted()) << "the AES line, whatever its value, completes the file";
    EXPECT_EQ(read.settings.deviceId, 7);
    EXPECT_EQ(read.settings.aesChannelStatus, 0);

    // Beyond the last setting, lines are counted and ignored.
    lines = linesOf(kSampleFile);
    lines.push_back("Extra=5");
    lines.push_back("More=6");
    read = readSettingsFile(joinLines(lines), *s);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settingLines, 68);
    EXPECT_TRUE(read.settings == *s);

    EXPECT_FALSE(readSettingsFile("", *base).accepted());
    EXPECT_FALSE(readSettingsFile("[Device settings]\r\n--- ID ---\r\n", *base).accepted());
}

TEST(SettingsFile, AcceptsLineFeedsAloneAndALastLineWithoutEnd) {
    std::string text(kSampleFile);
    std::string lf;
    for (const char c : text)
        if (c != '\r')
            lf += c;
    lf.pop_back(); // no end after "DanteMaster=1"
    const auto base = std::make_unique<DeviceSettings>();
    const SettingsFileContent read = readSettingsFile(lf, *base);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settings.deviceName.view(), "Studio A") << "no CR left in a text";
    EXPECT_EQ(read.settings.ipAudio.preferredMaster, 1);
}

TEST(SettingsFile, ClampsWhereThePagesHaveFewerEntries) {
    struct Row {
        const char* name;
        std::string_view key;
        std::string_view value;
        std::int32_t DeviceSettings::*plain;
        int redundancyIndex; // -1: plain field
        std::int32_t expected;
    };
    const Row rows[] = {
        {"aes 5 -> 0", "AesChnStMode=", "5", &DeviceSettings::aesChannelStatus, -1, 0},
        {"aes 1 stays", "AesChnStMode=", "1", &DeviceSettings::aesChannelStatus, -1, 1},
        {"aes -3 stays negative", "AesChnStMode=", "-3", &DeviceSettings::aesChannelStatus, -1, -3},
        {"enable 2 -> 0", "RedundancyEnable=", "2", nullptr, 0, 0},
        {"mode 3 -> 0", "RedundancyMode=", "3", nullptr, 1, 0},
        {"mode 2 stays", "RedundancyMode=", "2", nullptr, 1, 2},
        {"mode -1 stays", "RedundancyMode=", "-1", nullptr, 1, -1},
        {"no clamp elsewhere", "SampleRate=", "11", &DeviceSettings::genRate, -1, 11},
        {"system delay as given", "SystemDelay=", "-5", &DeviceSettings::systemDelay, -1, -5},
    };
    const auto base = std::make_unique<DeviceSettings>();
    for (const Row& row : rows) {
        auto lines = linesOf(kSampleFile);
        setValue(lines, row.key, row.value);
        const SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
        ASSERT_TRUE(read.accepted()) << row.name;
        const std::int32_t got =
            row.plain != nullptr
                ? read.settings.*row.plain
                : read.settings.optRedundancy[static_cast<std::size_t>(row.redundancyIndex)];
        EXPECT_EQ(got, row.expected) << row.name;
    }
}

TEST(SettingsFile, PriorityKeepsItsLowByte) {
    auto lines = linesOf(kSampleFile);
    setValue(lines, "SyncWordPrio=", "300");
    setValue(lines, "SyncIPPrio=", "-1");
    setValue(lines, "SyncMadiPrio=", " 31 (lowest)");
    const auto base = std::make_unique<DeviceSettings>();
    const SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settings.syncPriority[0], 44);
    EXPECT_EQ(read.settings.syncPriority[16], 255);
    EXPECT_EQ(read.settings.syncPriority[13], 31);
}

TEST(SettingsFile, IntegersAreReadLeniently) {
    EXPECT_EQ(cfgIntegerValue("12"), 12);
    EXPECT_EQ(cfgIntegerValue("  \t+7x"), 7);
    EXPECT_EQ(cfgIntegerValue("-0042abc"), -42);
    EXPECT_EQ(cfgIntegerValue(""), 0);
    EXPECT_EQ(cfgIntegerValue("abc"), 0);
    EXPECT_EQ(cfgIntegerValue("- 5"), 0);
    EXPECT_EQ(cfgIntegerValue("99999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(cfgIntegerValue("-99999999999999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST(SettingsFile, OverlongTextsAreCutToTheirField) {
    auto lines = linesOf(kSampleFile);
    setValue(lines, "Name=", "Studio A main stage left"); // 24 > 16
    setValue(lines, "IP=", "192.168.100.200.7");          // 17 > 15
    setValue(lines, "DanteName=", std::string(40, 'b'));  // 40 > 31
    setValue(lines, "DanteSecDNS=", "0.0.0.0");           // fits
    const auto base = std::make_unique<DeviceSettings>();
    const SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settings.deviceName.view(), "Studio A main st");
    EXPECT_EQ(read.settings.networkSettings.ipAddress.view(), "192.168.100.200");
    EXPECT_EQ(read.settings.ipAudio.moduleName.view(), std::string(31, 'b'));
    EXPECT_EQ(read.settings.ipAudio.moduleName.chars.back(), '\0');
    EXPECT_THAT(read.notes, testing::ElementsAre(CfgValueNote{Kind::Cut, 4, "Name", 16},
                                                 CfgValueNote{Kind::Cut, 6, "IP", 15},
                                                 CfgValueNote{Kind::Cut, 47, "DanteName", 31}));
    EXPECT_EQ(settingsFileNotesText(read.notes),
              "Line 4 (Name): too long, cut to 16 characters.\n"
              "Line 6 (IP): too long, cut to 15 characters.\n"
              "Line 47 (DanteName): too long, cut to 31 characters.");
}

TEST(SettingsFile, TextsThatCannotTravelAreNotTaken) {
    const auto base = sampleSettings();
    base->deviceName.assign("Old name");
    base->ipAudio.primary.gateway.assign("10.9.9.9");
    auto lines = linesOf(kSampleFile);
    setValue(lines, "Name=", "Studio, A");
    setValue(lines, "Gateway=", "10.0.0.1'");
    setValue(lines, "DanteName=", "stage\"left");
    setValue(lines, "DanteGW=", "10.0.0.\t1");
    setValue(lines, "SystemDelay=", "33");
    const SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted()) << "the rest of the file loads";
    EXPECT_EQ(read.settings.deviceName.view(), "Old name");
    EXPECT_EQ(read.settings.networkSettings.gateway.view(), "192.168.0.1");
    EXPECT_EQ(read.settings.ipAudio.moduleName.view(), "brooklyn-stage-left");
    EXPECT_EQ(read.settings.ipAudio.primary.gateway.view(), "10.9.9.9");
    EXPECT_EQ(read.settings.systemDelay, 33);
    EXPECT_EQ(read.settings.networkSettings.ipAddress.view(), "192.168.0.20");
    EXPECT_THAT(read.notes, testing::ElementsAre(CfgValueNote{Kind::Refused, 4, "Name", 0},
                                                 CfgValueNote{Kind::Refused, 8, "Gateway", 0},
                                                 CfgValueNote{Kind::Refused, 47, "DanteName", 0},
                                                 CfgValueNote{Kind::Refused, 50, "DanteGW", 0}));
    EXPECT_EQ(settingsFileNotesText({read.notes[0]}),
              "Line 4 (Name): not taken, it holds a quote, comma or control character.");

    EXPECT_TRUE(isSendableSettingsText("Studio A-2 (main)"));
    EXPECT_TRUE(isSendableSettingsText(""));
    for (const std::string_view bad : std::initializer_list<std::string_view>{
             "a,b", "a'b", "a\"b", "a\x7f", "a\nb", std::string_view("a\0b", 3)})
        EXPECT_FALSE(isSendableSettingsText(bad)) << bad;
}

TEST(SettingsFile, RefusesBinaryFiles) {
    std::string text(kSampleFile);
    text.insert(text.find("ID=7") + 3, 1, '\0');
    auto base = std::make_unique<DeviceSettings>();
    base->deviceId = 42;
    const SettingsFileContent read = readSettingsFile(text, *base);
    EXPECT_FALSE(read.accepted());
    EXPECT_THAT(read.refusal, testing::HasSubstr("NUL"));
    EXPECT_EQ(read.settings.deviceId, 42);
}

TEST(SettingsFile, WriterKeepsOneLinePerSetting) {
    // A name with a line break (from a frame that sent one) would otherwise
    // become two lines and shift every setting after it.
    auto s = sampleSettings();
    s->deviceName.assign("Studio\r\nA");
    const std::string text = writeSettingsFile(*s);
    EXPECT_THAT(text, testing::HasSubstr("\r\nName=StudioA\r\n"));
    const auto base = std::make_unique<DeviceSettings>();
    const SettingsFileContent read = readSettingsFile(text, *base);
    ASSERT_TRUE(read.accepted());
    EXPECT_EQ(read.settings.networkSettings.ipAddress.view(), "192.168.0.20");
    EXPECT_EQ(read.settings.ipAudio.preferredMaster, 1);
}

} // namespace
} // namespace velmar
