// The Prometheus text of GET /metrics, line by line, and as Prometheus's own
// checker reads it.

#include "server/Metrics.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <sstream>
#include <unistd.h>

namespace velmar {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool hasLine(const std::string& text, const std::string& line) {
    const auto lines = linesOf(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Whether any sample of the series (name and labels) is written, whatever its value.
bool hasSeries(const std::string& text, const std::string& series) {
    for (const std::string& line : linesOf(text))
        if (line.starts_with(series + " "))
            return true;
    return false;
}

// Three frames as a facility has them: one healthy, one with a faulty PSU and
// an odd ID, one offline with nothing reported.
std::vector<FrameMetrics> facility() {
    std::vector<FrameMetrics> frames(3);
    frames[0].id = std::string("studio-a");
    frames[0].up = true;
    frames[0].syncLocked = true;
    frames[0].sampleRateHz = 48000;
    frames[0].psus = {{1, 1}, {2, 1}};
    frames[0].fans = {{1, 1}, {2, 1}, {3, 1}};
    frames[0].routesConfirmed = 12;
    for (double s : {0.0008, 0.0012, 0.003, 0.04, 7.0})
        frames[0].pollRoundTrip.observe(s);
    frames[1].id = std::string("rack \"B\"\\2\nnew line \xC3\xA9 \xFF");
    frames[1].up = true;
    frames[1].syncLocked = false;
    frames[1].sampleRateHz = 44100;
    frames[1].psus = {{1, 0}, {2, -1}};
    frames[1].fans = {{1, 1}};
    frames[1].reconnects = 3;
    frames[1].routesRefused = 2;
    frames[1].routesUnanswered = 1;
    frames[1].pollRoundTrip.observe(0.25);
    frames[2].id = std::string("192.168.1.22");
    frames[2].reconnects = 17;
    frames[2].routesOffline = 4;
    return frames;
}

TEST(MetricsText, EachValueIsWrittenOrLeftOutAsReported) {
    ServerMetrics server;
    server.httpConnections = 2;
    server.webSocketClients = 5;
    server.webSocketDropped = 1;
    server.httpRequestsByStatus = {{200, 40}, {404, 2}, {504, 1}};
    server.startTimeSeconds = 1765270000.5;
    const std::string text = prometheusText(facility(), server);
    const std::string b = R"(frame="rack \"B\"\\2\nnew line é �")";
    const std::pair<std::string, bool> rows[] = {
        {R"(velmar_frame_up{frame="studio-a"} 1)", true},
        {"velmar_frame_up{" + b + "} 1", true},
        {R"(velmar_frame_up{frame="192.168.1.22"} 0)", true},
        {R"(velmar_frame_sync_locked{frame="studio-a"} 1)", true},
        {"velmar_frame_sync_locked{" + b + "} 0", true},
        {R"(velmar_frame_sample_rate_hertz{frame="studio-a"} 48000)", true},
        {"velmar_frame_sample_rate_hertz{" + b + "} 44100", true},
        {"velmar_frame_psu_ok{" + b + ",psu=\"1\"} 0", true},
        {R"(velmar_frame_fan_ok{frame="studio-a",fan="3"} 1)", true},
        {R"(velmar_frame_reconnects_total{frame="192.168.1.22"} 17)", true},
        {R"(velmar_frame_reconnects_total{frame="studio-a"} 0)", true},
        {R"(velmar_route_changes_total{frame="studio-a",outcome="confirmed"} 12)", true},
        {"velmar_route_changes_total{" + b + ",outcome=\"refused\"} 2", true},
        {"velmar_route_changes_total{" + b + ",outcome=\"unanswered\"} 1", true},
        {R"(velmar_route_changes_total{frame="192.168.1.22",outcome="offline"} 4)", true},
        {"velmar_http_connections 2", true},
        {"velmar_websocket_clients 5", true},
        {"velmar_websocket_dropped_total 1", true},
        {R"(velmar_http_requests_total{code="404"} 2)", true},
        {"velmar_server_start_time_seconds 1765270000.5", true},
        {"# TYPE velmar_frame_poll_round_trip_seconds histogram", true},
        {"# TYPE velmar_http_requests_total counter", true},
        // Not reported: an offline frame's sync and rate, a PSU without status.
        {R"(velmar_frame_sync_locked{frame="192.168.1.22"})", false},
        {R"(velmar_frame_sample_rate_hertz{frame="192.168.1.22"})", false},
        {"velmar_frame_psu_ok{" + b + ",psu=\"2\"}", false},
    };
    for (const auto& [line, present] : rows)
        EXPECT_EQ(present ? hasLine(text, line) : hasSeries(text, line), present) << line << "\n"
                                                                                  << text;
}

TEST(MetricsText, FamiliesComeOnceWithHeadersAndTheirSamplesTogether) {
    const std::string text = prometheusText(facility(), ServerMetrics{});
    std::string current;
    std::set<std::string> seen;
    for (const std::string& line : linesOf(text)) {
        ASSERT_FALSE(line.empty());
        if (line.starts_with("# HELP ")) {
            current = line.substr(7, line.find(' ', 7) - 7);
            EXPECT_TRUE(seen.insert(current).second) << "second family " << current;
            continue;
        }
        if (line.starts_with("# TYPE ")) {
            EXPECT_TRUE(line.starts_with("# TYPE " + current + " ")) << line;
            continue;
        }
        EXPECT_TRUE(line.starts_with(current)) << line << " outside family " << current;
    }
    // No family without samples: nothing asked for status codes.
    EXPECT_EQ(seen.count("velmar_http_requests_total"), 0u);
    EXPECT_EQ(seen.size(), 12u);
    EXPECT_TRUE(prometheusText({}, ServerMetrics{}).starts_with("# HELP velmar_http_connections "));
}

TEST(MetricsHistogram, CountsEachReadingInItsBucket) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        std::vector<double> bounds, readings, wantBounds;
        std::vector<std::uint64_t> wantCounts;
        std::uint64_t wantCount;
        double wantSum;
    };
    const Row rows[] = {
        // A reading on a bound belongs to that bound ("le"); above the last, to +Inf only.
        {{0.1, 1}, {0.1, 0.5, 1, 2, 0}, {0.1, 1}, {2, 2}, 5, 3.6},
        // Bounds are sorted, made unique, and +Inf or NaN among them dropped.
        {{1, inf, 0.5, 1, nan}, {0.7}, {0.5, 1}, {0, 1}, 1, 0.7},
        // Readings no clock can give are not counted.
        {{1}, {-0.5, nan, 0.25}, {1}, {1}, 1, 0.25},
    };
    for (const Row& row : rows) {
        CHistogram h(row.bounds);
        for (double r : row.readings)
            h.observe(r);
        EXPECT_EQ(h.upperBounds(), row.wantBounds);
        EXPECT_EQ(h.counts(), row.wantCounts);
        EXPECT_EQ(h.count(), row.wantCount);
        EXPECT_DOUBLE_EQ(h.sum(), row.wantSum);
    }
    const CHistogram poll = pollRoundTripHistogram();
    EXPECT_EQ(poll.upperBounds().front(), 0.001);
    EXPECT_EQ(poll.upperBounds().back(), 5.0);
}

