#include "iprouting/FlowControl.h"

#include "iprouting/IpRouting.h"
#include "link/Ipv4.h"

#include <algorithm>
#include <utility>

namespace velmar {

namespace {

constexpr int kChannelsPerBank = 64;

std::size_t at(int index) { return static_cast<std::size_t>(index); }

bool inRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

DeviceMessage request(CommandId id) { return DeviceMessage::request(id); }

DeviceMessage flowRequest(CommandId id, int flow) {
    DeviceMessage m = request(id);
    m.setI(1, flow);
    return m;
}

} // namespace

int firstAssignedChannel(int id, int slots) {
    if (slots < 2 || slots > kFlowSlots || slots % 2 != 0)
        return 0;
    return (slots * (id - 1) + 1) % kChannelsPerBank;
}

CFlowLogic::CFlowLogic(const DeviceState& state, IRequestSink& sink, IQuestions& questions,
                       std::vector<std::string> listedAddresses)
    : m_state(state), m_sink(sink), m_questions(questions),
      m_listedAddresses(std::move(listedAddresses)) {}

void CFlowLogic::opened() {
    m_fields.txDestination = "0.0.0.0";
    send(request(CommandId::guniclkip));
    send(request(CommandId::guniclkstip));
    send(request(CommandId::grxportrng));
    DeviceMessage latency = request(CommandId::gmaxlatencyip);
    latency.setText(1, 32, moduleNameOrLocalhost(m_state));
    send(latency);
    refresh();
}

void CFlowLogic::refresh() {
    m_txRows.clear();
    m_rxRows.clear();
    m_changed = true;
    for (int id = 1; id <= kFlowCount; ++id) {
        send(flowRequest(CommandId::gcrtxflow, id));
        send(flowRequest(CommandId::gcrrxflow, id));
    }
}

const FlowRecord& CFlowLogic::record(FlowDirection d, int id) const {
    static const FlowRecord kNone{};
    if (!inRange(id, 1, kFlowCount))
        return kNone;
    return (d == FlowDirection::Tx ? m_tx : m_rx)[at(id)];
}

std::string_view CFlowLogic::inUse(FlowDirection d, int id, int port) const {
    const Records& table = d == FlowDirection::Tx ? m_tx : m_rx;
    for (int k = 1; k <= kFlowCount; ++k) {
        const FlowRecord& r = table[at(k)];
        if (!r.exists())
            continue;
        if (r.id == id)
            return kIdInUse;
        if (r.port == port)
            return kPortInUse;
    }
    return {};
}

void CFlowLogic::assignChannels(FlowDirection d, int id, int slots) {
    const int first = firstAssignedChannel(id, slots);
    if (first == 0)
        return;
    const CommandId cmd = d == FlowDirection::Tx ? CommandId::stxflowslot : CommandId::srxflowslot;
    for (int j = 0; j < slots; ++j) {
        DeviceMessage m = flowRequest(cmd, id);
        m.setI(2, j);
        m.setI(3, first + j);
        send(m);
    }
}

FlowOutcome CFlowLogic::createTx() {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    const FlowFields& f = m_fields;
    if (!inRange(f.txSlots, 1, kFlowSlots))
        return {false, "A flow carries 1 to 8 slots"};
    if (!inRange(f.txId, 1, kFlowCount))
        return {false, "The flow ID must be 1 to 32"};
    if (!inRange(f.txPort, kFlowPortFirst, kFlowPortLast))
        return {false, "The port must be 14528 to 14591"};
    const auto destination = parseIpv4(f.txDestination);
    if (!destination || *destination == 0 || *destination == 0xFFFFFFFFU)
        return {false, "Enter the IP address of the receiving Dante device"};
    const std::string dotted = formatIpv4(*destination);
    if (dotted == m_state.connectedAddress ||
        dotted == m_state.settings.ipAudio.primary.ipAddress.view())
        return {false, "IP address is the frame's own address"};
    if (std::find(m_listedAddresses.begin(), m_listedAddresses.end(), dotted) !=
        m_listedAddresses.end())
        return {false, std::string(kNotDante)};
    if (const std::string_view why = inUse(FlowDirection::Tx, f.txId, f.txPort); !why.empty())
        return {false, std::string(why)};

    DeviceMessage m = flowRequest(CommandId::scrtxflow, f.txId);
    m.setI(2, f.txSlots);
    m.setText(3, 16, dotted);
    m.setI(7, f.txPort);
    send(m);
    assignChannels(FlowDirection::Tx, f.txId, f.txSlots);
    return {true, {}};
}

FlowOutcome CFlowLogic::createRx() {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    const FlowFields& f = m_fields;
    if (!inRange(f.rxSlots, 1, kFlowSlots))
        return {false, "A flow carries 1 to 8 slots"};
    if (!inRange(f.rxId, 1, kFlowCount))
        return {false, "The flow ID must be 1 to 32"};
    if (!inRange(f.rxPort, kFlowPortFirst, kFlowPortLast))
        return {false, "The port must be 14528 to 14591"};
    if (!inRange(f.rxLatency, 0, kFlowLatencyMax))
        return {false, "The latency must be 0 to 65535 us"};
    if (const std::string_view why = inUse(FlowDirection::Rx, f.rxId, f.rxPort); !why.empty())
        return {false, std::string(why)};
    // A maximum the module has not reported yet is 0: no latency above 0 passes.
    const int maxLatency = m_state.live.maxLatency;
    if (f.rxLatency > maxLatency)
        return {false,
                "Rx latency is above maximum which is " + std::to_string(maxLatency) + " us"};

    DeviceMessage m = flowRequest(CommandId::scrrxflow, f.rxId);
    m.setI(2, f.rxSlots);
    m.setI(3, f.rxPort);
    m.setI(4, f.rxLatency);
    send(m);
    assignChannels(FlowDirection::Rx, f.rxId, f.rxSlots);
    return {true, {}};
}

void CFlowLogic::sendDelete(FlowDirection d, int id) {
    const FlowRecord& r = record(d, id);
    if (d == FlowDirection::Tx) {
        DeviceMessage m = flowRequest(CommandId::scrtxflow, id);
        m.setI(2, 0);
        m.setText(3, 16, r.destination);
        m.setI(7, r.port);
        send(m);
    } else {
        DeviceMessage m = flowRequest(CommandId::scrrxflow, id);
        m.setI(2, 0);
        m.setI(3, r.port);
        m.setI(4, r.latency);
        send(m);
    }
}

FlowOutcome CFlowLogic::deleteFlow(int txRow, int rxRow) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    FlowDirection d = FlowDirection::Tx;
    int id = 0;
    if (txRow >= 0 && at(txRow) < m_txRows.size()) {
        id = m_txRows[at(txRow)].id;
    } else if (rxRow >= 0 && at(rxRow) < m_rxRows.size()) {
        d = FlowDirection::Rx;
        id = m_rxRows[at(rxRow)].id;
    } else {
        return {false, "Select a flow to delete"};
    }
    if (!inRange(id, 1, kFlowCount))
        return {false, {}};
    sendDelete(d, id);
    return {true, {}};
}

