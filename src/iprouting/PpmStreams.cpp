#include "iprouting/PpmStreams.h"

#include "iprouting/IpRouting.h"
#include "link/Ipv4.h"

#include <algorithm>
#include <utility>

namespace velmar {

namespace {

constexpr int kAddressCapacity = 16;
constexpr int kUnknownStreamSlots = 64;

bool inRange(int v, int lo, int hi) { return v >= lo && v <= hi; }
std::size_t at(int index) { return static_cast<std::size_t>(index); }

DeviceMessage streamRequest(CommandId id, std::uint32_t stream) {
    DeviceMessage m = DeviceMessage::request(id);
    m.setU(1, stream);
    return m;
}

} // namespace

std::optional<PpmProblem> ppmCreateProblem(const PpmCreateSettings& s) {
    if (s.id < 1 || s.id > 65535)
        return PpmProblem{PpmField::StreamId, "The stream ID must be 1 to 65535"};
    const auto address = parseIpv4(s.address);
    if (!address || *address == 0)
        return PpmProblem{PpmField::Address, "Enter the IP address the stream goes to"};
    if (!inRange(s.port, 1000, 65535))
        return PpmProblem{PpmField::Port, "The port must be 1000 to 65535"};
    if (!inRange(s.channels, 1, kPpmSlots))
        return PpmProblem{PpmField::Channels, "A stream carries 1 to 255 channels"};
    if (!inRange(s.rate, 10, 60000))
        return PpmProblem{PpmField::Rate, "The rate must be 10 to 60000 ms"};
    return std::nullopt;
}

DeviceMessage ppmCreateRequest(const PpmCreateSettings& s) {
    DeviceMessage m = streamRequest(CommandId::sppmcreate, s.id);
    m.setI(2, s.channels);
    m.setI(3, s.rate);
    m.setI(4, s.phase ? 1 : 0);
    m.setI(5, s.port);
    m.setText(6, kAddressCapacity, s.address);
    return m;
}

DeviceMessage ppmChannelRequest(std::uint32_t stream, int slot, int channel) {
    // "sppmchn" carries one bank's channel (the frame refuses more than 2048),
    // so a channel of the second bank can only travel in the extended form.
    if (channel > kPpmBankChannels) {
        DeviceMessage m = streamRequest(CommandId::sppmextchn, stream);
        m.setI(2, slot);
        m.setI(3, channel - kPpmBankChannels);
        m.setU(4, 1); // the extended bank
        return m;
    }
    DeviceMessage m = streamRequest(CommandId::sppmchn, stream);
    m.setI(2, slot);
    m.setU(3, static_cast<std::uint32_t>(std::max(channel, 0)));
    return m;
}

CPpmLogic::CPpmLogic(const DeviceState& state, IRequestSink& sink, IQuestions& questions)
    : m_state(state), m_sink(sink), m_questions(questions) {}

void CPpmLogic::refresh() {
    m_order.clear();
    rebuildRows();
    m_sink.sendRequest(DeviceMessage::request(CommandId::lppmid));
}

PpmOutcome CPpmLogic::create() {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    PpmCreateSettings s;
    s.id = m_quick.nextId;
    s.address = m_quick.address;
    s.port = m_quick.nextPort;
    s.channels = m_quick.channels;
    s.rate = m_quick.rate;
    s.phase = m_quick.phase != 0;
    if (auto problem = ppmCreateProblem(s))
        return {false, problem->text, problem->field};
    m_sink.sendRequest(ppmCreateRequest(s));
    ++m_quick.nextId;
    ++m_quick.nextPort;
    return {true, {}};
}

std::string CPpmLogic::createTarget() const {
    std::string text = "ID ";
    text += std::to_string(m_quick.nextId);
    text += " to ";
    text += m_quick.address;
    text += ':';
    text += std::to_string(m_quick.nextPort);
    return text;
}

PpmOutcome CPpmLogic::createWith(const PpmCreateSettings& s) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    if (auto problem = ppmCreateProblem(s))
        return {false, problem->text, problem->field};
    m_quick.nextId = s.id;
    m_quick.address = s.address;
    m_quick.nextPort = s.port;
    m_quick.channels = s.channels;
    m_quick.rate = s.rate;
    m_quick.phase = s.phase ? 1 : 0;
    return create();
}

