#include "iprouting/AutoRouting.h"

#include "iprouting/IpRouting.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace velmar {

namespace {

constexpr int kTextCapacity = 32;

std::size_t at(int index) { return static_cast<std::size_t>(index); }
bool inRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

} // namespace

std::string sourceChannelText(int y) {
    if (y <= 0)
        return {};
    std::string text = y < 10 ? "0" : "";
    text += std::to_string(y);
    return text;
}

int sourceChannelNumber(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || !inRange(value, 1, kRouteChannels))
        return 0;
    return value;
}

DeviceMessage routeRequest(int channel, std::string_view destinationDevice,
                           std::string_view sourceChannel, std::string_view sourceDevice) {
    DeviceMessage m = DeviceMessage::request(CommandId::scrossip);
    m.setI(1, channel);
    m.setText(2, kTextCapacity, destinationDevice);
    m.setText(10, kTextCapacity, sourceChannel);
    m.setText(18, kTextCapacity, sourceDevice);
    return m;
}

CAutoRoutingLogic::CAutoRoutingLogic(const DeviceState& state, IRequestSink& sink,
                                     IQuestions& questions)
    : m_state(state), m_sink(sink), m_questions(questions) {}

std::string CAutoRoutingLogic::settingsTitle() const { return " Settings (localhost) "; }

void CAutoRoutingLogic::opened() {
    m_latencyEnabled = m_state.versionNumber() > kLatencyFromVersion;
    const std::string module = moduleNameOrLocalhost(m_state);
    m_sink.sendRequest(DeviceMessage::request(CommandId::gautorouteip));
    for (const CommandId id :
         {CommandId::gframeip, CommandId::glatencyip, CommandId::gmaxlatencyip}) {
        DeviceMessage m = DeviceMessage::request(id);
        m.setText(1, kTextCapacity, module);
        m_sink.sendRequest(m);
    }
    refresh();
}

void CAutoRoutingLogic::refresh() {
    m_rows.clear();
    m_changed = true;
    for (int x = 1; x <= kRouteChannels; ++x) {
        DeviceMessage m = DeviceMessage::request(CommandId::gcrossip);
        m.setI(1, x);
        m.setText(2, kTextCapacity, "localhost");
        m_sink.sendRequest(m);
    }
}

const RouteRecord& CAutoRoutingLogic::route(int channel) const {
    static const RouteRecord kNone{};
    return inRange(channel, 1, kRouteChannels) ? m_routes[at(channel)] : kNone;
}

RouteOutcome CAutoRoutingLogic::connect(int y, std::string_view sourceHost, int x,
                                        std::string_view destinationHost) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    if (!inRange(y, 0, kRouteChannels))
        return {false, "The source channel must be 0 to 64"};
    if (!inRange(x, 1, kRouteChannels))
        return {false, "The destination channel must be 1 to 64"};
    for (const std::string_view host : {sourceHost, destinationHost})
        if (auto problem = hostNameProblem(host))
            return {false, *problem};
    const std::string destination =
        destinationHost.empty() ? std::string("localhost") : std::string(destinationHost);
    if (destination == sourceHost)
        return {false, "Source and destination are the same device"};
    const std::string source =
        sourceHost.empty() ? moduleNameOrLocalhost(m_state) : std::string(sourceHost);
    m_sink.sendRequest(routeRequest(x, destination, sourceChannelText(y), source));
    return {true, {}};
}

RouteOutcome CAutoRoutingLogic::deleteRoutes(const std::vector<int>& selectedRows) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    std::vector<int> channels;
    for (const int row : selectedRows)
        if (row >= 0 && at(row) < m_rows.size())
            channels.push_back(m_rows[at(row)].channel);
    if (channels.empty())
        return {false, "Select the routes to delete"};
    if (channels.size() > 1 && !m_questions.askYesNo(kDisconnectTitle, kDisconnectQuestion))
        return {false, {}};
    for (auto it = channels.rbegin(); it != channels.rend(); ++it) {
        if (!inRange(*it, 1, kRouteChannels))
            continue;
        const RouteRecord& r = m_routes[at(*it)];
        m_sink.sendRequest(routeRequest(*it, r.destinationDevice, "", r.sourceDevice));
    }
    return {true, {}};
}

