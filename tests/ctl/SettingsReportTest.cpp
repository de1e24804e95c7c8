#include "ctl/SettingsReport.h"

#include "ctl/CtlOptions.h"
#include "protocol/JsonWriter.h"
#include "engine/SettingsApply.h"
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using O = CSettingsReplyTracker::Outcome;

DeviceMessage reply(CommandId id, std::int32_t status) {
    DeviceMessage m = DeviceMessage::request(id);
    m.flags = FlagReply;
    m.status = status;
    return m;
}

DeviceMessage setRequest(CommandId id, std::int32_t value) {
    DeviceMessage m = DeviceMessage::request(id);
    m.setI(1, value);
    return m;
}

TEST(SettingsReport, GroupsHoldEveryFileSettingUnderItsSection) {
    DeviceSettings s;
    s.systemDelay = 12;
    s.deviceName.assign("Stage left");
    const std::vector<SettingsGroup> groups = settingsGroups(s);
    int values = 0;
    const SettingsGroup* delay = nullptr;
    for (const SettingsGroup& g : groups) {
        values += static_cast<int>(g.values.size());
        EXPECT_FALSE(g.name.empty());
        EXPECT_EQ(g.name.find('-'), std::string::npos) << g.name;
        if (g.name == "System delay")
            delay = &g;
    }
    // Every line the reader takes is shown, none twice, none invented.
    EXPECT_EQ(values, readSettingsFile(writeSettingsFile(s), s).settingLines);
    ASSERT_NE(delay, nullptr);
    ASSERT_EQ(delay->values.size(), 1U);
    EXPECT_EQ(delay->values[0], (std::pair<std::string, std::string>{"SystemDelay", "12"}));
    EXPECT_NE(settingsText(s).find("[System delay]\n  SystemDelay = 12\n"), std::string::npos)
        << settingsText(s);
    EXPECT_NE(settingsText(s).find("  Name = Stage left\n"), std::string::npos);
}

TEST(SettingsReport, FrameTextsAreEscapedForTheTerminalButNotInJson) {
    DeviceSettings s;
    s.deviceName.assign("a\x1b[2Jb");
    // The writer drops control characters, so the escape sequence cannot
    // clear a terminal; what is left still shows as the frame has it.
    const std::string text = settingsText(s);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    CJsonWriter out;
    writeSettingsJson(out, s);
    EXPECT_EQ(out.text().find('\x1b'), std::string::npos);
    EXPECT_NE(out.text().find("{\"name\":\"System delay\",\"values\":{\"SystemDelay\":\"0\"}}"),
              std::string::npos)
        << out.text();
    EXPECT_EQ(out.text().substr(0, 11), "{\"groups\":[");
}

TEST(SettingsReport, PlannedRequestsPrintAsTheyGoOnTheWire) {
    DeviceSettings before;
    DeviceSettings after = before;
    after.systemDelay = 12;
    const SettingsApplyPlan plan = planSettingsApply(before, after, SettingsApplyContext{});
    const std::vector<std::string> lines = requestLines(plan.requests);
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0], "&ssystemdelay,12");
    EXPECT_TRUE(requestLines(planSettingsApply(before, before, {}).requests).empty());
}