std::vector<std::uint32_t> CPpmLogic::streamsOf(const std::vector<int>& rows) const {
    std::vector<std::uint32_t> ids;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (*it >= 0 && at(*it) < m_rows.size())
            ids.push_back(m_rows[at(*it)].id);
    return ids;
}

PpmOutcome CPpmLogic::removeSelected(const std::vector<int>& rows) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    const std::vector<std::uint32_t> ids = streamsOf(rows);
    if (ids.empty())
        return {false, "Select the streams first"};
    if (!m_questions.askYesNo(kTitle, kRemoveQuestion))
        return {false, {}};
    for (const std::uint32_t id : ids)
        m_sink.sendRequest(streamRequest(CommandId::sppmdelete, id));
    return {true, {}};
}

PpmOutcome CPpmLogic::toggleEnable(const std::vector<int>& rows) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    bool sent = false;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it < 0 || at(*it) >= m_rows.size())
            continue;
        const PpmRow& row = m_rows[at(*it)];
        DeviceMessage m = streamRequest(CommandId::sppmenable, row.id);
        m.setI(2, row.enable == "0" ? 1 : 0);
        m_sink.sendRequest(m);
        sent = true;
    }
    return {sent, sent ? std::string() : std::string("Select the streams first")};
}

PpmOutcome CPpmLogic::assignChannels(const std::vector<int>& rows) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    if (!inRange(m_quick.firstChannel, 1, kPpmFirstChannelMax))
        return {false, "The first channel must be 1 to 4096"};
    const std::vector<std::uint32_t> ids = streamsOf(rows);
    for (const std::uint32_t id : ids) {
        const PpmStream* s = stream(id);
        const int n = std::min(std::clamp(m_quick.channels, 0, kPpmSlots), s ? s->channels : 0);
        for (int k = 1; k <= n; ++k)
            m_sink.sendRequest(ppmChannelRequest(id, k, m_quick.firstChannel + k - 1));
    }
    return {!ids.empty(), ids.empty() ? std::string("Select the streams first") : std::string()};
}

PpmOutcome CPpmLogic::deassignChannels(const std::vector<int>& rows) {
    if (!ipRoutingActionsAllowed(m_state))
        return {false, "Not connected"};
    const std::vector<std::uint32_t> ids = streamsOf(rows);
    for (const std::uint32_t id : ids) {
        const PpmStream* s = stream(id);
        const int n = std::min(std::clamp(m_quick.channels, 0, kPpmSlots), s ? s->channels : 0);
        for (int k = 1; k <= n; ++k)
            m_sink.sendRequest(ppmChannelRequest(id, k, 0));
    }
    return {!ids.empty(), ids.empty() ? std::string("Select the streams first") : std::string()};
}

void CPpmLogic::showAssignment(std::uint32_t id) {
    m_assignmentStream = id;
    m_changed = true;
    const PpmStream* s = stream(id);
    const int count = s ? s->channels : kUnknownStreamSlots;
    // Frames with more than 1024 channels report them in two banks.
    const CommandId get =
        m_state.crosspointCount() > 1024 ? CommandId::gppmextchn : CommandId::gppmchn;
    for (int k = 1; k <= count; ++k) {
        DeviceMessage m = streamRequest(get, id);
        m.setI(2, k);
        m_sink.sendRequest(m);
    }
}

const PpmStream* CPpmLogic::stream(std::uint32_t id) const {
    if (id == 0)
        return nullptr;
    for (const PpmStream& s : m_table)
        if (s.id == id)
            return &s;
    return nullptr;
}

PpmStream* CPpmLogic::entry(std::uint32_t id) {
    if (id == 0)
        return nullptr;
    for (PpmStream& s : m_table)
        if (s.id == id)
            return &s;
    return nullptr;
}

std::string CPpmLogic::assignmentText() const {
    const PpmStream* s = stream(m_assignmentStream);
    if (s == nullptr)
        return {};
    std::string text;
    for (int k = 1; k <= s->channels; ++k) {
        if (k > 1)
            text += ",";
        text += std::to_string(s->slots[at(k)]);
    }
    return text;
}

bool CPpmLogic::takeChanged() { return std::exchange(m_changed, false); }

