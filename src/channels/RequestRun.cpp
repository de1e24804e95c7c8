#include "channels/RequestRun.h"

#include <algorithm>
#include <utility>

namespace velmar {

namespace {
constexpr std::size_t kRefusalNotes = 10;
}

CRequestRun::CRequestRun(IRequestSink& sink, int window)
    : m_sink(sink), m_window(std::max(1, window)) {}

CRequestRun::Key CRequestRun::keyOf(const DeviceMessage& message) {
    return {static_cast<int>(message.command), message.i(1), message.i(2)};
}

void CRequestRun::start(std::vector<DeviceMessage> requests) {
    m_requests = std::move(requests);
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
        const DeviceMessage& request = m_requests[m_next++];
        ++m_waiting[keyOf(request)];
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

void CRequestRun::stalled() {
    if (!m_running)
        return;
    m_unanswered += m_inFlight;
    m_waiting.clear();
    m_inFlight = 0;
    m_cancelled = true; // what was never sent stays unsent
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
    if (--it->second == 0)
        m_waiting.erase(it);
    --m_inFlight;
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

std::string CRequestRun::summary(std::string_view what) const {
    std::string text = "The frame confirmed " + std::to_string(m_confirmed) + " of " +
                       std::to_string(total()) + " " + std::string(what) + ".";
    if (m_refused > 0) {
        text += " It refused " + std::to_string(m_refused) + ":";
        for (std::size_t i = 0; i < m_refusalNotes.size(); ++i)
            text += (i == 0 ? " " : ", ") + m_refusalNotes[i];
        if (static_cast<std::size_t>(m_refused) > m_refusalNotes.size())
            text += ", ...";
        text += ".";
    }
    if (m_unanswered > 0) {
        text += ' ';
        text += std::to_string(m_unanswered);
        text += " got no answer.";
    }
    const int unsent = total() - sent();
    if (unsent > 0) {
        text += ' ';
        text += std::to_string(unsent);
        text += m_unanswered > 0 ? " were not sent because the frame stopped answering."
                                 : " were not sent (cancelled).";
    }
    return text;
}

} // namespace velmar
