#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

inline constexpr int kFlowPortFirst = 14528;
inline constexpr int kFlowPortLast = 14591;
inline constexpr int kFlowLatencyMax = 65535;

enum class FlowDirection { Tx, Rx };

// The fields of both "Create" groups, with their defaults.
struct FlowFields {
    int txId = 1;
    int txSlots = 4;
    int txPort = kFlowPortFirst;
    std::string txDestination = "0.0.0.0";
    int rxId = 1;
    int rxSlots = 4;
    int rxPort = kFlowPortFirst;
    int rxLatency = 5000;
    friend bool operator==(const FlowFields&, const FlowFields&) = default;
};

// One flow as the dialog keeps it: from its replies only.
struct FlowRecord {
    int id = 0;
    int slots = 0; // 0: the flow does not exist
    int port = 0;
    std::string destination; // Tx
    int latency = 0;         // Rx
    std::array<int, kFlowSlots> channels{};
    bool exists() const { return slots > 0; }
};

// One row of a flow list.
struct FlowRow {
    int id = 0;
    std::string slots;
    std::string port;
    std::string addressOrLatency; // "IP address" (Tx) or "Latency" (Rx)
    std::string channels;         // "17, 18, 19"
};

// Where a "Create" or delete ended.
struct FlowOutcome {
    bool sent = false;
    std::string message; // for the operator when nothing was sent; empty otherwise
};

// The first channel a flow of `slots` slots with `id` gets, or 0 when such a
// flow gets none (an odd slot count). Flows are laid out one after another
// over the 64 channels: flow 3 with 8 slots starts at 17, flow 9 at 1 again.
int firstAssignedChannel(int id, int slots);

// The " Manual IP routing control" dialog without widgets: its own copy of the
// flows of both directions filled from replies, the two lists, the fields that
// advance as flows appear, and the requests of its buttons.
class CFlowLogic final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = " Manual IP routing control";
    static constexpr std::string_view kIdInUse = "ID in use";
    static constexpr std::string_view kPortInUse = "Port in use";
    static constexpr std::string_view kNotDante = "IP address is not a valid Dante device";
    static constexpr std::string_view kDeleteAllTitle = "IP flows";
    static constexpr std::string_view kDeleteAllQuestion = "Delete all Rx/Tx flows";

    // `listedAddresses`: the control addresses of the frames in the device list.
    CFlowLogic(const DeviceState& state, IRequestSink& sink, IQuestions& questions,
               std::vector<std::string> listedAddresses = {});

    // Asks for the clock state, the port range and the maximum latency, then refreshes.
    void opened();
    // Empties both lists and asks for every flow of both directions.
    void refresh();

    const DeviceState& state() const { return m_state; }
    FlowFields& fields() { return m_fields; }
    const FlowFields& fields() const { return m_fields; }

    FlowOutcome createTx();
    FlowOutcome createRx();
    // Deletes the flow in `row` of the Tx list, else (row < 0) the one in
    // `rxRow` of the Rx list.
    FlowOutcome deleteFlow(int txRow, int rxRow);
    // Asks once, then deletes every Rx flow and then every Tx flow listed.
    FlowOutcome deleteAll();
    void unicastClockClicked(bool checked);

    const std::vector<FlowRow>& rows(FlowDirection d) const {
        return d == FlowDirection::Tx ? m_txRows : m_rxRows;
    }
    const FlowRecord& record(FlowDirection d, int id) const;
    bool unicastClock() const { return m_unicastClock; }
    const std::string& unicastStatus() const { return m_unicastStatus; }
    // What the frame last refused; empty when nothing.
    const std::string& notice() const { return m_notice; }
    // True once after anything shown changed.
    bool takeChanged();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    using Records = std::array<FlowRecord, kFlowCount + 1>;
    Records& records(FlowDirection d) { return d == FlowDirection::Tx ? m_tx : m_rx; }
    std::vector<FlowRow>& rowsOf(FlowDirection d) {
        return d == FlowDirection::Tx ? m_txRows : m_rxRows;
    }
    std::string_view inUse(FlowDirection d, int id, int port) const;
    void assignChannels(FlowDirection d, int id, int slots);
    void onFlow(FlowDirection d, const DeviceMessage& m);
    void onSlot(FlowDirection d, const DeviceMessage& m);
    void showChannels(FlowDirection d, int id);
    void sendDelete(FlowDirection d, int id);
    void send(const DeviceMessage& m) { m_sink.sendRequest(m); }

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    std::vector<std::string> m_listedAddresses;
    FlowFields m_fields;
    Records m_tx{};
    Records m_rx{};
    std::vector<FlowRow> m_txRows;
    std::vector<FlowRow> m_rxRows;
    bool m_unicastClock = false;
    std::string m_unicastStatus;
    std::string m_notice;
    bool m_changed = false;
};

} // namespace velmar
