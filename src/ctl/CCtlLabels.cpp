// velmarctl labels, gains and levels: the channel dialogs' reads and writes,
// and the label file, without the window.

#include "channels/GainSettings.h"
#include "channels/LabelCsv.h"
#include "channels/LevelDetectors.h"
#include "channels/RequestRun.h"
#include "ctl/CCtlRunner.h"
#include "protocol/JsonWriter.h"
#include "link/DeviceList.h"
#include "link/QtText.h"
#include "engine/FileAccess.h"
#include "protocol/TerminalText.h"

#include <algorithm>

namespace velmar {

namespace {

// A label file of 2048 channels with every field quoted is far below this.
constexpr std::size_t kMaxLabelFileBytes = 1024 * 1024;

std::string bareHost(const CtlOptions& o) { return std::string(bareAddress(o.host)); }

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

void writeRunJson(CJsonWriter& out, const CRequestRun& run) {
    out.field("sent", run.sent())
        .field("confirmed", run.confirmed())
        .field("refused", run.refused())
        .field("unanswered", run.unanswered() + run.total() - run.sent());
}

} // namespace

std::span<const CCtlRunner::RunnerRow> CCtlRunner::labelRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::LabelsGet, &CCtlRunner::labelsGet},
        {CtlVerb::LabelsSet, &CCtlRunner::labelsSet},
        {CtlVerb::LabelsImport, &CCtlRunner::labelsImport},
        {CtlVerb::LabelsExport, &CCtlRunner::labelsExport},
        {CtlVerb::Gains, &CCtlRunner::gains},
        {CtlVerb::Levels, &CCtlRunner::levels},
    };
    return kRows;
}

CCtlSession::Wait CCtlRunner::runRequests(CRequestRun& run, std::vector<DeviceMessage> requests,
                                          int timeoutMs, IDialogSink* via) {
    CPollingEngine& engine = m_session->engine();
    engine.dialogs().requestRun = via != nullptr ? via : &run;
    run.start(std::move(requests));
    CCtlSession::Wait wait = CCtlSession::Wait::Done;
    while (run.running()) {
        const int before = run.answered();
        wait = m_session->waitFor([&] { return !run.running() || run.answered() != before; },
                                  timeoutMs);
        if (wait != CCtlSession::Wait::Done) {
            run.stalled();
            break;
        }
    }
    engine.dialogs().requestRun = nullptr;
    return wait;
}

int CCtlRunner::readLabels(const CtlOptions& o, std::vector<LabelRow>& rows) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const ChannelRange range = channelRangeOf(m_session->state());
    std::vector<DeviceMessage> requests = labelOpeningRequests(range);
    CRequestRun run(m_session->engine());
    // Only answers to these requests are taken: the state's label tables also
    // take what the frame sends unasked.
    CLabelListRead read(requests, run);
    read.setOnFailure([&run] { run.stalled(); });
    const CCtlSession::Wait wait = runRequests(run, std::move(requests), o.timeoutMs, &read);
    if (!read.failure().empty()) {
        fail(bareHost(o) + ": " + terminalSafe(read.failure()) + "; its labels are not shown");
        disconnect();
        return kExitFrame;
    }
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, bareHost(o) + " did not answer the label requests within " +
                                     std::to_string(o.timeoutMs) + " ms");
    rows = labelRows(range, [&read](LabelKind k, int n) { return read.label(k, n); });
    return kExitOk;
}

namespace {

// A label of the rows read (which list every channel of the range in order).
std::string_view labelOfRows(const std::vector<LabelRow>& rows, LabelKind kind, int channel) {
    const auto it = std::lower_bound(rows.begin(), rows.end(), channel,
                                     [](const LabelRow& r, int n) { return r.channel < n; });
    if (it == rows.end() || it->channel != channel)
        return {};
    return kind == LabelKind::Input ? it->input : it->output;
}

// What the frame did with the label writes: the run's counts, with the
// answers that carried another text than the one written told apart from
// the refusals.
std::string writeSummary(const CRequestRun& run, const CLabelWriteCheck& check) {
    if (check.otherTexts() == 0)
        return run.summary("labels");
    std::string text = "The frame confirmed ";
    text += std::to_string(run.confirmed());
    text += " of ";
    text += std::to_string(run.total());
    text += " labels.";
    const auto notes = [&text](int count, const std::vector<std::string>& list) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            text += i == 0 ? " " : ", ";
            text += terminalSafe(list[i]);
        }
        text += static_cast<std::size_t>(count) > list.size() ? ", ...." : ".";
    };
    if (check.refusedByStatus() > 0) {
        text += " It refused ";
        text += std::to_string(check.refusedByStatus());
        text += ':';
        notes(check.refusedByStatus(), check.refusals());
    }
    text += " It answered ";
    text += std::to_string(check.otherTexts());
    text += " with another label than the one written:";
    notes(check.otherTexts(), check.otherTextNotes());
    if (run.unanswered() > 0) {
        text += ' ';
        text += std::to_string(run.unanswered());
        text += " got no answer.";
    }
    if (const int unsent = run.total() - run.sent(); unsent > 0) {
        text += ' ';
        text += std::to_string(unsent);
        text += " were not sent because the frame stopped answering.";
    }
    return text;
}

} // namespace

