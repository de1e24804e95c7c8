#pragma once

#include <algorithm>
#include <deque>
#include <map>
#include <string_view>
#include <vector>

namespace velmar {

// What became of one request a client of the frame waits on.
enum class ReplyOutcome { Pending, Confirmed, Refused, Unanswered };

std::string_view outcomeName(ReplyOutcome outcome); // "confirmed", "refused" ...

// The requests a client has sent and is waiting on, each filed under the key
// its reply will carry (an output, a command). A reply answers the oldest
// pending request of its key, so one run may ask the same key twice. Entry
// needs an `outcome` member; what makes a reply a confirmation is the
// tracker's business.
template <typename Key, typename Entry>
class CReplyBook {
public:
    void add(const Key& key, Entry entry) {
        m_waiting[key].push_back(m_entries.size());
        m_entries.push_back(std::move(entry));
        ++m_pending;
    }
    // The oldest pending entry filed under `key`, now taken off the waiting
    // list; nullptr when none waits.
    Entry* answer(const Key& key) {
        const auto it = m_waiting.find(key);
        if (it == m_waiting.end() || it->second.empty())
            return nullptr;
        Entry& entry = m_entries[it->second.front()];
        it->second.pop_front();
        --m_pending;
        return &entry;
    }
    // Entries still pending become unanswered (time-out or link lost).
    void giveUp() {
        for (Entry& entry : m_entries)
            if (entry.outcome == ReplyOutcome::Pending)
                entry.outcome = ReplyOutcome::Unanswered;
        m_waiting.clear();
        m_pending = 0;
    }

    bool allAnswered() const { return m_pending == 0; }
    bool allConfirmed() const {
        return std::all_of(m_entries.begin(), m_entries.end(),
                           [](const Entry& e) { return e.outcome == ReplyOutcome::Confirmed; });
    }
    int count(ReplyOutcome outcome) const {
        return static_cast<int>(
            std::count_if(m_entries.begin(), m_entries.end(),
                          [outcome](const Entry& e) { return e.outcome == outcome; }));
    }
    const std::vector<Entry>& entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
    std::map<Key, std::deque<std::size_t>> m_waiting; // key -> entry indices, oldest first
    int m_pending = 0;
};

} // namespace velmar