TEST(SettingsReplyTracker, RepliesMatchByCommandOldestFirst) {
    CSettingsReplyTracker t;
    t.expect(setRequest(CommandId::ssystemdelay, 12));
    t.expect(setRequest(CommandId::salivetime, 3));
    t.expect(setRequest(CommandId::ssystemdelay, 14));
    // Unsolicited lines, reads and other commands are not answers.
    EXPECT_FALSE(t.onMessage(reply(CommandId::ssystemdelay, 0), false));
    EXPECT_FALSE(t.onMessage(reply(CommandId::gsystemdelay, 0), true));
    EXPECT_FALSE(t.allAnswered());

    EXPECT_TRUE(t.onMessage(reply(CommandId::ssystemdelay, 0), true));
    EXPECT_TRUE(t.onMessage(reply(CommandId::ssystemdelay, 1), true));
    EXPECT_FALSE(t.onMessage(reply(CommandId::ssystemdelay, 0), true)) << "answered already";
    EXPECT_FALSE(t.allAnswered());
    EXPECT_EQ(t.entries()[0].outcome, O::Confirmed);
    EXPECT_EQ(t.entries()[2].outcome, O::Refused);
    EXPECT_EQ(t.entries()[2].status, 1);
    EXPECT_EQ(t.entries()[1].outcome, O::Pending);

    // The frame never answered the alive time: unanswered, never confirmed.
    t.giveUp();
    EXPECT_TRUE(t.allAnswered());
    EXPECT_FALSE(t.allConfirmed());
    EXPECT_EQ(t.entries()[1].outcome, O::Unanswered);
    EXPECT_FALSE(t.onMessage(reply(CommandId::salivetime, 0), true)) << "too late";
    EXPECT_EQ(t.count(O::Confirmed), 1);
    EXPECT_EQ(t.count(O::Refused), 1);
    EXPECT_EQ(t.count(O::Unanswered), 1);

    EXPECT_EQ(settingsOutcomeText(t), "&ssystemdelay,12: confirmed\n"
                                      "&salivetime,3: unanswered\n"
                                      "&ssystemdelay,14: refused (status 1)\n"
                                      "1 confirmed, 1 refused, 1 unanswered\n");
    CJsonWriter out;
    writeSettingsOutcomeJson(out, t);
    EXPECT_EQ(
        out.text(),
        "{\"requests\":[{\"line\":\"&ssystemdelay,12\",\"result\":\"confirmed\",\"status\":0},"
        "{\"line\":\"&salivetime,3\",\"result\":\"unanswered\",\"status\":0},"
        "{\"line\":\"&ssystemdelay,14\",\"result\":\"refused\",\"status\":1}],"
        "\"confirmed\":1,\"refused\":1,\"unanswered\":1}");
}

TEST(SettingsReplyTracker, NothingExpectedIsAllConfirmed) {
    CSettingsReplyTracker t;
    EXPECT_TRUE(t.allAnswered());
    EXPECT_TRUE(t.allConfirmed());
}

CtlParse parse(std::initializer_list<std::string_view> words) {
    return parseCtlArguments(std::span<const std::string_view>(words.begin(), words.size()));
}

TEST(SettingsOptions, VerbsOperandsAndDryRun) {
    CtlParse p = parse({"settings", "show", "10.0.0.5", "--json"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->verb, CtlVerb::SettingsShow);
    EXPECT_EQ(p.options->host, "10.0.0.5");
    EXPECT_TRUE(p.options->json);

    p = parse({"settings", "save", "10.0.0.5", "a.cfg"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->verb, CtlVerb::SettingsSave);
    EXPECT_EQ(p.options->file, "a.cfg");

    p = parse({"--dry-run", "settings", "apply", "10.0.0.5", "a.cfg"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->verb, CtlVerb::SettingsApply);
    EXPECT_TRUE(p.options->dryRun);

    EXPECT_NE(parse({"settings", "save", "10.0.0.5", "a.cfg", "--dry-run"}).error.find("--dry-run"),
              std::string::npos);
    EXPECT_NE(parse({"settings", "show"}).error.find("HOST"), std::string::npos)
        << parse({"settings", "show"}).error;
    EXPECT_EQ(parse({"settings"}).error, "settings needs show, save or apply");
    EXPECT_EQ(parse({"settings", "load"}).error, "settings needs show, save or apply, not 'load'");
    EXPECT_EQ(parse({"xpt", "show"}).error, "xpt needs save or load, not 'show'");
    EXPECT_FALSE(parse({"settings", "apply", "10.0.0.5"}).options);
}

TEST(SettingsOptions, HelpShowsAnExampleForEachSettingsCommand) {
    const std::string help = ctlHelpText();
    for (const char* example :
         {"velmarctl settings show ", "velmarctl settings save ", "velmarctl settings apply "})
        EXPECT_NE(help.find(example), std::string::npos) << example;
}

} // namespace
} // namespace velmar