bool CCtlRunner::readLabelsQuietly(const CtlOptions& o) {
    CRequestRun run(m_session->engine());
    const CCtlSession::Wait wait =
        runRequests(run, labelOpeningRequests(channelRangeOf(m_session->state())), o.timeoutMs);
    return wait == CCtlSession::Wait::Done && run.confirmed() == run.total();
}

int CCtlRunner::labelsGet(const CtlOptions& o) {
    std::vector<LabelRow> rows;
    if (const int rc = readLabels(o, rows); rc != kExitOk)
        return rc;
    const ChannelRange range = channelRangeOf(m_session->state());
    disconnect();
    if (o.json) {
        CJsonWriter out;
        out.beginObject().key("labels").beginArray();
        for (const LabelRow& row : rows)
            out.beginObject()
                .field("channel", row.channel)
                .field("type", std::string_view(channelTypeCell(range, row.channel)))
                .field("input", std::string_view(row.input))
                .field("output", std::string_view(row.output))
                .endObject();
        out.endArray().endObject();
        printJson(out.text());
        return kExitOk;
    }
    // What the frame sent is escaped before it reaches a terminal.
    for (LabelRow& row : rows) {
        row.input = terminalSafe(row.input);
        row.output = terminalSafe(row.output);
    }
    if (o.csv) {
        print(writeLabelCsv(range, rows));
        return kExitOk;
    }
    std::string text = padded("CHANNEL", 9) + padded("TYPE", 8) + padded("INPUT", 18) + "OUTPUT\n";
    for (const LabelRow& row : rows)
        text += padded(std::to_string(row.channel), 9) +
                padded(channelTypeCell(range, row.channel), 8) + padded(row.input, 18) +
                row.output + "\n";
    print(text);
    return kExitOk;
}

int CCtlRunner::labelsExport(const CtlOptions& o) {
    if (const std::string why = checkWriteTarget(qs(o.file)); !why.empty()) {
        fail(why);
        return kExitUsage;
    }
    std::vector<LabelRow> rows;
    if (const int rc = readLabels(o, rows); rc != kExitOk)
        return rc;
    const ChannelRange range = channelRangeOf(m_session->state());
    disconnect();
    if (const std::string why = writeFileAtomically(qs(o.file), writeLabelCsv(range, rows));
        !why.empty()) {
        fail(why);
        return kExitUsage;
    }
    if (o.json) {
        CJsonWriter out;
        out.beginObject().field("file", o.file).field("channels", static_cast<int>(rows.size()));
        printJson(out.endObject().text());
    } else {
        print("saved the labels of " + std::to_string(rows.size()) + " channels to " +
              terminalSafe(o.file) + "\n");
    }
    return kExitOk;
}

int CCtlRunner::labelsSet(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    const ChannelRange range = channelRangeOf(s);
    if (!range.listed(o.channel) || range.blocked(o.channel)) {
        fail("channel " + std::to_string(o.channel) + " cannot be labelled on " + bareHost(o) +
             " (its channels are " + std::to_string(range.offset + 1) + " .. " +
             std::to_string(range.count) + (range.noPhd ? ", without 529 .. 592)" : ")"));
        disconnect();
        return kExitUsage;
    }
    // The channel's present labels decide what is sent.
    std::vector<DeviceMessage> reads;
    for (LabelKind kind : {LabelKind::Input, LabelKind::Output}) {
        DeviceMessage m = DeviceMessage::request(CommandId::llabel);
        m.setI(1, static_cast<int>(kind));
        m.setI(2, o.channel);
        m.setI(3, 1);
        reads.push_back(m);
    }
    CRequestRun read(m_session->engine());
    CLabelListRead present(reads, read);
    present.setOnFailure([&read] { read.stalled(); });
    const auto readWait = runRequests(read, reads, o.timeoutMs, &present);
    if (!present.failure().empty()) {
        fail(bareHost(o) + ": " + terminalSafe(present.failure()) + "; nothing was sent");
        disconnect();
        return kExitFrame;
    }
    if (readWait != CCtlSession::Wait::Done)
        return waitFailure(readWait, bareHost(o) + " did not report channel " +
                                         std::to_string(o.channel) + "'s labels");
    const auto labelOf = [&present](LabelKind k, int n) { return present.label(k, n); };
    const LabelRow row{o.channel,
                       o.inputLabel.value_or(std::string(labelOf(LabelKind::Input, o.channel))),
                       o.outputLabel.value_or(std::string(labelOf(LabelKind::Output, o.channel)))};
    std::vector<DeviceMessage> requests = labelChangeRequests({row}, labelOf);
    CRequestRun run(m_session->engine());
    CLabelWriteCheck check(requests, run);
    const auto wait = runRequests(run, std::move(requests), o.timeoutMs, &check);
    if (o.json) {
        CJsonWriter out;
        out.beginObject().field("channel", o.channel);
        writeRunJson(out, run);
        out.field("otherText", check.otherTexts());
        printJson(out.endObject().text());
    } else {
        print(run.total() == 0 ? "channel " + std::to_string(o.channel) +
                                     ": the frame has these labels already; nothing was sent\n"
                               : writeSummary(run, check) + "\n");
    }
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, "the frame did not answer every label within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    return run.refused() > 0 ? kExitFrame : kExitOk;
}

