#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmar {

// A Prometheus histogram of durations in seconds. The counts are kept per
// bucket; the writer makes them cumulative and adds the +Inf bucket, whose
// count is count().
class CHistogram {
public:
    // Bounds in seconds. They are sorted and made unique here, and bounds that
    // are not finite dropped, so the "le" labels always ascend.
    explicit CHistogram(std::vector<double> upperBounds);

    // Counts `seconds` in the first bucket whose bound is not below it (or in
    // +Inf only). A negative or not-a-number reading is ignored: it could only
    // come from a fault, and would spoil the sum for good.
    void observe(double seconds);

    const std::vector<double>& upperBounds() const { return m_upperBounds; }
    // Per bound, not cumulative; what lies above the last bound is in count() only.
    const std::vector<std::uint64_t>& counts() const { return m_counts; }
    std::uint64_t count() const { return m_count; }
    double sum() const { return m_sum; }

private:
    std::vector<double> m_upperBounds;
    std::vector<std::uint64_t> m_counts;
    std::uint64_t m_count = 0;
    double m_sum = 0;
};

// For a frame's regular poll, from the request to the last reply: a quiet
// loopback frame answers in about a millisecond, one about to be dropped for
// silence takes seconds.
CHistogram pollRoundTripHistogram();

// A PSU or fan by its number: state 1 ok, 0 faulty, -1 not reported.
struct UnitMetric {
    int number = 0;
    int state = -1;
};

struct FrameMetrics {
    std::string id;
    bool up = false;                // connected and read
    std::optional<bool> syncLocked; // nullopt: not reported
    std::optional<double> sampleRateHz;
    std::vector<UnitMetric> psus, fans; // fitted units only
    std::uint64_t reconnects = 0;
    CHistogram pollRoundTrip = pollRoundTripHistogram();
    std::uint64_t routesConfirmed = 0, routesRefused = 0, routesUnanswered = 0, routesOffline = 0;
};

struct ServerMetrics {
    std::uint64_t httpConnections = 0;                 // open now
    std::uint64_t webSocketClients = 0;                // open now
    std::uint64_t webSocketDropped = 0;                // slow clients dropped, total
    std::map<int, std::uint64_t> httpRequestsByStatus; // status code -> count
    double startTimeSeconds = 0;                       // Unix time the server started
};

// The Prometheus text exposition (version 0.0.4) of the frames and the
// server, for GET /metrics. Every family comes once with its HELP and TYPE
// lines and all of its samples together; a family without samples is left
// out, and so is a value the frame did not report. Frame IDs are label values:
// backslash, quote and newline are escaped and bytes that are not UTF-8 become
// U+FFFD, so no ID can break the document.
std::string prometheusText(std::span<const FrameMetrics> frames, const ServerMetrics& server);

} // namespace velmar
