#pragma once

#include "FrameProfile.h"
#include "protocol/DeviceMessage.h"

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar::framesim {

// What one request leads to on the wire.
struct Outcome {
    std::vector<std::string> replies;       // to the client that asked, in order
    std::vector<std::string> announcements; // "!" lines for every other client
    bool closeLink = false;                 // the frame restarts: drop the asking link
    bool aliveAnswer = false;               // the client answered our alive request
};

// The state of one simulated frame and its answers to the program's requests,
// without any socket: a request goes in as a decoded DeviceMessage, lines come
// out. Every get command answers from state (a value that was set, or the
// profile's default); every set command that has a get partner changes that
// state, answers with its reply column and announces the new value to the
// other clients as the partner's "!" message.
class CFrameModel {
public:
    // Non-zero statuses the frame answers with.
    static constexpr std::int32_t kStatusOutOfRange = 1;
    static constexpr std::int32_t kStatusNotInThisMode = 2;
    static constexpr std::int32_t kStatusProgramming = 3;
    static constexpr std::int32_t kStatusUnknown = 4;
    static constexpr std::int32_t kStatusInUse =
        5; // a flow ID or port another flow or stream holds

    explicit CFrameModel(FrameProfile profile);

    const FrameProfile& profile() const { return m_profile; }
    FaultPlan& faults() { return m_profile.faults; }
    // Where the frame listens; it moves there when readdressed.
    void setBindAddress(std::string address) { m_profile.bindAddress = std::move(address); }
    const FaultPlan& faults() const { return m_profile.faults; }

    // One request from a client; programText is the part after "#" of a
    // firmware record line.
    Outcome handle(const DeviceMessage& request, std::string_view programText = {});

    // The line a frame with stray output sends before its tagged reply to
    // `request`: the same command refused, without the tag.
    std::string strayReply(const DeviceMessage& request) const;

    // Back to the profile's values ("sclear").
    void reset();

    // The reply payload a get command would answer with for the addressing
    // values in `address` (p1, p2 ... as in the get's request).
    DeviceMessage current(CommandId get, const DeviceMessage& address) const;
    // Stores a get command's whole value; addressed by the same slots.
    void store(CommandId get, const DeviceMessage& value);
    // The "!" line carrying a get command's current value.
    std::string messageLine(CommandId get, const DeviceMessage& address) const;

    // Changes the frame makes by itself; each returns the "!" line it reports.
    std::string setSyncStatus(int state, int source);
    std::string setInputStatus(int input, std::string_view text);
    std::string setPsuStatus(int unit, int status);
    std::string setFanStatus(int unit, int status);
    std::string setUnicastClockStatus(int state, std::string_view text);
    // The next input in turn changes between good and faulty and the "!" line
    // reporting it comes back. The turn runs over the main-board inputs (the
    // PHD ones only where fitted), then every input of the SDI, AD, AES and
    // MADI cards in slot order, and starts again.
    std::string announceInputChange();
    static constexpr std::string_view kInputGood = "--A";
    static constexpr std::string_view kInputFaulty = "ESa";

    // Convenience reads for tests and the search reply.
    int crosspoint(int output) const;
    std::string label(int direction, int channel) const;
    int deviceId() const;
    std::string deviceName() const;
    std::string serialNumber() const;
    NetworkSettings network() const;
    void setNetwork(const NetworkSettings& settings);

    // The answer to the UDP search, without the trailing carriage return
    // handling left to the caller: prefix ":" for an answer, "!" when sent on
    // the frame's own account.
    std::string searchReply(char prefix) const;

    // Firmware transfer: the records of the last transfer, in order.
    const std::vector<std::string>& programRecords() const { return m_records; }
    // The records of each transfer since the start, oldest first, the running
    // one last (the last kMaxKeptTransfers only); a begin request starts one.
    const std::vector<std::vector<std::string>>& programTransfers() const { return m_transfers; }
    static constexpr std::size_t kMaxKeptTransfers = 16;
    bool programmingActive() const { return m_programming; }
    bool programmingCompleted() const { return m_programCompleted; }

private:
    using Key = std::pair<CommandId, std::string>;

    Key keyOf(CommandId get, const DeviceMessage& address) const;
    bool isOwnName(std::string_view name) const;
    std::int32_t checkValues(const DeviceMessage& request) const;
    bool ipModuleLocked() const;
    DeviceMessage defaultValue(CommandId get, const DeviceMessage& address) const;
    std::int32_t checkAddress(CommandId get, const DeviceMessage& request) const;
    std::string reply(const DeviceMessage& m, std::span<const std::string> items = {}) const;
    // The answer faults: another ID, a negative count, another label text.
    void misanswer(DeviceMessage& reply) const;
    DeviceMessage errorReply(const DeviceMessage& request, std::int32_t status) const;

    Outcome handleGet(const DeviceMessage& request);
    Outcome handleSet(const DeviceMessage& request, CommandId get);
    Outcome handleList(const DeviceMessage& request);
    Outcome handleService(const DeviceMessage& request, std::string_view programText);
    Outcome handlePpm(const DeviceMessage& request);
    Outcome handleBoardInfo(const DeviceMessage& request);
    Outcome handlePerform(const DeviceMessage& request);
    Outcome handleFlow(const DeviceMessage& request);
    Outcome handleFlowSlot(const DeviceMessage& request);
    Outcome handleRoute(const DeviceMessage& request);
    std::int32_t flowProblem(const DeviceMessage& request) const;
    Outcome refuse(const DeviceMessage& request, std::int32_t status) const;

    FrameProfile m_profile;
    std::map<Key, DeviceMessage> m_values;
    std::map<std::uint32_t, DeviceMessage> m_ppmStreams; // by stream id, the "gppminfo" value
    std::vector<std::string> m_records;
    std::vector<std::vector<std::string>> m_transfers;
    std::size_t m_inputTurn = 0;
    bool m_programming = false;
    bool m_programCompleted = false;
};

// The get command whose state a set command changes; InvalidReply when none.
CommandId getPartnerOf(CommandId set);

} // namespace velmar::framesim