int CCtlRunner::labelsImport(const CtlOptions& o) {
    const FileReadResult file = readFileBounded(qs(o.file), kMaxLabelFileBytes);
    if (!file.ok()) {
        fail(file.error);
        return kExitUsage;
    }
    std::vector<LabelRow> present;
    if (const int rc = readLabels(o, present); rc != kExitOk)
        return rc;
    const ChannelRange range = channelRangeOf(m_session->state());
    const LabelCsvRead read = readLabelCsv(file.bytes, range);
    if (!read.error.empty()) {
        fail(o.file + ": " + read.error + "; nothing was sent");
        disconnect();
        return kExitUsage;
    }
    for (const LabelCsvRefusal& r : read.refused)
        fail(o.file + " line " + std::to_string(r.line) + ": " + r.reason);
    const auto refusedJson = [&](CJsonWriter& out) {
        out.key("refusedRows").beginArray();
        for (const LabelCsvRefusal& r : read.refused)
            out.beginObject()
                .field("line", r.line)
                .field("reason", std::string_view(r.reason))
                .endObject();
        out.endArray();
    };
    if (!read.refused.empty() && !o.skipInvalid) {
        fail(std::to_string(read.refused.size()) + " row" + (read.refused.size() == 1 ? "" : "s") +
             " refused; nothing was sent (--skip-invalid sends the others)");
        disconnect();
        if (o.json) {
            CJsonWriter out;
            out.beginObject().field("sent", 0);
            refusedJson(out);
            printJson(out.endObject().text());
        }
        return kExitUsage;
    }
    std::vector<DeviceMessage> requests = labelChangeRequests(
        read.rows, [&present](LabelKind k, int n) { return labelOfRows(present, k, n); });
    if (o.dryRun) {
        disconnect();
        if (o.json) {
            CJsonWriter out;
            out.beginObject().field("dryRun", true).key("wouldSend").beginArray();
            for (const DeviceMessage& m : requests)
                out.beginObject()
                    .field("channel", m.i(2))
                    .field("kind", std::string_view(m.i(1) == 0 ? "input" : "output"))
                    .field("label", m.text(3, 17))
                    .endObject();
            out.endArray();
            refusedJson(out);
            printJson(out.endObject().text());
        } else {
            std::string text = std::to_string(requests.size()) + " label" +
                               (requests.size() == 1 ? "" : "s") + " would be sent\n";
            for (const DeviceMessage& m : requests)
                text += "  channel " + std::to_string(m.i(2)) +
                        (m.i(1) == 0 ? " input  " : " output ") + "'" +
                        terminalSafe(m.text(3, 17)) + "'\n";
            print(text);
        }
        return kExitOk;
    }
    CRequestRun run(m_session->engine());
    CLabelWriteCheck check(requests, run);
    const auto wait = runRequests(run, std::move(requests), o.timeoutMs, &check);
    if (o.json) {
        CJsonWriter out;
        out.beginObject();
        writeRunJson(out, run);
        out.field("otherText", check.otherTexts());
        refusedJson(out);
        printJson(out.endObject().text());
    } else {
        print(run.total() == 0 ? "the frame has every label of the file already; nothing was sent\n"
                               : writeSummary(run, check) + "\n");
    }
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, "the frame did not answer every label within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    return run.refused() > 0 ? kExitFrame : kExitOk;
}

