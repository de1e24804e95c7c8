#include "events/EventHistory.h"

#include <algorithm>
#include <cctype>

namespace velmar {

namespace {

bool containsFolded(std::string_view text, std::string_view needle) {
    const auto fold = [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    };
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                       [&](char a, char b) { return fold(a) == fold(b); }) != text.end();
}

} // namespace

void CEventHistory::onEvent(const Event& event) {
    if (m_events.size() >= kMaxEvents) {
        m_events.pop_front();
        ++m_firstSequence;
        ++m_dropped;
        if (!m_shown.empty() && m_shown.back() < m_firstSequence)
            m_shown.pop_back();
    }
    m_events.push_back(event);
    // Only the new event is looked at: a long history costs nothing per event.
    if (matches(event))
        m_shown.push_front(m_firstSequence + m_events.size() - 1);
    const bool known = std::any_of(m_frames.begin(), m_frames.end(), [&](const FrameIdentity& f) {
        return f.address == event.frame.address;
    });
    if (!known && !event.frame.address.empty()) {
        m_frames.push_back(event.frame);
    } else {
        // The name and ID come after the connect: keep the newest known.
        for (FrameIdentity& f : m_frames)
            if (f.address == event.frame.address && !event.frame.name.empty())
                f = event.frame;
    }
    if (event.severity == EventSeverity::Alarm) {
        m_alarm = event;
        ++m_alarmCount;
    }
    changed();
}

void CEventHistory::setFilter(Filter filter) {
    m_filter = std::move(filter);
    rebuild();
    changed();
}

const Event& CEventHistory::row(std::size_t index) const {
    return m_events[m_shown.at(index) - m_firstSequence];
}

void CEventHistory::acknowledge() {
    if (!m_alarm)
        return;
    m_alarm.reset();
    m_alarmCount = 0;
    changed();
}

bool CEventHistory::matches(const Event& e) const {
    if (static_cast<int>(e.severity) < static_cast<int>(m_filter.minimum))
        return false;
    if (!m_filter.address.empty() && e.frame.address != m_filter.address)
        return false;
    const std::string& s = m_filter.search;
    return s.empty() || containsFolded(e.text, s) || containsFolded(e.frame.name, s) ||
           containsFolded(e.frame.address, s) || containsFolded(e.frame.serial, s) ||
           containsFolded(eventKindName(e.kind), s);
}

void CEventHistory::rebuild() {
    ++m_rebuilds;
    m_shown.clear();
    for (std::size_t k = m_events.size(); k-- > 0;)
        if (matches(m_events[k]))
            m_shown.push_back(m_firstSequence + k);
}

} // namespace velmar
