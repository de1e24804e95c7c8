#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace velmar {

// The hand-over of search replies from the discovery worker to the
// user-interface thread: the only object the two threads share. It holds at
// most kMaxQueued texts: a frame flooding replies faster than the window takes
// them must not grow the program without bound, so the surplus is counted as
// lost instead.
class CReplyQueue {
public:
    static constexpr std::size_t kMaxQueued = 16384;

    enum class Push { First, Queued, Lost };

    // Worker side. First when the queue was empty, so the taker needs waking.
    Push push(std::string text) {
        const std::lock_guard lock(m_mutex);
        if (m_items.size() >= kMaxQueued) {
            ++m_lost;
            return Push::Lost;
        }
        m_items.push_back(std::move(text));
        return m_items.size() == 1 ? Push::First : Push::Queued;
    }
    // User-interface side: everything queued so far, in order.
    std::vector<std::string> drain() {
        const std::lock_guard lock(m_mutex);
        std::vector<std::string> out;
        out.swap(m_items);
        return out;
    }
    // Replies turned away because the queue was full, since it was made.
    std::uint64_t lost() const {
        const std::lock_guard lock(m_mutex);
        return m_lost;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_items;
    std::uint64_t m_lost = 0;
};

} // namespace velmar
