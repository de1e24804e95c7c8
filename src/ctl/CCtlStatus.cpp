// velmarctl's commands that look at frames: discover, status, watch, send
// and inputs.

#include "ctl/CCtlRunner.h"
#include "ctl/MessageText.h"
#include "session/Reports.h"
#include "events/EventDeriver.h"
#include "events/EventLogFile.h"
#include "link/DeviceList.h"
#include "link/QtText.h"
#include "panel/InputStatusReport.h"
#include "protocol/CommandTable.h"
#include "protocol/JsonWriter.h"
#include "protocol/TerminalText.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace velmar {

namespace {

std::string bareHost(const CtlOptions& o) { return std::string(bareAddress(o.host)); }

// A search reply's ID column as a number when it is one.
void writeIdJson(CJsonWriter& out, std::string_view id) {
    int value = 0;
    const auto result = std::from_chars(id.data(), id.data() + id.size(), value);
    if (!id.empty() && result.ec == std::errc() && result.ptr == id.data() + id.size())
        out.value(value);
    else
        out.value(id);
}

std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width)
        out.append(width - out.size(), ' ');
    return out;
}

} // namespace

std::span<const CCtlRunner::RunnerRow> CCtlRunner::statusRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::Discover, &CCtlRunner::discover}, {CtlVerb::Status, &CCtlRunner::status},
        {CtlVerb::Watch, &CCtlRunner::watch},       {CtlVerb::Send, &CCtlRunner::send},
        {CtlVerb::Inputs, &CCtlRunner::inputs},
    };
    return kRows;
}

