// velmarctl's device settings and cards: settings show, save and apply, and
// cards with its make change.

#include "ctl/CCtlRunner.h"
#include "ctl/CardsReport.h"
#include "ctl/SettingsReport.h"
#include "engine/FileAccess.h"
#include "engine/SettingsApply.h"
#include "link/DeviceList.h"
#include "link/QtText.h"
#include "protocol/CommandTable.h"
#include "protocol/JsonWriter.h"
#include "protocol/TerminalText.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsPages.h"

#include <algorithm>

namespace velmar {

namespace {

std::string bareHost(const CtlOptions& o) { return std::string(bareAddress(o.host)); }

// A refused file as a document: why, and each line that is wrong.
std::string settingsRefusalJson(std::string_view error, const SettingsFileContent& content) {
    CJsonWriter out;
    out.beginObject().field("error", error).field("exit", kExitUsage);
    out.key("problems").beginArray();
    for (const CfgProblem& p : content.problems)
        out.beginObject()
            .field("line", p.line)
            .field("field", p.field)
            .field("text", std::string_view(p.text))
            .endObject();
    out.endArray().field("problemsNotListed", content.problemsNotListed).endObject();
    return out.take();
}

} // namespace

std::span<const CCtlRunner::RunnerRow> CCtlRunner::settingsRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::SettingsShow, &CCtlRunner::settingsShow},
        {CtlVerb::SettingsSave, &CCtlRunner::settingsSave},
        {CtlVerb::SettingsApply, &CCtlRunner::settingsApply},
        {CtlVerb::Cards, &CCtlRunner::cards},
    };
    return kRows;
}

int CCtlRunner::settingsShow(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (!requireSettings())
        return kExitFrame;
    const DeviceSettings settings = m_session->state().settings;
    disconnect();
    if (o.json) {
        CJsonWriter out;
        writeSettingsJson(out, settings);
        printJson(out.text());
    } else {
        print(settingsText(settings));
    }
    return kExitOk;
}

int CCtlRunner::settingsSave(const CtlOptions& o) {
    // The settings as the frame reported them: what the dialog's copy holds
    // right after it opens.
    std::size_t bytes = 0;
    const int rc = saveFromFrame(o, &CCtlRunner::requireSettings, [&bytes](const DeviceState& s) {
        std::string text = writeSettingsFile(s.settings);
        bytes = text.size();
        return text;
    });
    if (rc != kExitOk)
        return rc;
    if (o.json) {
        CJsonWriter out;
        out.beginObject()
            .field("file", std::string_view(o.file))
            .field("bytes", static_cast<int>(bytes))
            .endObject();
        printJson(out.text());
    } else {
        print("saved the device settings to " + terminalSafe(o.file) + "\n");
    }
    return kExitOk;
}

int CCtlRunner::settingsApply(const CtlOptions& o) {
    // Each line that is wrong, then why nothing was sent.
    const auto refuse = [this, &o](const SettingsFileContent& content) {
        for (const CfgProblem& p : content.problems)
            fail(o.file + ": " + p.text);
        if (content.problemsNotListed > 0)
            fail(o.file + ": and " + std::to_string(content.problemsNotListed) + " more lines");
        fail(o.file + ": " + content.refusal + "; nothing was sent");
        if (o.json)
            printJson(settingsRefusalJson(m_lastError, content));
        return kExitUsage;
    };
    // Everything the file alone decides is settled before connecting: a file
    // the reader refuses whatever the frame holds never costs a connection.
    const FileReadResult file = readFileBounded(qs(o.file), kMaxSettingsFileBytes);
    if (!file.ok()) {
        fail(file.error);
        return kExitUsage;
    }
    if (const SettingsFileContent probe = readSettingsFile(file.bytes, DeviceSettings{});
        !probe.accepted())
        return refuse(probe);
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (!requireSettings())
        return kExitFrame;
    const DeviceState& s = m_session->state();
    // Over the frame's own values: one the pages would not take passes only
    // when the frame already holds it.
    const SettingsFileContent content = readSettingsFile(file.bytes, s.settings);
    if (!content.accepted()) {
        disconnect();
        return refuse(content);
    }
    // The file goes through the dialog's pages as "Load from file..." and
    // "Save changes" take it, so both send the same lines.
    CSettingsDialogLogic dialog(s.settings, settingsDialogInputs(s));
    dialog.replaceSettings(content.settings);
    if (const auto refused = dialog.storeAll()) {
        fail(o.file + ": " + CSettingsDialogLogic::pageName(refused->page) +
             " does not take it: " + refused->error.message + " Nothing was sent.");
        disconnect();
        return kExitUsage;
    }
    const SettingsApplyPlan plan =
        planSettingsApply(s.settings, settingsAfterApply(s.settings, s.settings, dialog.settings()),
                          settingsApplyContext(s));
    const std::vector<std::string> lines = requestLines(plan.requests);
    const bool network = plan.result == ApplyResult::NetworkSent;
    // A locked or domain-managed Dante module gets reads instead of its
    // changes: the file's values for it do not reach the frame.
    const auto notSent = static_cast<int>(
        std::count_if(plan.requests.begin(), plan.requests.end(), [](const DeviceMessage& m) {
            return keywordOf(m.command).starts_with('g');
        }));
    if (notSent > 0)
        fail(std::to_string(notSent) + " Dante module setting" +
             (notSent == 1 ? " was" : "s were") +
             " not sent: the module is locked or managed by a Dante domain; its values are read "
             "back instead");

    if (o.dryRun || plan.requests.empty()) {
        disconnect();
        if (o.json) {
            CJsonWriter out;
            out.beginObject().field("file", std::string_view(o.file)).field("dryRun", o.dryRun);
            out.key("requests").beginArray();
            for (const std::string& line : lines)
                out.value(std::string_view(line));
            out.endArray().field("networkChanged", network).field("danteNotSent", notSent);
            out.endObject();
            printJson(out.text());
        } else if (lines.empty()) {
            print("nothing to send: the frame already holds every setting of " +
                  terminalSafe(o.file) + "\n");
        } else {
            std::string text;
            for (const std::string& line : lines)
                text += terminalSafe(line) + "\n";
            text += std::to_string(lines.size()) + " request" + (lines.size() == 1 ? "" : "s") +
                    " would be sent; nothing was sent\n";
            print(text);
        }
        return kExitOk;
    }

    CSettingsReplyTracker tracker;
    for (const DeviceMessage& request : plan.requests)
        tracker.expect(request);
    m_session->setObserver([&tracker](const DeviceMessage& m, bool isReply,
                                      const CResponseDecoder&) { tracker.onMessage(m, isReply); });
    // The window's own step: it sends the same plan, from the same state, in
    // the same order, and takes the edited block as the frame's settings.
    const DeviceSettings opened = s.settings;
    m_session->engine().applySettings(dialog.settings(), opened);
    const auto [wait, unanswered] = awaitReplies(tracker, o.timeoutMs);
    // Only a network change the frame took can move it to another address.
    const bool networkChanged = network && networkChangeConfirmed(tracker);
    if (o.json) {
        CJsonWriter out;
        writeSettingsOutcomeJson(out, tracker);
        std::string document = out.take();
        // The network flag inside the one document.
        CJsonWriter extra;
        extra.beginObject().field("networkChanged", networkChanged).field("danteNotSent", notSent);
        extra.endObject();
        document.pop_back();
        document += ',';
        document += extra.text().substr(1);
        printJson(document);
    } else {
        print(settingsOutcomeText(tracker));
    }
    if (networkChanged)
        fail("the frame's network settings changed; it may answer at another address now");
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, std::to_string(unanswered) + " settings request" +
                                     (unanswered == 1 ? " was" : "s were") +
                                     " not answered within " + std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (!tracker.allConfirmed()) {
        fail("the frame refused " +
             std::to_string(tracker.count(CSettingsReplyTracker::Outcome::Refused)) + " of " +
             std::to_string(tracker.entries().size()) + " settings requests");
        return kExitFrame;
    }
    return notSent > 0 ? kExitFrame : kExitOk;
}

