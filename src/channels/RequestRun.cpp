#include "channels/RequestRun.h"

#include "protocol/CommandTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace velmar {

namespace {

constexpr std::size_t kRefusalNotes = 10;
constexpr std::size_t kRangesNamed = 4;

// What a run's requests change, for naming them to the operator. The kind
// (input or output) is the first value and the channel the second; a list
// request covers the count in its third.
struct RequestNoun {
    CommandId command;
    std::string_view noun;
    bool list;
};
constexpr RequestNoun kNouns[] = {
    {CommandId::slabel, "labels", false},
    {CommandId::sgain, "gains", false},
    {CommandId::slevdetthres, "thresholds", false},
    {CommandId::slevdetstate, "enables", false},
    {CommandId::glevdetstatus, "status reads", false},
    {CommandId::llevdetstatus, "status reads", true},
    {CommandId::llevdetstate, "enable reads", true},
};

struct Span {
    CommandId command;
    std::int32_t kind;
    std::int32_t first;
    std::int32_t last;
};

Span spanOf(const DeviceMessage& m) {
    for (const RequestNoun& n : kNouns)
        if (n.command == m.command)
            return {m.command, m.i(1), m.i(2), n.list ? m.i(2) + std::max(m.i(3), 1) - 1 : m.i(2)};
    return {m.command, m.i(1), m.i(2), m.i(2)};
}

std::string spanText(const Span& span) {
    std::string text = span.kind == 0 ? "input " : "output ";
    std::string_view noun = keywordOf(span.command);
    for (const RequestNoun& n : kNouns)
        if (n.command == span.command)
            noun = n.noun;
    text += noun;
    if (span.first == span.last) {
        text += " of channel ";
        text += std::to_string(span.first);
    } else {
        text += " of channels ";
        text += std::to_string(span.first);
        text += '-';
        text += std::to_string(span.last);
    }
    return text;
}

// "input labels of channels 2-5, output labels of channel 7": runs of
// neighbouring channels of one kind as one range.
std::string describe(const std::vector<const DeviceMessage*>& requests) {
    std::vector<Span> spans;
    for (const DeviceMessage* m : requests) {
        const Span next = spanOf(*m);
        if (!spans.empty() && spans.back().command == next.command &&
            spans.back().kind == next.kind && spans.back().last + 1 == next.first)
            spans.back().last = next.last;
        else
            spans.push_back(next);
    }
    std::string text;
    for (std::size_t i = 0; i < spans.size() && i < kRangesNamed; ++i) {
        if (i > 0)
            text += ", ";
        text += spanText(spans[i]);
    }
    if (spans.size() > kRangesNamed) {
        text += " and ";
        text += std::to_string(spans.size() - kRangesNamed);
        text += " more ranges";
    }
    return text;
}

} // namespace

CRequestRun::CRequestRun(IRequestSink& sink, int window)
    : m_sink(sink), m_window(std::max(1, window)) {}

CRequestRun::Key CRequestRun::keyOf(const DeviceMessage& message) {
    return {static_cast<int>(message.command), message.i(1), message.i(2)};
}

void CRequestRun::start(std::vector<DeviceMessage> requests) {
    m_requests = std::move(requests);
    m_outcomes.assign(m_requests.size(), Outcome::Unsent);
    m_stalled = false;
    m_next = 0;
    m_waiting.clear();
    m_inFlight = 0;
    m_confirmed = 0;
    m_refused = 0;
    m_unanswered = 0;
    m_cancelled = false;
    m_refusalNotes.clear();
    m_running = true;
    m_progress = true;
    fill();
    finishIfDone();
}

void CRequestRun::fill() {
    while (!m_cancelled && m_inFlight < m_window && m_next < m_requests.size()) {
        const std::size_t index = m_next++;
        const DeviceMessage& request = m_requests[index];
        m_waiting[keyOf(request)].push_back(index);
        m_outcomes[index] = Outcome::Waiting;
        ++m_inFlight;
        m_sink.sendRequest(request);
    }
}