int CCtlRunner::discover(const CtlOptions& o) {
    std::string why;
    const std::optional<CDeviceList> list = search(o.waitMs, nullptr, why);
    if (!list) {
        fail(why);
        return kExitUnreachable;
    }
    const std::vector<KnownDevice>& rows = list->rows();
    if (o.json) {
        CJsonWriter out;
        out.beginObject().key("frames").beginArray();
        for (const KnownDevice& d : rows) {
            const EntryKind kind = entryKindOf(d.address);
            out.beginObject()
                .field("address", bareAddress(d.address))
                .field("mark",
                       d.address.substr(0, d.address.size() - bareAddress(d.address).size()))
                .field("runMode", runModeName(static_cast<int>(kind))) // entry kinds are run modes
                .key("id");
            writeIdJson(out, d.id);
            out.field("name", d.name).field("type", d.type).field("serial", d.serial).endObject();
        }
        out.endArray().field("dropped", m_searchDropped).endObject();
        printJson(out.text());
    } else if (!rows.empty()) {
        // Every column is the frames' own text: shown escaped, never raw.
        std::vector<std::array<std::string, 5>> cells;
        std::size_t width[4] = {7, 2, 4, 4};
        for (const KnownDevice& d : rows) {
            cells.push_back({terminalSafe(d.address), terminalSafe(d.id), terminalSafe(d.name),
                             terminalSafe(d.type), terminalSafe(d.serial)});
            for (std::size_t k = 0; k < 4; ++k)
                width[k] = std::max(width[k], cells.back()[k].size());
        }
        std::string text = padded("ADDRESS", width[0]) + "  " + padded("ID", width[1]) + "  " +
                           padded("NAME", width[2]) + "  " + padded("TYPE", width[3]) + "  S/N\n";
        for (const auto& c : cells)
            text += padded(c[0], width[0]) + "  " + padded(c[1], width[1]) + "  " +
                    padded(c[2], width[2]) + "  " + padded(c[3], width[3]) + "  " + c[4] + "\n";
        print(text);
    }
    if (const std::string note = CDeviceList::searchNote(
            list->unlistedCount(), static_cast<std::uint64_t>(m_searchDropped));
        !note.empty())
        fail(note);
    if (rows.empty()) {
        fail("no frame answered the search within " + std::to_string(o.waitMs) + " ms");
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::status(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    const StatusFields fields = m_session->engine().statusFields();
    const std::vector<std::string> missing =
        notReportedStatus(s, fields, m_session->engine().settingsEnabled());
    if (o.json) {
        CJsonWriter out;
        writeStatusJson(out, s, fields, missing);
        printJson(out.text());
    } else {
        print(statusText(s, fields));
    }
    disconnect();
    if (!missing.empty()) {
        std::string list;
        for (const std::string& item : missing)
            list += (list.empty() ? "" : ", ") + item;
        fail(bareHost(o) + " did not report: " + list);
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::watch(const CtlOptions& o) {
    const bool json = o.json;
    const auto show = [this, json](const DeviceMessage& m, bool isReply,
                                   const CResponseDecoder& decoder) {
        if (isReply)
            return;
        // Channel numbers come with their names, and the card kinds of the
        // frame as it has reported them.
        const DeviceState* state = m_session ? &m_session->state() : nullptr;
        if (json) {
            CJsonWriter out;
            writeMessageJson(out, m, decoder, state);
            printJson(out.text());
        } else {
            std::string line = messageText(m, decoder);
            if (const std::string note = channelNote(m, state); !note.empty())
                line += "  [" + note + "]";
            print(line + "\n");
        }
    };
    // With --log, what happens to the frame also goes to the event log, in
    // the window's format; a log that cannot be written is said once.
    CSystemEventClock clock;
    std::unique_ptr<CEventLogFile> log;
    std::unique_ptr<CEventDeriver> deriver;
    if (!o.logFolder.empty()) {
        log = std::make_unique<CEventLogFile>(qs(o.logFolder), std::string(kCtlVersion), clock);
        log->setErrorHandler([this](const std::string& why) { fail("event log: " + why); });
        deriver = std::make_unique<CEventDeriver>(clock, *log);
    }
    const auto stopLogging = [this] {
        if (m_session)
            m_session->engine().setStateObserver(nullptr);
    };
    if (const int rc = openSession(o, show, deriver.get()); rc != kExitOk) {
        stopLogging();
        return rc;
    }
    const CCtlSession::Wait wait = m_session->waitFor([] { return false; }, -1);
    if (wait == CCtlSession::Wait::Interrupted) {
        disconnect();
        stopLogging();
        return kExitOk; // Ctrl+C is how a watch ends
    }
    const int rc = waitFailure(wait, "");
    stopLogging();
    return rc;
}

int CCtlRunner::send(const CtlOptions& o) {
    const ParsedRequest parsed = parseRequestLine(o.line);
    if (!parsed.message) {
        fail(parsed.error);
        return kExitUsage;
    }
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    DeviceMessage request = *parsed.message;
    if (messageKindOf(request) != MessageKind::Request) {
        // A "%" line: frames take it without a word. The marker's reply shows
        // that the frame has read it.
        m_session->sendRaw(request);
        const CCtlSession::Wait wait = m_session->waitUntilSettled(o.timeoutMs);
        if (wait != CCtlSession::Wait::Done)
            return waitFailure(wait, "the frame did not answer after \"" + o.line + "\" within " +
                                         std::to_string(o.timeoutMs) + " ms");
        disconnect();
        if (o.json)
            printJson("{\"sent\":" + jsonQuoted(o.line) + "}");
        else
            print("sent; frames do not answer \"%\" lines\n");
        return kExitOk;
    }
    const bool ownTag = request.tag == 0;
    if (ownTag)
        request.tag = m_session->nextTag();
    bool answered = false;
    std::int32_t status = 0;
    std::string shown;
    std::string unsolicitedText;
    CJsonWriter unsolicitedJson;
    unsolicitedJson.beginArray();
    const auto unsolicited = [&](const DeviceMessage& m, const CResponseDecoder& decoder) {
        if (!o.verbose)
            return;
        if (o.json)
            writeMessageJson(unsolicitedJson, m, decoder);
        else
            unsolicitedText += "unsolicited: " + messageText(m, decoder) + "\n";
    };
    m_session->setObserver(
        [&](const DeviceMessage& m, bool isReply, const CResponseDecoder& decoder) {
            if (answered)
                return;
            // Its own tag marks the reply. Only a frame that has shown that it
            // drops tags gets its answer taken by order: then nothing else is
            // outstanding once the start-up poll is done.
            const bool ours =
                isReply && (m.tag == request.tag ||
                            (m.tag == 0 && !m_session->tagsEchoed() &&
                             (m.command == request.command || m.command == CommandId::error ||
                              m.command == CommandId::InvalidReply)));
            if (!ours) {
                unsolicited(m, decoder);
                return;
            }
            answered = true;
            status = m.status;
            // The tag velmarctl added is its own business, not the reply's.
            DeviceMessage reply = m;
            if (ownTag && reply.tag == request.tag)
                reply.tag = 0;
            if (o.json) {
                CJsonWriter out;
                writeMessageJson(out, reply, decoder);
                shown = out.take();
                if (o.verbose) {
                    // The lines that were not the answer, inside the one document.
                    shown.pop_back();
                    unsolicitedJson.endArray();
                    shown += ",\"unsolicited\":" + unsolicitedJson.text() + "}";
                }
            } else {
                shown = messageText(reply, decoder);
            }
        });
    m_session->sendRaw(request);
    const CCtlSession::Wait wait = m_session->waitFor([&] { return answered; }, o.timeoutMs);
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, "no reply to \"" + o.line + "\" within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (o.json)
        printJson(shown);
    else
        print(unsolicitedText + shown + "\n");
    if (status != 0) {
        fail("the frame answered with status " + std::to_string(status));
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::inputs(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    if (s.family == kFamily465 || s.family == kFamily450) {
        // The window's poll never asks these frames; they only announce a
        // change. Asked once here, so the table shows their word, not "?".
        bool answered = false;
        m_session->setObserver(
            [&answered](const DeviceMessage& m, bool isReply, const CResponseDecoder&) {
                answered = answered || (isReply && m.command == CommandId::lmaininpstatus);
            });
        DeviceMessage request = DeviceMessage::request(CommandId::lmaininpstatus);
        request.setI(1, 1);
        request.setI(2, kMainInputs);
        m_session->engine().sendRequest(request);
        const CCtlSession::Wait wait =
            m_session->waitFor([&answered] { return answered; }, o.timeoutMs);
        m_session->setObserver(nullptr);
        // Unanswered in time: the rows stay "?" and say so below.
        if (wait != CCtlSession::Wait::Done && wait != CCtlSession::Wait::TimedOut)
            return waitFailure(wait, "");
    }
    if (o.json) {
        CJsonWriter out;
        writeInputStatusJson(out, s);
        printJson(out.text());
    } else {
        print(inputStatusText(s));
    }
    const int unreported = unreportedInputs(inputStatusTables(s));
    if (!o.watch) {
        disconnect();
        if (unreported > 0) {
            fail(bareHost(o) + " did not report the status of " + std::to_string(unreported) +
                 (unreported == 1 ? " input" : " inputs"));
            return kExitFrame;
        }
        return kExitOk;
    }

    // Every message the frame sends, its own announcements and the replies
    // to the engine's polls alike, may change a row; each change is a line.
    CInputStatusWatch follow(s);
    const bool json = o.json;
    m_session->setObserver(
        [this, &follow, json](const DeviceMessage&, bool, const CResponseDecoder&) {
            for (const InputStatusChange& change : follow.changes()) {
                if (json) {
                    CJsonWriter out;
                    writeInputStatusChangeJson(out, change);
                    printJson(out.text());
                } else {
                    print(inputStatusChangeText(change) + "\n");
                }
            }
        });
    const CCtlSession::Wait wait = m_session->waitFor([] { return false; }, -1);
    if (wait == CCtlSession::Wait::Interrupted) {
        disconnect();
        return kExitOk; // Ctrl+C is how a watch ends
    }
    return waitFailure(wait, "");
}

} // namespace velmar
