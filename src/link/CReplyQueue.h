#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace velmar {

// The hand-over of search replies from the discovery worker to the
// user-interface thread: the only object the two threads share.
class CReplyQueue {
public:
    // Worker side.
    void push(std::string text) {
        const std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(text));
    }
    // User-interface side: everything queued so far, in order.
    std::vector<std::string> drain() {
        const std::lock_guard lock(m_mutex);
        std::vector<std::string> out;
        out.swap(m_items);
        return out;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_items;
};

} // namespace velmar
