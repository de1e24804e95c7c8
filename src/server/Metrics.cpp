#include "server/Metrics.h"

#include "protocol/TerminalText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <string_view>

namespace velmar {

CHistogram::CHistogram(std::vector<double> upperBounds) : m_upperBounds(std::move(upperBounds)) {
    std::erase_if(m_upperBounds, [](double bound) { return !std::isfinite(bound); });
    std::sort(m_upperBounds.begin(), m_upperBounds.end());
    m_upperBounds.erase(std::unique(m_upperBounds.begin(), m_upperBounds.end()),
                        m_upperBounds.end());
    m_counts.assign(m_upperBounds.size(), 0);
}

void CHistogram::observe(double seconds) {
    if (std::isnan(seconds) || seconds < 0) {
        return;
    }
    const auto bucket = std::lower_bound(m_upperBounds.begin(), m_upperBounds.end(), seconds);
    if (bucket != m_upperBounds.end()) {
        ++m_counts[static_cast<std::size_t>(bucket - m_upperBounds.begin())];
    }
    ++m_count;
    m_sum += seconds;
}

CHistogram pollRoundTripHistogram() {
    return CHistogram({0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5});
}

namespace {

struct Label {
    std::string_view name;
    std::string_view value;
};

void appendNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
    } else if (std::isinf(value)) {
        out += value > 0 ? "+Inf" : "-Inf";
    } else {
        char text[32];
        const auto end = std::to_chars(std::begin(text), std::end(text), value).ptr;
        out.append(text, end);
    }
}

// Label values are UTF-8 with backslash, quote and newline escaped.
void appendLabelValue(std::string& out, std::string_view value) {
    for (std::size_t at = 0; at < value.size();) {
        const char c = value[at];
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
            ++at;
        } else if (c == '\n') {
            out += "\\n";
            ++at;
        } else if (static_cast<unsigned char>(c) < 0x80) {
            out += c;
            ++at;
        } else if (const std::size_t length = utf8SequenceLength(value, at); length > 0) {
            out.append(value.substr(at, length));
            at += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++at;
        }
    }
}

// Writes one family at a time; the HELP and TYPE lines go out with the
// family's first sample, so a family without samples leaves no trace.
class CWriter {
public:
    explicit CWriter(std::string& out) : m_out(out) {}

    void family(std::string_view name, std::string_view type, std::string_view help) {
        m_name = name;
        m_type = type;
        m_help = help;
        m_headed = false;
    }

    // A sample of the current family; `suffix` is "_bucket", "_sum" or "_count"
    // for a histogram's series. Counts are written exactly, as integers.
    void sample(std::initializer_list<Label> labels, double value, std::string_view suffix = {}) {
        series(labels, suffix);
        appendNumber(m_out, value);
        m_out += '\n';
    }
    void count(std::initializer_list<Label> labels, std::uint64_t value,
               std::string_view suffix = {}) {
        series(labels, suffix);
        m_out += std::to_string(value);
        m_out += '\n';
    }

private:
    void series(std::initializer_list<Label> labels, std::string_view suffix) {
        if (!m_headed) {
            m_out += "# HELP ";
            m_out += m_name;
            m_out += ' ';
            m_out += m_help;
            m_out += "\n# TYPE ";
            m_out += m_name;
            m_out += ' ';
            m_out += m_type;
            m_out += '\n';
            m_headed = true;
        }
        m_out += m_name;
        m_out += suffix;
        if (labels.size() > 0) {
            char separator = '{';
            for (const Label& label : labels) {
                m_out += separator;
                m_out += label.name;
                m_out += "=\"";
                appendLabelValue(m_out, label.value);
                m_out += '"';
                separator = ',';
            }
            m_out += '}';
        }
        m_out += ' ';
    }

    std::string& m_out;
    std::string_view m_name, m_type, m_help;
    bool m_headed = false;
};

struct FrameValue {
    const char* name;
    const char* type;
    const char* help;
    std::optional<double> (*value)(const FrameMetrics&);
};

constexpr FrameValue kFrameValues[] = {
    {"velmar_frame_up", "gauge", "Whether the server is connected to the frame and has read it.",
     [](const FrameMetrics& f) -> std::optional<double> { return f.up ? 1 : 0; }},
    {"velmar_frame_sync_locked", "gauge", "Whether the frame reports its sync source locked.",
     [](const FrameMetrics& f) -> std::optional<double> {
         if (!f.syncLocked) {
             return std::nullopt;
         }
         return *f.syncLocked ? 1 : 0;
     }},
    {"velmar_frame_sample_rate_hertz", "gauge", "The sample rate the frame reports.",
     [](const FrameMetrics& f) { return f.sampleRateHz; }},
};