int CCtlRunner::gains(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    CGainSettings logic(m_session->state(), m_session->engine(), m_session->questions());
    const ChannelRange range = logic.range();
    // "lgain" is answered with its echo and then one "ggain" per channel.
    std::vector<char> seen(static_cast<std::size_t>(2 * (kLabelChannels + 1)), 0);
    int reported = 0;
    m_session->setObserver([&](const DeviceMessage& m, bool isReply, const CResponseDecoder& d) {
        logic.onDeviceMessage(m, isReply, d);
        if (m.command == CommandId::ggain && m.status == 0 && range.listed(m.i(2))) {
            char& flag =
                seen[static_cast<std::size_t>((m.i(1) != 0 ? kLabelChannels + 1 : 0) + m.i(2))];
            reported += flag == 0 ? 1 : 0;
            flag = 1;
        }
    });
    for (const DeviceMessage& m : gainOpeningRequests(range))
        m_session->engine().sendRequest(m);
    const int expected = 2 * range.rows();
    const CCtlSession::Wait wait =
        m_session->waitFor([&] { return reported == expected; }, o.timeoutMs);
    m_session->setObserver(nullptr);
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, bareHost(o) + " reported " + std::to_string(reported) + " of " +
                                     std::to_string(expected) + " gain settings within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (o.json) {
        CJsonWriter out;
        out.beginObject().key("gains").beginArray();
        for (int row = 0; row < range.rows(); ++row) {
            const int n = range.channelOfRow(row);
            out.beginObject()
                .field("channel", n)
                .field("type", std::string_view(channelTypeCell(range, n)));
            for (GainSide side : {GainSide::Input, GainSide::Output}) {
                const GainSetting& g = logic.setting(side, n);
                out.key(side == GainSide::Input ? "input" : "output")
                    .beginObject()
                    .field("gain", std::string_view(gainText(g.gain)))
                    .field("phaseInverted", g.phase != 0)
                    .field("muted", g.mute != 0)
                    .endObject();
            }
            out.endObject();
        }
        out.endArray().endObject();
        printJson(out.text());
        return kExitOk;
    }
    std::string text = padded("CHANNEL", 9) + padded("TYPE", 8) + padded("INPUT", 9) +
                       padded("PHASE", 10) + padded("MUTE", 6) + padded("OUTPUT", 9) +
                       padded("PHASE", 10) + "MUTE\n";
    for (int row = 0; row < range.rows(); ++row) {
        const std::vector<std::string> cells = logic.rowTexts(row);
        text += padded(cells[0], 9) + padded(cells[1], 8) + padded(cells[2], 9) +
                padded(cells[3], 10) + padded(cells[4], 6) + padded(cells[5], 9) +
                padded(cells[6], 10) + cells[7] + "\n";
    }
    print(text);
    return kExitOk;
}

int CCtlRunner::levels(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    CLevelDetectors logic(m_session->state(), m_session->questions());
    m_session->engine().dialogs().levelDetectors = &logic;
    CRequestRun run(m_session->engine());
    const CCtlSession::Wait wait =
        runRequests(run, levelDetectorOpeningRequests(logic.range()), o.timeoutMs);
    m_session->engine().dialogs().levelDetectors = nullptr;
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, bareHost(o) +
                                     " did not answer the level detector requests within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (run.refused() > 0) {
        fail(bareHost(o) + " refused " + std::to_string(run.refused()) + " of " +
             std::to_string(run.total()) + " level detector requests; their values are not shown");
        return kExitFrame;
    }
    const ChannelRange range = logic.range();
    if (o.json) {
        CJsonWriter out;
        out.beginObject().key("levels").beginArray();
        for (int n : logic.rows()) {
            out.beginObject()
                .field("channel", n)
                .field("type", std::string_view(channelTypeCell(range, n)));
            for (DetectorSide side : {DetectorSide::Input, DetectorSide::Output}) {
                const LevelDetector& d = logic.detector(side, n);
                out.key(side == DetectorSide::Input ? "input" : "output")
                    .beginObject()
                    .field("time1", d.time1)
                    .field("level1", std::string_view(detectorLevelText(d.level1)))
                    .field("time2", d.time2)
                    .field("level2", std::string_view(detectorLevelText(d.level2)))
                    .field("enabled", d.state != 0)
                    .field("status", d.status)
                    .endObject();
            }
            out.endObject();
        }
        out.endArray().endObject();
        printJson(out.text());
        return kExitOk;
    }
    std::string text = padded("CHANNEL", 9) + padded("TYPE", 8) + padded("INPUT", 34) + "OUTPUT\n";
    for (int row = 0; row < static_cast<int>(logic.rows().size()); ++row) {
        const std::vector<std::string> cells = logic.rowTexts(row);
        text += padded(cells[0], 9) + padded(cells[1], 8) + padded(cells[2], 34) + cells[3] + "\n";
    }
    print(text);
    return kExitOk;
}

} // namespace velmar