FlowOutcome CFlowLogic::deleteAll() {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    if (m_txRows.empty() && m_rxRows.empty())
        return {false, {}};
    if (!m_questions.askYesNo(kDeleteAllTitle, kDeleteAllQuestion))
        return {false, {}};
    // Copies: the replies to these requests change the lists.
    const std::vector<FlowRow> rx = m_rxRows;
    const std::vector<FlowRow> tx = m_txRows;
    for (const FlowRow& r : rx)
        if (inRange(r.id, 1, kFlowCount))
            sendDelete(FlowDirection::Rx, r.id);
    for (const FlowRow& r : tx)
        if (inRange(r.id, 1, kFlowCount))
            sendDelete(FlowDirection::Tx, r.id);
    return {true, {}};
}

void CFlowLogic::unicastClockClicked(bool checked) {
    if (!ipRoutingActionsAllowed(m_state))
        return;
    DeviceMessage m = request(CommandId::suniclkip);
    m.setI(1, checked ? 1 : 0);
    send(m);
    send(request(CommandId::guniclkstip));
}

bool CFlowLogic::takeChanged() { return std::exchange(m_changed, false); }

void CFlowLogic::onFlow(FlowDirection d, const DeviceMessage& m) {
    const int id = m.i(1);
    if (!inRange(id, 1, kFlowCount))
        return;
    std::vector<FlowRow>& rows = rowsOf(d);
    std::erase_if(rows, [id](const FlowRow& r) { return r.id == id; });
    m_changed = true;
    FlowRecord& r = records(d)[at(id)];
    const int slots = m.i(2);
    if (slots <= 0) {
        r = FlowRecord{};
        return;
    }
    const std::array<int, kFlowSlots> channels = r.channels;
    r = FlowRecord{};
    r.id = id;
    r.slots = std::min(slots, kFlowSlots);
    r.channels = channels;
    FlowRow row;
    row.id = id;
    row.slots = std::to_string(slots);
    if (d == FlowDirection::Tx) {
        r.destination = std::string(m.text(3, 16));
        r.port = m.i(7);
        row.addressOrLatency = r.destination;
    } else {
        r.port = m.i(3);
        r.latency = m.i(4);
        row.addressOrLatency = std::to_string(r.latency);
    }
    row.port = std::to_string(r.port);
    rows.push_back(std::move(row));
    showChannels(d, id);

    const CommandId slotGet =
        d == FlowDirection::Tx ? CommandId::gtxflowslot : CommandId::grxflowslot;
    for (int j = 0; j < r.slots; ++j) {
        DeviceMessage g = flowRequest(slotGet, id);
        g.setI(2, j);
        send(g);
    }

    // Consecutive "Create" clicks make consecutive flows.
    int& idField = d == FlowDirection::Tx ? m_fields.txId : m_fields.rxId;
    int& portField = d == FlowDirection::Tx ? m_fields.txPort : m_fields.rxPort;
    if (id == idField && id < kFlowCount)
        ++idField;
    if (r.port == portField && r.port < kFlowPortLast)
        ++portField;
}