struct UnitFamily {
    const char* name;
    const char* label;
    const char* help;
    std::vector<UnitMetric> FrameMetrics::*units;
};

constexpr UnitFamily kUnitFamilies[] = {
    {"velmar_frame_psu_ok", "psu", "Whether a fitted power supply of the frame reports ok.",
     &FrameMetrics::psus},
    {"velmar_frame_fan_ok", "fan", "Whether a fitted fan of the frame reports ok.",
     &FrameMetrics::fans},
};

struct RouteOutcome {
    const char* outcome;
    std::uint64_t FrameMetrics::*count;
};

constexpr RouteOutcome kRouteOutcomes[] = {
    {"confirmed", &FrameMetrics::routesConfirmed},
    {"refused", &FrameMetrics::routesRefused},
    {"unanswered", &FrameMetrics::routesUnanswered},
    {"offline", &FrameMetrics::routesOffline},
};

std::string numberText(double value) {
    std::string text;
    appendNumber(text, value);
    return text;
}

} // namespace

std::string prometheusText(std::span<const FrameMetrics> frames, const ServerMetrics& server) {
    std::string out;
    CWriter writer(out);

    for (const FrameValue& family : kFrameValues) {
        writer.family(family.name, family.type, family.help);
        for (const FrameMetrics& frame : frames) {
            if (const std::optional<double> value = family.value(frame)) {
                writer.sample({{"frame", frame.id}}, *value);
            }
        }
    }

    writer.family("velmar_frame_reconnects_total", "counter",
                  "Connections to the frame made again after a lost link.");
    for (const FrameMetrics& frame : frames) {
        writer.count({{"frame", frame.id}}, frame.reconnects);
    }

    for (const UnitFamily& family : kUnitFamilies) {
        writer.family(family.name, "gauge", family.help);
        for (const FrameMetrics& frame : frames) {
            for (const UnitMetric& unit : frame.*family.units) {
                if (unit.state == 0 || unit.state == 1) {
                    const std::string number = std::to_string(unit.number);
                    writer.count({{"frame", frame.id}, {family.label, number}},
                                 static_cast<std::uint64_t>(unit.state));
                }
            }
        }
    }

    writer.family("velmar_frame_poll_round_trip_seconds", "histogram",
                  "Time from the regular poll's request to the frame's last reply.");
    for (const FrameMetrics& frame : frames) {
        const CHistogram& histogram = frame.pollRoundTrip;
        std::uint64_t cumulative = 0;
        for (std::size_t i = 0; i < histogram.upperBounds().size(); ++i) {
            cumulative += histogram.counts()[i];
            const std::string le = numberText(histogram.upperBounds()[i]);
            writer.count({{"frame", frame.id}, {"le", le}}, cumulative, "_bucket");
        }
        writer.count({{"frame", frame.id}, {"le", "+Inf"}}, histogram.count(), "_bucket");
        writer.sample({{"frame", frame.id}}, histogram.sum(), "_sum");
        writer.count({{"frame", frame.id}}, histogram.count(), "_count");
    }

    writer.family("velmar_route_changes_total", "counter",
                  "Route changes sent to the frame through the server, by outcome.");
    for (const FrameMetrics& frame : frames) {
        for (const RouteOutcome& outcome : kRouteOutcomes) {
            writer.count({{"frame", frame.id}, {"outcome", outcome.outcome}}, frame.*outcome.count);
        }
    }

    writer.family("velmar_http_connections", "gauge", "HTTP connections open now.");
    writer.count({}, server.httpConnections);
    writer.family("velmar_websocket_clients", "gauge", "WebSocket clients connected now.");
    writer.count({}, server.webSocketClients);
    writer.family("velmar_websocket_dropped_total", "counter",
                  "WebSocket clients dropped for reading too slowly.");
    writer.count({}, server.webSocketDropped);
    writer.family("velmar_http_requests_total", "counter",
                  "HTTP requests answered, by status code.");
    for (const auto& [status, count] : server.httpRequestsByStatus) {
        const std::string code = std::to_string(status);
        writer.count({{"code", code}}, count);
    }
    writer.family("velmar_server_start_time_seconds", "gauge",
                  "When the server started, in seconds since the Unix epoch.");
    writer.sample({}, server.startTimeSeconds);
    return out;
}

} // namespace velmar
