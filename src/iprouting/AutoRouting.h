#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"
#include "engine/SettingsApply.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

inline constexpr int kRouteChannels = 64;
inline constexpr int kAutoLatencyMax = 99999;
inline constexpr int kAutoLatencyMin = 250; // what "Set" raises a smaller latency to

// One destination channel's route as the frame reports it ("gcrossip").
struct RouteRecord {
    int channel = 0; // destination channel X, 1..64
    std::string destinationDevice;
    std::string sourceChannel; // as text, "05"; empty when X is not routed
    std::string sourceDevice;
    friend bool operator==(const RouteRecord&, const RouteRecord&) = default;
};

// One row of "Routing status".
struct RouteRow {
    int channel = 0;    // destination channel X: the row's item data
    std::string number; // "No."
    std::string sourceDevice;
    std::string sourceChannel;
    std::string destinationDevice;
    std::string destinationChannel;
};

// The source channel Y as the frame reads it: two digits, empty for 0.
std::string sourceChannelText(int y);
// The source channel a route reply names, or 0 when it names none.
int sourceChannelNumber(std::string_view text);

// The "scrossip" request of a route: empty source channel text removes it.
DeviceMessage routeRequest(int channel, std::string_view destinationDevice,
                           std::string_view sourceChannel, std::string_view sourceDevice);

struct RouteOutcome {
    bool sent = false;
    std::string message; // for the operator when nothing was sent
};

// The " Automatic IP routing control" dialog without widgets.
class CAutoRoutingLogic final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = " Automatic IP routing control";
    static constexpr std::string_view kDisconnectTitle = "IP routing status";
    static constexpr std::string_view kDisconnectQuestion = "Disconnect selected";
    static constexpr std::string_view kEnableQuestion =
        "Enabling auto routing will remove all Dante crosspoints created via DanteController to "
        "this unit. Continue";
    // Modules newer than 2.0.2.0 take a latency.
    static constexpr int kLatencyFromVersion = 2000200;

    CAutoRoutingLogic(const DeviceState& state, IRequestSink& sink, IQuestions& questions);

    void opened();
    void refresh();
    const DeviceState& state() const { return m_state; }

    // "Connect": routes destination channel `x` on `destinationHost` to source
    // channel `y` of `sourceHost`; y 0 removes the route of x.
    RouteOutcome connect(int y, std::string_view sourceHost, int x,
                         std::string_view destinationHost);
    // "Delete route(s)": rows in list order.
    RouteOutcome deleteRoutes(const std::vector<int>& selectedRows);
    // The check box was clicked to `checked`; the state it shows afterwards.
    bool autoRoutingClicked(bool checked);
    // "Set": sends the latency typed and the frame value that goes with it
    // (performValues, the rule the settings dialog applies as well). When the
    // latency sent is not the one typed, notice() says why.
    PerformValues setPressed(int latency);

    const std::vector<RouteRow>& rows() const { return m_rows; }
    const RouteRecord& route(int channel) const;
    bool autoRouting() const { return m_autoRouting; }
    int frameValue() const { return m_frame; }
    int latencyField() const { return m_latency; }
    // True once after the frame's latency changed what the field should show
    // (a differing "glatencyip", an accepted "sperformip"); a typed value that
    // was not Set yet is left alone otherwise.
    bool takeLatencyUpdate() { return std::exchange(m_latencyUpdate, false); }
    bool latencyEnabled() const { return m_latencyEnabled; }
    bool connectEnabled() const { return m_autoRouting; }
    std::string settingsTitle() const; // " Settings (localhost) "
    const std::string& notice() const { return m_notice; }
    bool takeChanged();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void onRoute(const DeviceMessage& m);

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    std::array<RouteRecord, kRouteChannels + 1> m_routes{};
    std::vector<RouteRow> m_rows;
    bool m_autoRouting = false;
    int m_frame = 0;
    int m_latency = 0;
    bool m_latencyUpdate = false;
    bool m_latencyEnabled = false;
    std::string m_notice;
    bool m_changed = false;
};

} // namespace velmar
