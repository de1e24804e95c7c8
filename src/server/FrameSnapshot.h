#pragma once

#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"
#include "engine/Health.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

class CJsonWriter;

// A frame's labels of one side, [0..crosspoints], shared by the snapshots
// that hold the same texts: a route change copies a pointer, not 1536
// strings. Written only by the frame's thread, and copied first when a
// published snapshot still shares it.
class CLabelTable {
public:
    const std::string& operator[](std::size_t i) const { return (*m_rows)[i]; }
    std::size_t size() const { return m_rows->size(); }
    bool empty() const { return m_rows->empty(); }
    operator const std::vector<std::string>&() const { return *m_rows; }
    // The rows themselves, for a reader that keeps them past the snapshot.
    std::shared_ptr<const std::vector<std::string>> shared() const { return m_rows; }
    void assign(std::size_t count, const std::string& text);
    void resize(std::size_t count);
    // Sets one label, copying the table first only when the text differs.
    void set(std::size_t i, std::string_view text);
    friend bool operator==(const CLabelTable& a, const CLabelTable& b) {
        return *a.m_rows == *b.m_rows;
    }

private:
    std::vector<std::string>& own();
    std::shared_ptr<std::vector<std::string>> m_rows = std::make_shared<std::vector<std::string>>();
};

// Where the server's link to a frame stands.
enum class FrameLinkState { Connecting, Connected, Offline };
std::string_view frameLinkStateName(FrameLinkState state); // "connecting", "connected", "offline"

// One frame as the server's clients see it: a copy taken on the frame's own
// thread after each change, so a request never reads the engine's state
// while the frame's messages are being dispatched into it.
struct FrameSnapshot {
    std::string id;      // the frame's name in the API
    std::string address; // dotted IPv4
    FrameLinkState link = FrameLinkState::Connecting;
    std::string offlineReason; // why the last link ended or failed
    bool read = false;         // connected and its start-up poll answered
    std::string name;          // the frame's own name; empty when not reported
    std::string type;          // "460" ...; empty when not reported
    std::string serial;
    std::string firmware;      // the main board's version text
    HealthReport health;       // meaningful when `read`
    std::string statusJson;    // the status report as JSON; empty before the first read
    std::string syncSource;    // empty when not reported
    std::string sampleRate;    // "48 kHz"; empty when not reported
    std::optional<bool> syncLocked;
    std::optional<double> sampleRateHz;
    // Fitted units: 1 OK, 0 faulty, -1 not reported; [0] unused.
    std::vector<std::pair<int, int>> psus; // unit number, state
    std::vector<std::pair<int, int>> fans;
    int crosspoints = 0;                   // outputs = inputs; 0 for frames without a matrix
    std::vector<std::int32_t> routes;      // [1..crosspoints]: input, 0 unrouted
    std::vector<bool> routeReported;       // [1..crosspoints]
    CLabelTable inputLabels;  // [1..crosspoints]; empty: no label
    CLabelTable outputLabels; // [1..crosspoints]
};

// The health word of the API: "ok", "warning", "alarm", or "unknown" while
// the frame has not been read.
std::string_view apiHealthName(const FrameSnapshot& frame);

// "48 kHz" -> 48000; nullopt for a text that is no rate.
std::optional<double> sampleRateHertz(std::string_view text);

// Fills everything the frame's state tells (not id, address, link, reason).
void fillSnapshot(FrameSnapshot& out, const DeviceState& state, const StatusFields& fields,
                  bool cardsPolled);
// Only the routes and their labels: what a crosspoint message changes.
void fillRoutes(FrameSnapshot& out, const DeviceState& state);

// The JSON of the API, each one value written into `out`.
// {"id","address","name","type","state","health"}: the frames list's entry.
void writeFrameSummaryJson(CJsonWriter& out, const FrameSnapshot& frame);
// The summary's fields and, once read, the status report's: "status".
void writeFrameStatusJson(CJsonWriter& out, const FrameSnapshot& frame);
// {"frame","crosspoints","routes":[{"output","outputName","outputLabel","input",
// "inputName","inputLabel"}]} for every output; input fields null when unrouted
// or not reported, labels null when the frame has none.
void writeRoutesJson(CJsonWriter& out, const FrameSnapshot& frame);
// {"frame","channels","labels":[{"channel","name","input","output"}]}
void writeLabelsJson(CJsonWriter& out, const FrameSnapshot& frame);

} // namespace velmar