int CCtlRunner::cards(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (o.make)
        return changeCards(o, *o.make);
    const DeviceState& s = m_session->state();
    // The card poll runs with the rest of the window's settings reads.
    const bool parametersReported = m_session->engine().settingsEnabled();
    const bool cardsListed = !fittedCardSettings(s).empty();
    if (o.json) {
        CJsonWriter out;
        writeCardsJson(out, s, parametersReported);
        printJson(out.text());
    } else {
        print(cardsText(s, parametersReported));
    }
    disconnect();
    if (cardsListed && !parametersReported) {
        fail(bareHost(o) + " did not report: card settings");
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::changeCards(const CtlOptions& o, CardMake make) {
    const DeviceState& s = m_session->state();
    if (!cardMakeChangeable(s.family, s.runMode)) {
        fail(s.connectedAddress + " offers no card make change" +
             (s.runMode != kRunModeApplication ? " in this run mode"
                                               : " (its family lists no card slots)"));
        disconnect();
        return kExitFrame;
    }
    // The dialog's own logic on the window's engine: the same plan, the
    // same requests, sent in the same order.
    CHwConfLogic logic(s, m_session->engine(), m_session->questions());
    const CardChangePlan plan = planCardChange(s.settings.hwConf, make);
    for (const std::string& note : cardsLeftAlone(plan, s))
        fail(note);
    const auto finish = [&](int status) {
        return plan.leftAlone.empty() ? status : std::max(status, kExitFrame);
    };

    if (o.dryRun || plan.changes.empty()) {
        disconnect();
        if (o.json) {
            CJsonWriter out;
            writeCardChangeJson(out, plan, make, o.dryRun, nullptr);
            printJson(out.text());
        } else {
            print(cardChangePlanText(plan, make));
        }
        return finish(kExitOk);
    }

    CSettingsReplyTracker tracker;
    for (const CardChange& change : plan.changes)
        tracker.expect(change.request);
    m_session->setObserver([&tracker](const DeviceMessage& m, bool isReply,
                                      const CResponseDecoder&) { tracker.onMessage(m, isReply); });
    for (const DeviceMessage& request : logic.changeCards(make))
        m_session->engine().sendRequest(request);
    const auto [wait, unanswered] = awaitReplies(tracker, o.timeoutMs);
    if (o.json) {
        CJsonWriter out;
        writeCardChangeJson(out, plan, make, false, &tracker);
        printJson(out.text());
    } else {
        print(cardChangeOutcomeText(plan, tracker));
    }
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, std::to_string(unanswered) + " card" +
                                     (unanswered == 1 ? " was" : "s were") +
                                     " not answered within " + std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (!tracker.allConfirmed()) {
        fail("the frame refused " +
             std::to_string(tracker.count(CSettingsReplyTracker::Outcome::Refused)) + " of " +
             std::to_string(tracker.entries().size()) + " card changes");
        return kExitFrame;
    }
    return finish(kExitOk);
}

} // namespace velmar