bool CAutoRoutingLogic::autoRoutingClicked(bool checked) {
    if (checked && !m_questions.askYesNo({}, kEnableQuestion))
        return false;
    DeviceMessage m = DeviceMessage::request(CommandId::sautorouteip);
    m.setI(1, checked ? 1 : 0);
    m_sink.sendRequest(m);
    return checked;
}

PerformValues CAutoRoutingLogic::setPressed(int latency) {
    latency = std::clamp(latency, 0, kAutoLatencyMax);
    const std::int32_t maxLatency = m_state.live.maxLatency;
    const PerformValues v = performValues(latency, maxLatency);
    m_notice.clear();
    if (v.latency != latency) {
        // Say why the field's value is not what went out.
        if (latency < kAutoLatencyMin) {
            m_notice = "The module's latency starts at ";
            m_notice += std::to_string(kAutoLatencyMin);
            m_notice += " us";
        } else if (maxLatency <= 0) {
            m_notice = "The module has not reported its maximum latency";
        } else {
            m_notice = "The module's latency goes up to ";
            m_notice += std::to_string(maxLatency);
            m_notice += " us";
        }
        m_notice += ": ";
        m_notice += std::to_string(v.latency);
        m_notice += " us was sent";
    }
    m_changed = true;
    DeviceMessage m = DeviceMessage::request(CommandId::sperformip);
    m.setText(1, kTextCapacity, moduleNameOrLocalhost(m_state));
    m.setI(9, v.latency);
    m.setI(10, v.packetSizeCode);
    m_sink.sendRequest(m);
    return v;
}

bool CAutoRoutingLogic::takeChanged() { return std::exchange(m_changed, false); }

void CAutoRoutingLogic::onRoute(const DeviceMessage& m) {
    const int x = m.i(1);
    if (!inRange(x, 1, kRouteChannels))
        return;
    RouteRecord& r = m_routes[at(x)];
    r = {x, std::string(m.text(2, kTextCapacity)), std::string(m.text(10, kTextCapacity)),
         std::string(m.text(18, kTextCapacity))};
    std::erase_if(m_rows, [x](const RouteRow& row) { return row.channel == x; });
    m_changed = true;
    if (sourceChannelNumber(r.sourceChannel) == 0) {
        r = RouteRecord{};
        return;
    }
    m_rows.push_back({x, std::to_string(m_rows.size() + 1), r.sourceDevice, r.sourceChannel,
                      r.destinationDevice, std::to_string(x)});
}

void CAutoRoutingLogic::onDeviceMessage(const DeviceMessage& m, bool, const CResponseDecoder&) {
    const bool error = m.status != 0;
    switch (m.command) {
    case CommandId::gautorouteip:
    case CommandId::sautorouteip:
        m_autoRouting = !error && m.i(1) != 0;
        if (error && m.command == CommandId::sautorouteip)
            m_notice = "The frame refused to switch automatic routing (status " +
                       std::to_string(m.status) + ")";
        m_changed = true;
        break;
    case CommandId::gframeip:
        if (const int v = error ? 0 : m.i(9); v != m_frame) {
            m_frame = v;
            m_changed = true;
        }
        break;
    case CommandId::glatencyip:
        if (const int v = error ? 0 : m.i(9); v != m_latency) {
            m_latency = v;
            m_latencyUpdate = true;
            m_changed = true;
        }
        break;
    case CommandId::sperformip:
        if (error) {
            m_notice = "The frame refused the latency (status " + std::to_string(m.status) + ")";
        } else {
            m_latency = m_state.settings.ipAudio.latency;
            m_latencyUpdate = true;
            m_frame = m_state.settings.ipAudio.frameSize;
        }
        m_changed = true;
        break;
    case CommandId::scrossip:
        // A refusal leaves the route as the frame has it, so the row stays.
        if (error) {
            m_notice = "The frame refused the route (status " + std::to_string(m.status) + ")";
            m_changed = true;
        } else {
            onRoute(m);
        }
        break;
    case CommandId::gcrossip:
        if (!error)
            onRoute(m);
        break;
    default: break;
    }
}

} // namespace velmar