void CPpmLogic::rebuildRows() {
    m_rows.clear();
    for (const std::uint32_t id : m_order) {
        const PpmStream* s = stream(id);
        if (s == nullptr)
            continue;
        m_rows.push_back({id, std::to_string(id), s->address, std::to_string(s->port),
                          std::to_string(s->channels), std::to_string(s->rate),
                          std::to_string(s->phase), std::to_string(s->enable)});
    }
    m_changed = true;
}

void CPpmLogic::onInfo(const DeviceMessage& m, bool withEnable) {
    const std::uint32_t id = m.u(1);
    if (id == 0)
        return;
    PpmStream* s = entry(id);
    if (s == nullptr) {
        const auto free = std::find_if(m_table.begin(), m_table.end(),
                                       [](const PpmStream& e) { return e.id == 0; });
        if (free == m_table.end()) {
            m_notice = "The frame reports more than 32 streams; stream " + std::to_string(id) +
                       " is not shown";
            m_changed = true;
            return;
        }
        s = &*free;
        *s = PpmStream{};
        s->id = id;
    }
    s->address = std::string(m.text(6, kAddressCapacity));
    s->port = m.i(5);
    s->channels = std::clamp(m.i(2), 0, kPpmSlots);
    s->rate = m.i(3);
    s->phase = m.i(4);
    s->enable = 0;
    if (std::find(m_order.begin(), m_order.end(), id) == m_order.end())
        m_order.push_back(id);
    m_assignmentStream = 0;
    if (withEnable)
        s->enable = m.i(10) != 0 ? 1 : 0;
    rebuildRows();
}

void CPpmLogic::onEnable(std::uint32_t id, int enable) {
    if (PpmStream* s = entry(id)) {
        s->enable = enable != 0 ? 1 : 0;
        rebuildRows();
    }
}

void CPpmLogic::onDelete(std::uint32_t id) {
    if (PpmStream* s = entry(id))
        *s = PpmStream{};
    std::erase(m_order, id);
    if (m_assignmentStream == id)
        m_assignmentStream = 0;
    rebuildRows();
}

void CPpmLogic::onChannel(std::uint32_t id, int slot, int channel) {
    if (!inRange(slot, 1, kPpmSlots) || !inRange(channel, 0, 2 * kPpmBankChannels))
        return;
    PpmStream* s = entry(id);
    if (s == nullptr)
        return;
    s->slots[at(slot)] = channel;
    if (m_assignmentStream == id)
        m_changed = true;
}

void CPpmLogic::refused(std::string_view what, std::int32_t status) {
    m_notice =
        "The frame refused " + std::string(what) + " (status " + std::to_string(status) + ")";
    m_changed = true;
}

void CPpmLogic::onDeviceMessage(const DeviceMessage& m, bool, const CResponseDecoder&) {
    if (m.status != 0) {
        switch (m.command) {
        case CommandId::sppmcreate: refused("the new stream", m.status); break;
        case CommandId::sppmdelete:
            refused("to remove stream " + std::to_string(m.u(1)), m.status);
            break;
        case CommandId::sppmenable:
            refused("to switch stream " + std::to_string(m.u(1)), m.status);
            break;
        case CommandId::sppmchn:
        case CommandId::sppmextchn:
            refused("a channel of stream " + std::to_string(m.u(1)), m.status);
            break;
        default: break;
        }
        return;
    }
    switch (m.command) {
    case CommandId::gppminfo: onInfo(m, true); break;
    case CommandId::sppmcreate: onInfo(m, false); break;
    case CommandId::gppmenable:
    case CommandId::sppmenable: onEnable(m.u(1), m.i(2)); break;
    case CommandId::sppmdelete: onDelete(m.u(1)); break;
    case CommandId::gppmchn:
    case CommandId::sppmchn:
        if (m.i(3) <= kPpmBankChannels)
            onChannel(m.u(1), m.i(2), m.i(3));
        break;
    case CommandId::gppmextchn:
    case CommandId::sppmextchn:
        // The fourth value marks a channel of the extended bank.
        if (inRange(m.i(3), 0, kPpmBankChannels))
            onChannel(m.u(1), m.i(2), m.i(3) + (m.i(4) != 0 ? kPpmBankChannels : 0));
        break;
    default: break;
    }
}

} // namespace velmar