TEST(MetricsText, HistogramBucketsAreCumulativeUpToInf) {
    FrameMetrics frame;
    frame.id = std::string("f");
    frame.pollRoundTrip = CHistogram({0.01, 0.1});
    for (double s : {0.005, 0.05, 0.05, 3.0})
        frame.pollRoundTrip.observe(s);
    const std::string text = prometheusText({&frame, 1}, ServerMetrics{});
    for (const char* line :
         {R"(velmar_frame_poll_round_trip_seconds_bucket{frame="f",le="0.01"} 1)",
          R"(velmar_frame_poll_round_trip_seconds_bucket{frame="f",le="0.1"} 3)",
          R"(velmar_frame_poll_round_trip_seconds_bucket{frame="f",le="+Inf"} 4)",
          R"(velmar_frame_poll_round_trip_seconds_sum{frame="f"} 3.105)",
          R"(velmar_frame_poll_round_trip_seconds_count{frame="f"} 4)"})
        EXPECT_TRUE(hasLine(text, line)) << line << "\n" << text;
}

// Prometheus's own checker (Debian's prometheus package) parses the document
// and lints it against the naming conventions.
TEST(MetricsPromtool, PromtoolCheckMetricsAcceptsAFacility) {
    if (std::system("command -v promtool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus; scripts/setup.sh)";
    ServerMetrics server;
    server.httpConnections = 3;
    server.webSocketClients = 2;
    server.httpRequestsByStatus = {{200, 120}, {401, 3}, {409, 1}, {503, 2}};
    server.startTimeSeconds = 1765270000;
    char path[] = "/tmp/velmar-metrics-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << prometheusText(facility(), server);
    const std::string command = std::string("promtool check metrics <") + path + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pclose(pipe);
    std::remove(path);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output, "");
}

} // namespace
} // namespace velmar
