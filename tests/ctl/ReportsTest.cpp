#include "session/Reports.h"

#include "../engine/EngineFakes.h"
#include "engine/CodeTables.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {
namespace {

using test::EngineRig;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using Lines = std::vector<std::string>;

// ---- helpers -------------------------------------------------------------------

Lines linesOf(std::string_view text) {
    Lines out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        out.emplace_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return out;
}

// Every report line ends in '\n' and carries no trailing blank and no control
// character.
void expectCleanText(const std::string& text) {
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    for (const std::string& line : linesOf(text)) {
        if (!line.empty()) {
            EXPECT_NE(line.back(), ' ') << "[" << line << "]";
        }
        for (char c : line)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << "[" << line << "]";
    }
}

// A strict JSON reader that only says whether the whole text is one value.
class JsonCheck {
public:
    static bool valid(std::string_view text) {
        JsonCheck j{text};
        return j.value() && (j.skip(), j.m_at == text.size());
    }

private:
    explicit JsonCheck(std::string_view t) : m_t(t) {}
    void skip() {
        while (m_at < m_t.size() && (m_t[m_at] == ' ' || m_t[m_at] == '\n'))
            ++m_at;
    }
    bool eat(char c) {
        skip();
        if (m_at < m_t.size() && m_t[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool word(std::string_view w) {
        if (m_t.substr(m_at, w.size()) != w)
            return false;
        m_at += w.size();
        return true;
    }
    bool string() {
        if (!eat('"'))
            return false;
        while (m_at < m_t.size()) {
            const auto c = static_cast<unsigned char>(m_t[m_at++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (m_at >= m_t.size() ||
                    std::string_view("\"\\/bfnrtu").find(m_t[m_at]) == std::string_view::npos)
                    return false;
                ++m_at;
            }
        }
        return false;
    }
    bool number() {
        const std::size_t start = m_at;
        if (m_at < m_t.size() && m_t[m_at] == '-')
            ++m_at;
        while (m_at < m_t.size() && m_t[m_at] >= '0' && m_t[m_at] <= '9')
            ++m_at;
        return m_at > start && m_t[m_at - 1] != '-';
    }
    bool value() {
        skip();
        if (m_at >= m_t.size())
            return false;
        switch (m_t[m_at]) {
        case '{': return members('}', true);
        case '[': return members(']', false);
        case '"': return string();
        case 't': return word("true");
        case 'f': return word("false");
        case 'n': return word("null");
        default: return number();
        }
    }
    bool members(char close, bool keyed) {
        ++m_at;
        if (eat(close))
            return true;
        do {
            if (keyed && !(string() && eat(':')))
                return false;
            if (!value())
                return false;
        } while (eat(','));
        return eat(close);
    }

    std::string_view m_t;
    std::size_t m_at = 0;
};

template <typename Write>
std::string json(Write write) {
    CJsonWriter out;
    write(out);
    EXPECT_TRUE(JsonCheck::valid(out.text())) << out.text();
    return out.take();
}

std::string statusJson(const DeviceState& s, const StatusFields& f) {
    return json([&](CJsonWriter& out) { writeStatusJson(out, s, f); });
}

std::string routesJson(const DeviceState& s) {
    return json([&](CJsonWriter& out) { writeRoutesJson(out, s); });
}

std::string planJson(const LoadPlan& p) {
    return json([&](CJsonWriter& out) { writeLoadPlanJson(out, p); });
}

// ---- status through the engine ------------------------------------------------

// What a 460 answers to the start requests and the stage-two poll.
const Lines k460Replies = {
    ":gdevid,0,1,'Frame 460'",
    ":gdevinfo,0,'460',0,'460000230001'",
    ":gip,0,0,'10.0.1.20','255.255.255.0','10.0.1.1','0050C2000001'",
    ":ghwconf,0,2,1,'460100A   230115','4601002303001'",
    ":ghwconf,0,3,1,'460310A   230115','4603102303002'",
    ":ghwconf,0,9,1,'460210A   230115','4602102303011'",
    ":ghwconf,0,10,1,'460130A   230115','4601302303012'",
    ":ghwconf,0,11,0,'',''",
    ":ghwconf,0,12,1,'460999A   230115','4609992303014'",
    ":ghwconf,0,18,1,'460810B   230115','4608102303003'",
    ":ghwconf,0,20,0,'',''",
    ":gswver,0,2,'APP','2.1.0.5'",
    ":gswver,0,3,'APP','1.4.0.2'",
    ":gswver,0,9,'APP','1.0.1.0'",
    ":gswver,0,18,'APP','4.2.1.7'",
    ":gfanconf,0,3",
    ":gpsuconf,0,3",
    ":gpsustatus,0,1,0",
    ":gpsustatus,0,2,1",
    ":gfanstatus,0,1,0",
    ":gfanstatus,0,2,0",
    ":gactrate,0,2",
    ":gsyncstat,0,2,1",
};

TEST(StatusReport, FrameOf460AsTheEngineKnowsIt) {
    EngineRig rig;
    rig.connect(kFamily460, kRunModeApplication, "10.0.1.20");
    for (const std::string& line : k460Replies)
        rig.feed(line);
    const DeviceState& s = rig.engine.state();
    const StatusFields f = rig.engine.statusFields();

    const std::string text = statusText(s, f);
    expectCleanText(text);
    EXPECT_THAT(linesOf(text), ElementsAreArray<std::string>({
                                   "Address:        10.0.1.20",
                                   "Port:           10003 (command)",
                                   "Run mode:       application",
                                   "",
                                   "ID:             1",
                                   "Name:           Frame 460",
                                   "Model:          460",
                                   "Model number:   0",
                                   "Family:         460",
                                   "Serial number:  460000230001",
                                   "",
                                   "Network mode:   0",
                                   "IP address:     10.0.1.20",
                                   "Subnet mask:    255.255.255.0",
                                   "Gateway:        10.0.1.1",
                                   "MAC address:    0050C2000001",
                                   "",
                                   "Crosspoints:    1536",
                                   "",
                                   "Versions:",
                                   "   2  main board  APP  2.1.0.5",
                                   "   3  SFP         APP  1.4.0.2",
                                   "   9  slot 1      APP  1.0.1.0",
                                   "  18  IP audio    APP  4.2.1.7",
                                   "",
                                   "Modules:",
                                   "   2  main board  460100A   230115  4601002303001",
                                   "   3  SFP         460310A   230115  4603102303002",
                                   "   9  slot 1      460210A   230115  4602102303011",
                                   "  10  slot 2      460130A   230115  4601302303012",
                                   "  12  slot 4      460999A   230115  4609992303014",
                                   "  18  IP audio    460810B   230115  4608102303003",
                                   "",
                                   "Slot 1:         SDI",
                                   "Slot 2:         AD",
                                   "Slot 3:         empty",
                                   "Slot 4:         unknown",
                                   "Slot 5:         empty",
                                   "Slot 6:         empty",
                                   "Slot 7:         empty",
                                   "Slot 8:         empty",
                                   "",
                                   "Sync source:    Word",
                                   "Sync locked:    no",
                                   "Sample rate:    48 kHz",
                                   "PSU 1:          OK",
                                   "PSU 2:          Faulty",
                                   "FAN 1:          OK",
                                   "FAN 2:          OK",
                                   "FAN 3:          not fitted",
                               }));

    const std::string j = statusJson(s, f);
    const std::string_view parts[] = {
        R"({"address":"10.0.1.20","port":10003,"runMode":"application",)",
        R"("id":1,"name":"Frame 460","model":"460","modelNumber":0,"family":"460",)",
        R"("serial":"460000230001",)",
        R"("network":{"mode":0,"address":"10.0.1.20","mask":"255.255.255.0",)"
        R"("gateway":"10.0.1.1","mac":"0050C2000001"},)",
        R"("crosspoints":1536,)",
        R"("versions":[{"module":2,"name":"main board","label":"APP","version":"2.1.0.5"},)",
        R"({"module":18,"name":"IP audio","label":"APP","version":"4.2.1.7"}],)",
        R"("modules":[{"module":2,"name":"main board","boardCode":"460100A   230115",)"
        R"("secondText":"4601002303001"},)",
        R"("cards":[{"slot":1,"type":"SDI"},{"slot":2,"type":"AD"},{"slot":3,"type":"empty"},)"
        R"({"slot":4,"type":"unknown"},)",
        R"({"slot":8,"type":"empty"}],)",
        R"("sync":{"source":"Word","locked":false},"sampleRate":"48 kHz",)",
        R"("psu":[{"unit":1,"fitted":true,"ok":true,"text":"OK"},)"
        R"({"unit":2,"fitted":true,"ok":false,"text":"Faulty"}],)",
        R"("fans":[{"unit":1,"fitted":true,"ok":true,"text":"OK"},)"
        R"({"unit":2,"fitted":true,"ok":true,"text":"OK"},)"
        R"({"unit":3,"fitted":false,"ok":null,"text":"not fitted"}],)",
        R"("notReported":[]})",
    };
    // In this order, with the parts left out between them.
    std::size_t from = 0;
    for (std::string_view part : parts) {
        const std::size_t found = j.find(part, from);
        ASSERT_NE(found, std::string::npos) << part << "\n in " << j;
        from = found + part.size();
    }
    EXPECT_EQ(from, j.size());
}

// Frames that answer less: the report holds what they said and leaves the
// rest out instead of showing it empty.
TEST(StatusReport, FamiliesAndRunModesThatKnowLess) {
    struct Row {
        const char* name;
        int family;
        int runMode;
        Lines replies;
        Lines present; // whole lines of the text
        Lines absent;  // text that must not occur
        std::string json;
    };
    const std::string ip = ":gip,0,1,'10.0.1.20','255.0.0.0','10.0.0.1','0050C2000009'";
    const std::string network = R"("network":{"mode":1,"address":"10.0.1.20","mask":"255.0.0.0",)"
                                R"("gateway":"10.0.0.1","mac":"0050C2000009"})";
    const Row rows[] = {
        {"465: identity and network only",
         kFamily465,
         kRunModeApplication,
         {":gdevid,0,3,'Frame 465'", ip},
         {"ID:            3", "Name:          Frame 465", "Family:        465", "Network mode:  1"},
         {"Model", "Serial", "Crosspoints", "Versions", "Modules", "Slot", "Sync", "Sample", "PSU",
          "FAN"},
         R"({"address":"10.0.1.20","port":10003,"runMode":"application","id":3,)"
         R"("name":"Frame 465","family":"465",)" +
             network + "}"},
        {"450: identity, model, main board",
         kFamily450,
         kRunModeApplication,
         {":gdevid,0,4,'Panel 450'", ":gdevinfo,0,'450',2,'450000230001'", ip,
          ":ghwconf,0,2,1,'450100A   230115','4501002303001'", ":gswver,0,2,'APP','1.2.0.0'"},
         {"Model:          450", "Model number:   2", "Family:         450",
          "   2  main board  APP  1.2.0.0", "   2  main board  450100A   230115  4501002303001"},
         {"Crosspoints", "Slot", "Sync", "PSU", "FAN"},
         R"({"address":"10.0.1.20","port":10003,"runMode":"application","id":4,)"
         R"("name":"Panel 450","model":"450","modelNumber":2,"family":"450",)"
         R"("serial":"450000230001",)" +
             network +
             R"(,"versions":[{"module":2,"name":"main board","label":"APP","version":"1.2.0.0"}],)"
             R"("modules":[{"module":2,"name":"main board","boardCode":"450100A   230115",)"
             R"("secondText":"4501002303001"}]})"},
        {"recovery: network and the boot version, on the telnet port",
         kFamily460,
         kRunModeRecovery,
         {ip, ":ghwconf,0,2,1,'460100A   230115','4601002303001'", ":gswver,0,2,'BOOT','1.0.0.3'"},
         {"Port:          23 (telnet)", "Run mode:      recovery", "Family:        460",
          "   2  main board  BOOT  1.0.0.3"},
         {"ID", "Name", "Model", "Crosspoints", "Slot", "Sync", "PSU", "FAN"},
         R"({"address":"10.0.1.20","port":23,"runMode":"recovery","family":"460",)" + network +
             R"(,"versions":[{"module":2,"name":"main board","label":"BOOT","version":"1.0.0.3"}],)"
             R"("modules":[{"module":2,"name":"main board","boardCode":"460100A   230115",)"
             R"("secondText":"4601002303001"}]})"},
        {"# state: the inventory but no crosspoints",
         kFamily460,
         kRunModeHash,
         {":gdevid,0,5,'Hash'", ip, ":ghwconf,0,20,0,'',''", ":gpsuconf,0,1", ":gpsustatus,0,1,0",
          ":gfanconf,0,0"},
         {"Run mode:      #", "Slot 8:        empty", "PSU 1:         OK",
          "PSU 2:         not fitted", "FAN 3:         not fitted"},
         {"Crosspoints", "Sync", "Versions"},
         R"({"address":"10.0.1.20","port":23,"runMode":"#","id":5,"name":"Hash","family":"460",)" +
             network +
             R"(,"cards":[{"slot":1,"type":"empty"},{"slot":2,"type":"empty"},)"
             R"({"slot":3,"type":"empty"},{"slot":4,"type":"empty"},)"
             R"({"slot":5,"type":"empty"},{"slot":6,"type":"empty"},)"
             R"({"slot":7,"type":"empty"},{"slot":8,"type":"empty"}],)"
             R"("psu":[{"unit":1,"fitted":true,"ok":true,"text":"OK"},)"
             R"({"unit":2,"fitted":false,"ok":null,"text":"not fitted"}],)"
             R"("fans":[{"unit":1,"fitted":false,"ok":null,"text":"not fitted"},)"
             R"({"unit":2,"fitted":false,"ok":null,"text":"not fitted"},)"
             R"({"unit":3,"fitted":false,"ok":null,"text":"not fitted"}]})"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        rig.connect(r.family, r.runMode, "10.0.1.20");
        for (const std::string& line : r.replies)
            rig.feed(line);
        const std::string text = statusText(rig.engine.state(), rig.engine.statusFields());
        expectCleanText(text);
        const Lines lines = linesOf(text);
        for (const std::string& want : r.present)
            EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end())
                << "[" << want << "] in\n"
                << text;
        for (const std::string& word : r.absent)
            EXPECT_THAT(text, Not(HasSubstr(word)));
        // No section is left empty: never two blank lines running, none at the ends.
        EXPECT_THAT(text, Not(HasSubstr("\n\n\n")));
        EXPECT_NE(lines.front(), "");
        EXPECT_NE(lines.back(), "");
        // Complete for what each frame is asked; the list of gaps is always there.
        EXPECT_EQ(statusJson(rig.engine.state(), rig.engine.statusFields()),
                  r.json.substr(0, r.json.size() - 1) + R"(,"notReported":[]})");
    }
}

// A 460 built by hand: every card type, module names at the edges of their
// ranges, and texts from the frame that a terminal must not interpret.
TEST(StatusReport, CardNamesModuleNamesAndFrameTexts) {
    DeviceState s;
    s.reset(true, 0x0A000114);
    s.connectedAddress = "10.0.1.20";
    s.family = kFamily461;
    s.settings.deviceId = 9;
    s.settings.deviceName.assign("Bad\x1b[2J\"name\r");
    const std::pair<int, const char*> cards[] = {
        {kCardTypeSdi, "SDI"},   {kCardTypeAd, "AD"},
        {kCardTypeDa, "DA"},     {kCardTypeAes, "AES"},
        {kCardTypeMadi, "MADI"}, {kCardTypeAd2, "AD two-channel"},
        {kCardTypeEq, "EQ"},     {kCardTypeNoPorts, "card without ports"},
    };
    for (int slot = 1; slot <= kCardSlots; ++slot) {
        s.settings.cards[static_cast<std::size_t>(slot)].cardType = cards[slot - 1].first;
        s.settings.hwConf[static_cast<std::size_t>(kModuleFirstCard + slot - 1)].present = 1;
    }
    const std::pair<int, const char*> modules[] = {
        {1, "module 1"}, {2, "main board"}, {3, "SFP"},       {8, "module 8"},   {9, "slot 1"},
        {16, "slot 8"},  {17, "module 17"}, {18, "IP audio"}, {20, "module 20"},
    };
    for (const auto& [module, name] : modules) {
        SwVersionRecord& v = s.settings.swVersion[static_cast<std::size_t>(module)];
        v.first[0].assign("L");
        v.second[0].assign("1.0.0." + std::to_string(module));
        v.first[1].assign("other");
        v.second[1].assign("9.9.9.9"); // only the first pair is the version
    }
    s.settings.swVersion[4].first[0].assign("label without version"); // not listed

    const std::string text = statusText(s, {});
    expectCleanText(text);
    const Lines lines = linesOf(text);
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("Name:         Bad\\x1B[2J\"name\\x0D")) << text;
    for (int slot = 1; slot <= kCardSlots; ++slot)
        EXPECT_TRUE(has("Slot " + std::to_string(slot) + ":       " + cards[slot - 1].second))
            << slot << "\n"
            << text;
    std::string versions;
    for (const auto& [module, name] : modules)
        versions += "\n  " + std::string(module < 10 ? " " : "") + std::to_string(module) + "  " +
                    name + std::string(11 - std::string_view(name).size(), ' ') + " L  1.0.0." +
                    std::to_string(module);
    EXPECT_THAT(text, HasSubstr("Versions:" + versions + "\n\n")) << text;
    EXPECT_THAT(text, Not(HasSubstr("9.9.9.9")));
    EXPECT_THAT(text, Not(HasSubstr("label without version")));
    // No status fields reported: no sync, rate or lock lines; the units say
    // so rather than "OK".
    EXPECT_THAT(text, Not(HasSubstr("Sync")));
    EXPECT_TRUE(has("FAN 2:        not reported"));

    const std::string j = statusJson(s, {});
    EXPECT_THAT(j, HasSubstr(R"("name":"Bad\u001b[2J\"name\r")"));
    EXPECT_THAT(j, HasSubstr(R"({"slot":6,"type":"AD two-channel"})"));
    EXPECT_THAT(j,
                HasSubstr(R"({"module":20,"name":"module 20","label":"L","version":"1.0.0.20"})"));
    EXPECT_THAT(j, Not(HasSubstr("\"sync\"")));
    EXPECT_THAT(j, Not(HasSubstr("\"network\"")));
}

// ---- routes ---------------------------------------------------------------------

DeviceState frameWith(int family, const char* version) {
    DeviceState s;
    s.reset(true, 0x0A000114);
    s.family = family;
    s.settings.swVersion[kModuleMainBoard].second[0].assign(version);
    return s;
}

TEST(RoutesReport, NamesAtTheChannelBoundaries) {
    struct Row {
        const char* name;
        int family;
        const char* version;
        std::vector<std::pair<int, int>> routes; // output, input
        Lines text;
        std::string json;
    };
    const std::vector<std::pair<int, int>> edges = {
        {1, 1}, {512, 513}, {513, 1536}, {1024, 976}, {1025, 1024}, {1536, 1025}, {7, 0}, {8, -1},
    };
    const Row rows[] = {
        {"1536 outputs",
         kFamily460,
         "2.0.0.1",
         edges,
         {
             "OUTPUT                INPUT",
             "   1  CARD1  01   <-     1  CARD1  01",
             " 512  CARD8  64   <-   513  AES  01",
             " 513  AES  01     <-  1536  CARD8  128",
             "1024  CHN  1024   <-   976  IP  64",
             "1025  CARD1  65   <-  1024  CHN  1024",
             "1536  CARD8  128  <-  1025  CARD1  65",
         },
         R"({"crosspoints":1536,"routes":[)"
         R"({"output":1,"outputName":"CARD1  01","input":1,"inputName":"CARD1  01"},)"
         R"({"output":512,"outputName":"CARD8  64","input":513,"inputName":"AES  01"},)"
         R"({"output":513,"outputName":"AES  01","input":1536,"inputName":"CARD8  128"},)"
         R"({"output":1024,"outputName":"CHN  1024","input":976,"inputName":"IP  64"},)"
         R"({"output":1025,"outputName":"CARD1  65","input":1024,"inputName":"CHN  1024"},)"
         R"({"output":1536,"outputName":"CARD8  128","input":1025,"inputName":"CARD1  65"}]})"},
        {"1024 outputs: the second bank is not the frame's",
         kFamily461,
         "2.0.0.1",
         edges,
         {
             "OUTPUT                INPUT",
             "   1  CARD1  01   <-     1  CARD1  01",
             " 512  CARD8  64   <-   513  AES  01",
             " 513  AES  01     <-  1536  CARD8  128",
             "1024  CHN  1024   <-   976  IP  64",
         },
         {}},
        {"nothing connected",
         kFamily460,
         "2.0.0.1",
         {{3, 0}, {4, -2}},
         {"no crosspoints connected"},
         R"({"crosspoints":1536,"routes":[]})"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceState s = frameWith(r.family, r.version);
        for (const auto& [output, input] : r.routes)
            s.live.crosspoints[static_cast<std::size_t>(output)] = input;
        const std::string text = routesText(s);
        expectCleanText(text);
        EXPECT_THAT(linesOf(text), ElementsAreArray(r.text)) << text;
        const std::string j = routesJson(s);
        if (!r.json.empty()) {
            EXPECT_EQ(j, r.json);
        }
    }
}

TEST(RoutesReport, LabelsStandBesideTheNamesAndAreEscaped) {
    DeviceState s = frameWith(kFamily460, "2.0.0.1");
    s.live.crosspoints[1] = 513;
    s.settings.outputLabels[1].assign("Desk 1");
    s.settings.inputLabels[513].assign("Kick\x1b[2J");
    const std::string text = routesText(s);
    expectCleanText(text);
    EXPECT_THAT(linesOf(text)[1],
                ::testing::HasSubstr("CARD1  01  Desk 1  <-   513  AES  01  Kick"));
    EXPECT_EQ(routesJson(s),
              R"({"crosspoints":1536,"routes":[{"output":1,"outputName":"CARD1  01",)"
              R"("outputLabel":"Desk 1","input":513,"inputName":"AES  01",)"
              R"("inputLabel":"Kick\u001b[2J"}]})");
}

// ---- xpt load --dry-run -----------------------------------------------------------

TEST(LoadPlan, WhatLoadingAFileWouldChange) {
    struct Row {
        const char* name;
        int family;
        const char* version;
        int readCount; // the count the file is read for
        std::string file;
        std::vector<CrosspointChange> changes;
        int unchanged;
        int entries;
    };
    // On the frame: 1 <- 5, 2 <- 7, 4 <- 9, 1024 <- 3, 1030 <- 8.
    const std::string mixed = "; saved crosspoints\r\n"
                              "1=1,5\r\n"    // already set
                              "2=2,8\r\n"    // changes 7 -> 8
                              "3=3,12\r\n"   // new
                              "4=4,0\r\n"    // not sent: stays at 9
                              "5=1024,1\r\n" // last output of a 1024 frame
                              "6=1025,3\r\n" // beyond a 1024 frame
                              "7=6,1025\r\n" // input beyond a 1024 frame
                              "8=2,8\r\n";   // repeated: same entry
    const Row rows[] = {
        {"changed, unchanged, new and beyond the count",
         kFamily461,
         "2.0.0.1",
         1024,
         mixed,
         {{2, 7, 8}, {3, 0, 12}, {1024, 3, 1}},
         1,
         4},
        {"the same file on a 1536 frame reaches the second bank",
         kFamily460,
         "2.0.0.1",
         1536,
         mixed,
         {{2, 7, 8}, {3, 0, 12}, {6, 0, 1025}, {1024, 3, 1}, {1025, 0, 3}},
         1,
         6},
        {"a table read for more outputs than the frame has",
         kFamily461,
         "2.0.0.1",
         1536,
         "1=1030,8\r\n2=1,5\r\n",
         {},
         1,
         1},
        {"an empty file", kFamily460, "2.0.0.1", 1536, "", {}, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceState s = frameWith(r.family, r.version);
        for (const auto& [output, input] : std::initializer_list<std::pair<int, int>>{
                 {1, 5}, {2, 7}, {4, 9}, {1024, 3}, {1030, 8}})
            s.live.crosspoints[static_cast<std::size_t>(output)] = input;
        const LoadPlan plan = planCrosspointLoad(s, readCrosspointFile(r.file, r.readCount));
        EXPECT_THAT(plan.changes, ElementsAreArray(r.changes));
        EXPECT_EQ(plan.unchanged, r.unchanged);
        EXPECT_EQ(plan.entries, r.entries);
    }
}

TEST(LoadPlan, TextAndJson) {
    DeviceState s = frameWith(kFamily460, "2.0.0.1");
    s.live.crosspoints[2] = 7;
    s.live.crosspoints[1536] = 1536;
    s.live.crosspoints[9] = 4;
    const LoadPlan plan =
        planCrosspointLoad(s, readCrosspointFile("1=2,513\r\n2=3,1\r\n3=1536,1536\r\n4=9,4\r\n"
                                                 "5=1025,976\r\n",
                                                 s.crosspointCount()));
    const std::string text = loadPlanText(plan);
    expectCleanText(text);
    EXPECT_THAT(linesOf(text), ElementsAreArray<std::string>({
                                   "output    2  CARD1  02:   CARD1  07   ->  AES  01",
                                   "output    3  CARD1  03:   none        ->  CARD1  01",
                                   "output 1025  CARD1  65:   none        ->  IP  64",
                                   "3 of 5 entries would change, 2 already set",
                               }));
    EXPECT_EQ(planJson(plan),
              R"({"entries":5,"changed":3,"unchanged":2,"changes":[)"
              R"({"output":2,"outputName":"CARD1  02","from":7,"fromName":"CARD1  07",)"
              R"("to":513,"toName":"AES  01"},)"
              R"({"output":3,"outputName":"CARD1  03","from":0,"fromName":null,)"
              R"("to":1,"toName":"CARD1  01"},)"
              R"({"output":1025,"outputName":"CARD1  65","from":0,"fromName":null,)"
              R"("to":976,"toName":"IP  64"}],)"
              R"("leftOut":{"lines":0,"channelsNotOnFrame":0,"unreadable":0}})");

    const LoadPlan nothing = planCrosspointLoad(s, readCrosspointFile("", 1536));
    EXPECT_EQ(loadPlanText(nothing), "0 of 0 entries would change, 0 already set\n");
    EXPECT_EQ(planJson(nothing), R"({"entries":0,"changed":0,"unchanged":0,"changes":[],)"
                                 R"("leftOut":{"lines":0,"channelsNotOnFrame":0,"unreadable":0}})");
}

TEST(LoadPlan, SaysWhatTheFileLeftOut) {
    DeviceState s = frameWith(kFamily461, "2.0.0.1"); // 1024 crosspoints
    s.live.crosspoints[2] = 7;
    const CrosspointFileContent file = parseCrosspointFile(
        "1=2,7\r\n2=3,1\r\n3=1100,1\r\n4=5,1200\r\n5=no route\r\n", s.crosspointCount());
    const LoadPlan plan = planCrosspointLoad(s, file.table, file.leftOut);
    EXPECT_EQ(plan.entries, 2);
    EXPECT_THAT(linesOf(loadPlanText(plan)),
                ElementsAreArray<std::string>({
                    "output    3  CARD1  03:   none        ->  CARD1  01",
                    "1 of 2 entries would change, 1 already set",
                    "left out 3 lines: 2 for channels this frame does not have, 1 unreadable",
                }));
    const std::string json = planJson(plan);
    EXPECT_NE(json.find(R"("leftOut":{"lines":3,"channelsNotOnFrame":2,"unreadable":1})"),
              std::string::npos)
        << json;
}

} // namespace
} // namespace velmar
