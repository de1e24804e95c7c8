#include "settings/SettingsFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace velmar {
namespace {

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
    ASSERT_TRUE(read.accepted()) << settingsFileRefusalText(read);
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

// One row per hostile file: what the file does to the sample, and the lines
// the refusal names, in file order.
TEST(SettingsFile, RefusesAFileWithAnyLineThatIsWrong) {
    using Lines = std::vector<std::string>;
    using Edit = std::function<void(Lines&)>;
    const auto set = [](std::string key, std::string value) -> Edit {
        return [key, value](Lines& l) { setValue(l, key, value); };
    };
    struct Row {
        const char* name;
        Edit edit;
        std::vector<std::string> problems;
    };
    const Row rows[] = {
        {"misspelt key",
         [](Lines& l) { l[lineIndex(l, "SystemDelay=")] = "Sytsem Dleay=40"; },
         {"line 12: the key is \"Sytsem Dleay\", expected \"SystemDelay\""}},
        {"two lines swapped",
         [](Lines& l) {
             std::swap(l[lineIndex(l, "SampleRate=")], l[lineIndex(l, "WordClkOutMode=")]);
         },
         {"line 16: the key is \"WordClkOutMode\", expected \"SampleRate\"",
          "line 18: the key is \"SampleRate\", expected \"WordClkOutMode\""}},
        {"a line past the last setting",
         [](Lines& l) { l.push_back("Extra=5"); },
         {"line 81: the key \"Extra\" comes after the last setting (DanteMaster)"}},
        {"ID=abc", set("ID=", "abc"), {"line 3 (ID): \"abc\" is not a whole number"}},
        {"ID=NaN", set("ID=", "NaN"), {"line 3 (ID): \"NaN\" is not a whole number"}},
        {"ID=inf", set("ID=", "inf"), {"line 3 (ID): \"inf\" is not a whole number"}},
        {"ID=0x10", set("ID=", "0x10"), {"line 3 (ID): \"0x10\" is not a whole number"}},
        {"ID=7x", set("ID=", "7x"), {"line 3 (ID): \"7x\" is not a whole number"}},
        {"ID empty", set("ID=", ""), {"line 3 (ID): no value; a whole number belongs here"}},
        {"ID=100", set("ID=", "100"),
         {"line 3 (ID): 100 is not a value the settings take (0 to 99)"}},
        {"ID beyond int", set("ID=", "99999999999"),
         {"line 3 (ID): \"99999999999\" is not a whole number"}},
        {"DHCP=7", set("DHCP=", "7"),
         {"line 10 (DHCP): 7 is not a value the settings take (0 or 1)"}},
        {"MadiInMode=29", set("MadiInMode=", "29"),
         {"line 37 (MadiInMode): 29 is not a value the settings take (0 or 1)"}},
        {"SampleRateAdaptSrc=4", set("SampleRateAdaptSrc=", "4"),
         {"line 17 (SampleRateAdaptSrc): 4 is not a value the settings take (1, 3 or 5 to "
          "18)"}},
        {"priority 300", set("SyncWordPrio=", "300"),
         {"line 20 (SyncWordPrio): 300 is not a value the settings take (0 to 31)"}},
        {"AES 5", set("AesChnStMode=", "5"),
         {"line 75 (AesChnStMode): 5 is not a value the settings take (0 or 1)"}},
        {"redundancy mode -1", set("RedundancyMode=", "-1"),
         {"line 78 (RedundancyMode): -1 is not a value the settings take (0 to 2)"}},
        {"IP=999.1.2.3", set("IP=", "999.1.2.3"),
         {"line 6 (IP): \"999.1.2.3\" is not an address (four numbers from 0 to 255 separated "
          "by points)"}},
        {"DanteDNS=1.2.3", set("DanteDNS=", "1.2.3"),
         {"line 51 (DanteDNS): \"1.2.3\" is not an address (four numbers from 0 to 255 "
          "separated by points)"}},
        {"name with a comma", set("Name=", "Studio, A"),
         {"line 4 (Name): holds a quote, comma or control character"}},
        {"name too long", set("Name=", "Studio A main stage left"),
         {"line 4 (Name): is longer than 16 bytes"}},
        {"Dante name too long", set("DanteName=", std::string(40, 'b')),
         {"line 47 (DanteName): is longer than 31 bytes"}},
        {"every bad line named",
         [&](Lines& l) {
             setValue(l, "ID=", "abc");
             setValue(l, "DHCP=", "7");
             setValue(l, "Gateway=", "10.0.0.1'");
         },
         {"line 3 (ID): \"abc\" is not a whole number",
          "line 8 (Gateway): holds a quote, comma or control character",
          "line 10 (DHCP): 7 is not a value the settings take (0 or 1)"}},
    };
    const auto base = sampleSettings();
    base->deviceId = 42;
    for (const Row& row : rows) {
        auto lines = linesOf(kSampleFile);
        row.edit(lines);
        const SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
        EXPECT_FALSE(read.accepted()) << row.name;
        std::vector<std::string> texts;
        for (const CfgProblem& p : read.problems)
            texts.push_back(p.text);
        EXPECT_EQ(texts, row.problems) << row.name;
        EXPECT_TRUE(read.settings == *base) << row.name << ": a refused file changes nothing";
        EXPECT_EQ(read.refusal, std::to_string(row.problems.size()) +
                                    (row.problems.size() == 1 ? " line is" : " lines are") +
                                    " not what a device settings file holds")
            << row.name;
    }
}

// Files of another kind: each of their lines is named, up to a limit.
TEST(SettingsFile, RefusesFilesOfAnotherKind) {
    std::string shell;
    for (int i = 0; i < 70; ++i)
        shell += "export VAR" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    const auto base = std::make_unique<DeviceSettings>();
    const SettingsFileContent read = readSettingsFile(shell, *base);
    ASSERT_FALSE(read.accepted());
    ASSERT_EQ(read.problems.size(), static_cast<std::size_t>(cfg::kMaxProblemsListed));
    EXPECT_EQ(read.problemsNotListed, 70 - cfg::kMaxProblemsListed);
    EXPECT_EQ(read.problems[0].text, "line 1: the key is \"export VAR0\", expected \"ID\"");
    EXPECT_EQ(read.refusal, "70 lines are not what a device settings file holds");
    const std::string text = settingsFileRefusalText(read);
    EXPECT_THAT(text, testing::StartsWith(read.refusal + ":\nline 1: "));
    EXPECT_THAT(text, testing::EndsWith("\nand 50 more lines"));

    // A hostile key is quoted short and without control characters.
    auto lines = linesOf(kSampleFile);
    lines[lineIndex(lines, "ID=")] = "\x1b[2J" + std::string(60, 'k') + "=1";
    const SettingsFileContent hostile = readSettingsFile(joinLines(lines), *base);
    ASSERT_EQ(hostile.problems.size(), 1U);
    EXPECT_EQ(hostile.problems[0].text,
              "line 3: the key is \"?[2J" + std::string(36, 'k') + "...\", expected \"ID\"");
}

// A value outside what the pages offer passes when the settings hold it
// already (it sends nothing), so a file saved from a frame always loads back.
TEST(SettingsFile, AValueTheSettingsAlreadyHoldPasses) {
    auto held = std::make_unique<DeviceSettings>(); // a frame that reported little
    held->genRate = 0;
    held->networkSettings.ipAddress.assign("0.0.0.0.0");
    const std::string file = writeSettingsFile(*held);
    SettingsFileContent read = readSettingsFile(file, *held);
    ASSERT_TRUE(read.accepted()) << settingsFileRefusalText(read);
    EXPECT_EQ(writeSettingsFile(read.settings), file);

    const auto other = sampleSettings();
    read = readSettingsFile(file, *other);
    EXPECT_FALSE(read.accepted());
    ASSERT_EQ(read.problems.size(), 3U) << settingsFileRefusalText(read);
    EXPECT_EQ(read.problems[0].field, "IP");
    EXPECT_EQ(read.problems[1].field, "SampleRate");
    EXPECT_EQ(read.problems[2].field, "SampleRateAdaptSrc");
}

TEST(SettingsFile, TakesOnlyFilesWithTheNewerSettings) {
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

    lines.push_back("AesChnStMode=1");
    read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted()) << "the AES line completes the file";
    EXPECT_EQ(read.settings.deviceId, 7);
    EXPECT_EQ(read.settings.aesChannelStatus, 1);

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

TEST(SettingsFile, NumbersAreWholeDecimalNumbers) {
    auto lines = linesOf(kSampleFile);
    setValue(lines, "SystemDelay=", " 64\t");
    setValue(lines, "AliveTime=", "+300");
    setValue(lines, "SyncWordPrio=", "031");
    const auto base = std::make_unique<DeviceSettings>();
    const SettingsFileContent read = readSettingsFile(joinLines(lines), *base);
    ASSERT_TRUE(read.accepted()) << settingsFileRefusalText(read);
    EXPECT_EQ(read.settings.systemDelay, 64);
    EXPECT_EQ(read.settings.aliveTime, 300);
    EXPECT_EQ(read.settings.syncPriority[0], 31);

    EXPECT_EQ(cfgStrictInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(cfgStrictInteger("2147483647"), std::numeric_limits<std::int32_t>::max());
    for (const std::string_view bad : {"2147483648", "-", "+", "", " ", "1 2", "1.0", "1e3", "- 5"})
        EXPECT_EQ(cfgStrictInteger(bad), std::nullopt) << bad;
}

TEST(SettingsFile, IntegersTypedIntoCellsAreReadLeniently) {
    EXPECT_EQ(cfgIntegerValue("12"), 12);
    EXPECT_EQ(cfgIntegerValue("  \t+7x"), 7);
    EXPECT_EQ(cfgIntegerValue("-0042abc"), -42);
    EXPECT_EQ(cfgIntegerValue(""), 0);
    EXPECT_EQ(cfgIntegerValue("abc"), 0);
    EXPECT_EQ(cfgIntegerValue("- 5"), 0);
    EXPECT_EQ(cfgIntegerValue("99999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(cfgIntegerValue("-99999999999999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST(SettingsFile, SendableTexts) {
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