void CFlowLogic::onSlot(FlowDirection d, const DeviceMessage& m) {
    const int id = m.i(1);
    const int slot = m.i(2);
    if (!inRange(id, 1, kFlowCount) || !inRange(slot, 0, kFlowSlots - 1))
        return;
    records(d)[at(id)].channels[at(slot)] = m.i(3);
    showChannels(d, id);
}

void CFlowLogic::showChannels(FlowDirection d, int id) {
    const FlowRecord& r = record(d, id);
    for (FlowRow& row : rowsOf(d)) {
        if (row.id != id)
            continue;
        std::string text;
        for (int j = 0; j < r.slots; ++j) {
            if (j > 0)
                text += ", ";
            text += std::to_string(r.channels[at(j)]);
        }
        row.channels = std::move(text);
        m_changed = true;
    }
}

void CFlowLogic::onDeviceMessage(const DeviceMessage& m, bool isReply, const CResponseDecoder&) {
    const bool error = m.status != 0;
    switch (m.command) {
    case CommandId::gcrtxflow:
    case CommandId::gcrrxflow:
        if (!error)
            onFlow(m.command == CommandId::gcrtxflow ? FlowDirection::Tx : FlowDirection::Rx, m);
        break;
    case CommandId::scrtxflow:
    case CommandId::scrrxflow: {
        const bool tx = m.command == CommandId::scrtxflow;
        if (!error) {
            onFlow(tx ? FlowDirection::Tx : FlowDirection::Rx, m);
            break;
        }
        // A refusal echoes what was asked for, which the frame did not do:
        // the list keeps its rows, and the flow is read again so that the
        // window's tables hold what the frame has.
        m_notice = "The frame refused the flow change (status " + std::to_string(m.status) + ")";
        m_changed = true;
        if (inRange(m.i(1), 1, kFlowCount))
            send(flowRequest(tx ? CommandId::gcrtxflow : CommandId::gcrrxflow, m.i(1)));
        break;
    }
    case CommandId::gtxflowslot:
    case CommandId::grxflowslot:
        if (!error)
            onSlot(m.command == CommandId::gtxflowslot ? FlowDirection::Tx : FlowDirection::Rx, m);
        break;
    case CommandId::stxflowslot:
    case CommandId::srxflowslot: {
        const bool tx = m.command == CommandId::stxflowslot;
        if (!error) {
            onSlot(tx ? FlowDirection::Tx : FlowDirection::Rx, m);
            break;
        }
        m_notice = "The frame refused a slot assignment (status " + std::to_string(m.status) + ")";
        m_changed = true;
        if (inRange(m.i(1), 1, kFlowCount) && inRange(m.i(2), 0, kFlowSlots - 1)) {
            DeviceMessage g =
                flowRequest(tx ? CommandId::gtxflowslot : CommandId::grxflowslot, m.i(1));
            g.setI(2, m.i(2));
            send(g);
        }
        break;
    }
    case CommandId::guniclkip:
        m_unicastClock = !error && m.i(1) != 0;
        m_changed = true;
        break;
    case CommandId::guniclkstip:
        if (!isReply) {
            m_unicastStatus = std::string(m.text(2, 32));
            m_changed = true;
        }
        break;
    default: break;
    }
}

} // namespace velmar
