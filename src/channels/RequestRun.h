#pragma once

#include "engine/DialogRegistry.h"
#include "engine/EngineInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace velmar {

// A long run of requests ("Default all" writes 3072 labels, the level
// detectors ask for thousands of values). At most `window` requests wait for
// their reply at a time, so the frame is never flooded and the window stays
// responsive; each reply (confirmed or refused) lets the next one go out.
// Replies are matched by command, first and second value (kind and channel
// for every channel command), so unrelated traffic is not counted.
//
// The shell calls stalled() when nothing has arrived for a while (a frame
// that stopped answering or a lost link): the run ends as a partial apply,
// names what was and was not sent, and keeps the requests the frame did not
// answer for a retry. cancel() sends nothing more; the replies of what is
// already on the way are still counted.
class CRequestRun final : public IDialogSink {
public:
    static constexpr int kDefaultWindow = 32;

    explicit CRequestRun(IRequestSink& sink, int window = kDefaultWindow);

    // Starts a new run (a running one is forgotten) and sends the first window.
    void start(std::vector<DeviceMessage> requests);
    void cancel();
    void stalled(std::string_view why = "the frame stopped answering");

    bool running() const { return m_running; }
    bool cancelled() const { return m_cancelled; }
    // The run ended because the frame stopped answering, with requests left.
    bool partial() const { return m_stalled && !remaining().empty(); }
    // What the frame neither confirmed nor refused (no answer, or never
    // sent), in the run's order: what a retry sends.
    std::vector<DeviceMessage> remaining() const;
    int total() const { return static_cast<int>(m_requests.size()); }
    int sent() const { return static_cast<int>(m_next); }
    int confirmed() const { return m_confirmed; }
    int refused() const { return m_refused; }
    int answered() const { return m_confirmed + m_refused; }
    int unanswered() const { return m_unanswered; }
    // The first refusals (at most ten), for the operator: "channel 17 (status 3)".
    const std::vector<std::string>& refusals() const { return m_refusalNotes; }

    // "The frame confirmed 3072 of 3072 requests." and what else happened;
    // after a stall, which channels were confirmed, went unanswered and were
    // not sent.
    std::string summary(std::string_view what) const;
    // The retry offer after a partial apply: "Send the 9 labels that were not confirmed again?"
    std::string retryQuestion(std::string_view what) const;

    // True once after a reply moved the run on; the shell redraws its progress.
    bool takeProgress();
    // Called once when a run ends (all answered, cancelled and drained, or stalled).
    void setOnFinished(std::function<void()> onFinished) { m_onFinished = std::move(onFinished); }

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    enum class Outcome : std::uint8_t { Unsent, Waiting, Confirmed, Refused, Unanswered };
    using Key = std::tuple<int, std::int32_t, std::int32_t>;
    static Key keyOf(const DeviceMessage& message);
    void fill();
    void finishIfDone();

    IRequestSink& m_sink;
    int m_window;
    std::vector<DeviceMessage> m_requests;
    std::size_t m_next = 0;
    std::vector<Outcome> m_outcomes;                  // one per request
    std::map<Key, std::deque<std::size_t>> m_waiting; // requests on the way, by key, oldest first
    int m_inFlight = 0;
    int m_confirmed = 0;
    int m_refused = 0;
    int m_unanswered = 0;
    bool m_running = false;
    bool m_cancelled = false;
    bool m_stalled = false;
    std::string m_stallReason;
    bool m_progress = false;
    std::vector<std::string> m_refusalNotes;
    std::function<void()> m_onFinished;
};

} // namespace velmar