void CRequestRun::finishIfDone() {
    if (m_running && m_inFlight == 0 && (m_cancelled || m_next >= m_requests.size())) {
        m_running = false;
        m_progress = true;
        if (m_onFinished)
            m_onFinished();
    }
}

void CRequestRun::cancel() {
    if (!m_running)
        return;
    m_cancelled = true;
    finishIfDone();
}

void CRequestRun::stalled(std::string_view why) {
    if (!m_running)
        return;
    m_stallReason = why;
    m_unanswered += m_inFlight;
    for (Outcome& o : m_outcomes)
        if (o == Outcome::Waiting)
            o = Outcome::Unanswered;
    m_waiting.clear();
    m_inFlight = 0;
    m_cancelled = true; // what was never sent stays unsent
    m_stalled = true;
    finishIfDone();
}

bool CRequestRun::takeProgress() { return std::exchange(m_progress, false); }

void CRequestRun::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                  const CResponseDecoder&) {
    if (!m_running || !isReply)
        return;
    const auto it = m_waiting.find(keyOf(message));
    if (it == m_waiting.end())
        return;
    const std::size_t index = it->second.front();
    it->second.pop_front();
    if (it->second.empty())
        m_waiting.erase(it);
    --m_inFlight;
    m_outcomes[index] = message.status == 0 ? Outcome::Confirmed : Outcome::Refused;
    if (message.status == 0) {
        ++m_confirmed;
    } else {
        ++m_refused;
        if (m_refusalNotes.size() < kRefusalNotes)
            m_refusalNotes.push_back("channel " + std::to_string(message.i(2)) + " (status " +
                                     std::to_string(message.status) + ")");
    }
    m_progress = true;
    fill();
    finishIfDone();
}

std::vector<DeviceMessage> CRequestRun::remaining() const {
    std::vector<DeviceMessage> rest;
    for (std::size_t i = 0; i < m_requests.size(); ++i)
        if (m_outcomes[i] == Outcome::Unsent || m_outcomes[i] == Outcome::Unanswered)
            rest.push_back(m_requests[i]);
    return rest;
}

std::string CRequestRun::summary(std::string_view what) const {
    std::string text;
    if (m_stalled) {
        text = "Partial apply: ";
        text += m_stallReason;
        text += ". ";
    }
    text += "The frame confirmed ";
    text += std::to_string(m_confirmed);
    text += " of ";
    text += std::to_string(total());
    text += ' ';
    text += what;
    text += '.';
    if (m_refused > 0) {
        text += " It refused " + std::to_string(m_refused) + ":";
        for (std::size_t i = 0; i < m_refusalNotes.size(); ++i)
            text += (i == 0 ? " " : ", ") + m_refusalNotes[i];
        if (static_cast<std::size_t>(m_refused) > m_refusalNotes.size())
            text += ", ...";
        text += ".";
    }
    if (m_stalled) {
        // Name each part, so the operator knows which channels to look at.
        const std::array<std::pair<Outcome, std::string_view>, 3> parts{{
            {Outcome::Confirmed, "Confirmed: "},
            {Outcome::Unanswered, "Sent, no answer: "},
            {Outcome::Unsent, "Not sent: "},
        }};
        for (const auto& [outcome, title] : parts) {
            std::vector<const DeviceMessage*> these;
            for (std::size_t i = 0; i < m_requests.size(); ++i)
                if (m_outcomes[i] == outcome)
                    these.push_back(&m_requests[i]);
            if (these.empty())
                continue;
            text += ' ';
            text += title;
            text += describe(these);
            text += '.';
        }
        return text;
    }
    const int unsent = total() - sent();
    if (unsent > 0) {
        text += ' ';
        text += std::to_string(unsent);
        text += " were not sent (cancelled).";
    }
    return text;
}

std::string CRequestRun::retryQuestion(std::string_view what) const {
    std::string text = "Send the ";
    text += std::to_string(remaining().size());
    text += ' ';
    text += what;
    text += " that were not confirmed again?";
    return text;
}

} // namespace velmar
