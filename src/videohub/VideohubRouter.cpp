#include "videohub/VideohubRouter.h"

#include "protocol/ChannelNames.h"

#include <algorithm>
#include <charconv>

namespace velmar {

namespace {

constexpr std::string_view kRouting = "VIDEO OUTPUT ROUTING:";
constexpr std::string_view kLocks = "VIDEO OUTPUT LOCKS:";
constexpr std::string_view kInputLabels = "INPUT LABELS:";
constexpr std::string_view kOutputLabels = "OUTPUT LABELS:";
constexpr std::string_view kDevice = "VIDEOHUB DEVICE:";
constexpr std::string_view kPreamble = "PROTOCOL PREAMBLE:";
constexpr std::string_view kPing = "PING:";
constexpr std::string_view kUnrouted = "Unrouted";

std::optional<int> plainNumber(std::string_view text) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n < 0)
        return std::nullopt;
    return n;
}

std::string at(const std::vector<std::string>& v, int channel) {
    return channel >= 0 && static_cast<std::size_t>(channel) < v.size() ? v[channel]
                                                                        : std::string();
}

} // namespace

std::string videohubModelName(std::string_view frameType) {
    std::string s = "Velmar ";
    s += frameType.empty() ? std::string_view("frame") : frameType;
    return s;
}

VideohubDevice CVideohubRouter::device() const {
    VideohubDevice d;
    d.present = m_frame.crosspoints > 0;
    d.modelName = videohubModelName(m_frame.type);
    d.friendlyName = m_frame.name.empty() ? m_frame.id : m_frame.name;
    for (const char c : m_frame.serial)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            d.uniqueId += c;
    d.videoInputs = inputs();
    d.videoOutputs = outputs();
    return d;
}

std::string CVideohubRouter::shownLabel(int channel, bool output) const {
    if (!output && channel == inputs())
        return std::string(kUnrouted);
    std::string label = at(output ? m_frame.outputLabels : m_frame.inputLabels, channel);
    return label.empty() ? channelDisplayName(channel) : label;
}

int CVideohubRouter::shownInput(int channel) const {
    const std::int32_t input =
        static_cast<std::size_t>(channel) < m_frame.routes.size() ? m_frame.routes[channel] : 0;
    return input >= 1 && input <= outputs() ? input - 1 : outputs();
}

std::vector<int> CVideohubRouter::allOutputs() const {
    std::vector<int> all(static_cast<std::size_t>(outputs()));
    for (int i = 0; i < outputs(); ++i)
        all[static_cast<std::size_t>(i)] = i;
    return all;
}

std::string CVideohubRouter::labelsBlock(bool output) const {
    std::vector<std::pair<int, std::string>> items;
    const int count = output ? outputs() : inputs();
    items.reserve(static_cast<std::size_t>(count));
    for (int port = 0; port < count; ++port)
        items.emplace_back(port, shownLabel(port + 1, output));
    return videohubIndexedBlock(output ? kOutputLabels : kInputLabels, items);
}

std::string CVideohubRouter::locksBlock(VideohubClient client,
                                        const std::vector<int>& outputs) const {
    std::vector<std::pair<int, std::string>> items;
    items.reserve(outputs.size());
    for (const int port : outputs) {
        const VideohubClient owner = lockOwner(port);
        items.emplace_back(port, owner == 0 ? "U" : owner == client ? "O" : "L");
    }
    return videohubIndexedBlock(kLocks, items);
}

std::string CVideohubRouter::routingBlock(const std::vector<int>& outputs) const {
    std::vector<std::pair<int, std::string>> items;
    items.reserve(outputs.size());
    for (const int port : outputs)
        items.emplace_back(port, std::to_string(shownInput(port + 1)));
    return videohubIndexedBlock(kRouting, items);
}

VideohubClient CVideohubRouter::lockOwner(int output) const {
    return output >= 0 && static_cast<std::size_t>(output) < m_locks.size()
               ? m_locks[static_cast<std::size_t>(output)]
               : 0;
}

std::string CVideohubRouter::everything(VideohubClient client) const {
    std::string s = videohubDeviceBlock(device());
    if (outputs() == 0)
        return s;
    s += labelsBlock(false);
    s += labelsBlock(true);
    s += locksBlock(client, allOutputs());
    if (m_frame.read)
        s += routingBlock(allOutputs());
    return s;
}

std::string CVideohubRouter::connect(VideohubClient client) {
    m_clients.push_back(client);
    std::string s = videohubPreamble();
    s += everything(client);
    s += videohubEndPrelude();
    return s;
}

void CVideohubRouter::disconnect(VideohubClient client, std::vector<VideohubSend>& sends) {
    std::erase(m_clients, client);
    std::vector<int> freed;
    for (std::size_t i = 0; i < m_locks.size(); ++i)
        if (m_locks[i] == client) {
            m_locks[i] = 0;
            freed.push_back(static_cast<int>(i));
        }
    if (!freed.empty())
        locksToAll(freed, sends);
}

void CVideohubRouter::toAll(const std::string& text, std::vector<VideohubSend>& sends) const {
    for (const VideohubClient c : m_clients)
        sends.push_back({c, text});
}

void CVideohubRouter::locksToAll(const std::vector<int>& outputs,
                                 std::vector<VideohubSend>& sends) const {
    for (const VideohubClient c : m_clients)
        sends.push_back({c, locksBlock(c, outputs)});
}

void CVideohubRouter::routesToAll(const std::vector<int>& outputs,
                                  std::vector<VideohubSend>& sends) const {
    if (!outputs.empty())
        toAll(routingBlock(outputs), sends);
}

VideohubRequest CVideohubRouter::handle(VideohubClient client, const VideohubBlock& block,
                                        std::vector<VideohubSend>& sends) {
    VideohubRequest request;
    const std::string_view header = block.header;
    auto answer = [&](std::string_view text, std::string dump = {}) {
        std::string s(text);
        s += dump;
        sends.push_back({client, std::move(s)});
    };
    if (header.empty() || header.back() != ':') {
        answer(kVideohubNak);
        return request;
    }
    const bool dump = block.lines.empty();
    if (header == kPing) {
        answer(kVideohubAck);
    } else if (header == kPreamble) {
        answer(kVideohubAck, videohubPreamble());
    } else if (header == kDevice) {
        answer(kVideohubAck, videohubDeviceBlock(device()));
    } else if (header == kRouting) {
        if (dump) {
            answer(kVideohubAck, m_frame.read && outputs() > 0 ? routingBlock(allOutputs()) : "");
            return request;
        }
        std::vector<std::pair<int, int>> asked;
        for (const std::string& line : block.lines) {
            int output = 0;
            std::string_view value;
            const auto input =
                splitVideohubLine(line, output, value) ? plainNumber(value) : std::nullopt;
            if (!input || output >= outputs() || *input > outputs()) {
                answer(kVideohubNak);
                return request;
            }
            asked.emplace_back(output, *input);
        }
        if (m_readOnly) {
            answer(kVideohubNak);
            return request;
        }
        answer(kVideohubAck);
        for (const auto& [output, input] : asked) {
            const VideohubClient owner = lockOwner(output);
            if (owner != 0 && owner != client)
                continue; // another client holds it
            request.routes.push_back({output + 1, input == outputs() ? 0 : input + 1});
        }
    } else if (header == kLocks) {
        if (dump) {
            answer(kVideohubAck, outputs() > 0 ? locksBlock(client, allOutputs()) : "");
            return request;
        }
        std::vector<std::pair<int, char>> asked;
        for (const std::string& line : block.lines) {
            int output = 0;
            std::string_view value;
            if (!splitVideohubLine(line, output, value) || output >= outputs() ||
                (value != "O" && value != "U" && value != "F")) {
                answer(kVideohubNak);
                return request;
            }
            asked.emplace_back(output, value.front());
        }
        if (m_readOnly) {
            answer(kVideohubNak);
            return request;
        }
        answer(kVideohubAck);
        std::vector<int> changed;
        for (const auto& [output, what] : asked) {
            VideohubClient& owner = m_locks[static_cast<std::size_t>(output)];
            const VideohubClient before = owner;
            if (what == 'O' && owner == 0)
                owner = client;
            else if ((what == 'U' && owner == client) || what == 'F')
                owner = 0;
            if (owner != before &&
                std::find(changed.begin(), changed.end(), output) == changed.end())
                changed.push_back(output);
        }
        if (!changed.empty())
            locksToAll(changed, sends);
    } else if (header == kInputLabels || header == kOutputLabels) {
        const bool output = header == kOutputLabels;
        if (dump) {
            answer(kVideohubAck, outputs() > 0 ? labelsBlock(output) : "");
            return request;
        }
        std::vector<VideohubLabel> asked;
        for (const std::string& line : block.lines) {
            int port = 0;
            std::string_view value;
            if (!splitVideohubLine(line, port, value) || port >= outputs()) {
                answer(kVideohubNak);
                return request;
            }
            asked.push_back({port + 1, output, std::string(value)});
        }
        if (m_readOnly) {
            answer(kVideohubNak);
            return request;
        }
        answer(kVideohubAck);
        request.labels = std::move(asked);
    }
    // Any other block is one this router does not keep: ignored, as clients
    // are told to ignore blocks they do not know.
    return request;
}

void CVideohubRouter::frameChanged(const VideohubFrame& frame, std::vector<VideohubSend>& sends) {
    if (frame.crosspoints != m_frame.crosspoints) {
        // Another frame, or the first sight of it: everything again, as after
        // a device is plugged in.
        m_frame = frame;
        m_locks.assign(static_cast<std::size_t>(std::max(0, frame.crosspoints)), 0);
        for (const VideohubClient c : m_clients)
            sends.push_back({c, everything(c)});
        return;
    }
    const bool deviceDiffers =
        frame.name != m_frame.name || frame.type != m_frame.type || frame.serial != m_frame.serial;
    const VideohubFrame before = std::exchange(m_frame, frame);
    if (deviceDiffers) {
        toAll(videohubDeviceBlock(device()), sends);
    }
    for (const bool output : {false, true}) {
        const auto& old = output ? before.outputLabels : before.inputLabels;
        const auto& now = output ? frame.outputLabels : frame.inputLabels;
        std::vector<std::pair<int, std::string>> items;
        for (int channel = 1; channel <= outputs(); ++channel)
            if (at(old, channel) != at(now, channel))
                items.emplace_back(channel - 1, shownLabel(channel, output));
        if (!items.empty())
            toAll(videohubIndexedBlock(output ? kOutputLabels : kInputLabels, items), sends);
    }
    if (!frame.read)
        return;
    if (!before.read) {
        routesToAll(allOutputs(), sends);
        return;
    }
    std::vector<int> changed;
    for (int channel = 1; channel <= outputs(); ++channel) {
        const std::int32_t a =
            static_cast<std::size_t>(channel) < before.routes.size() ? before.routes[channel] : 0;
        const std::int32_t b =
            static_cast<std::size_t>(channel) < frame.routes.size() ? frame.routes[channel] : 0;
        if ((a >= 1 && a <= outputs() ? a : 0) != (b >= 1 && b <= outputs() ? b : 0))
            changed.push_back(channel - 1);
    }
    routesToAll(changed, sends);
}

void CVideohubRouter::routesReported(const std::vector<VideohubRoute>& routes,
                                     std::vector<VideohubSend>& sends) {
    if (!m_frame.read)
        return; // the full routing goes out once the frame is read
    std::vector<int> changed;
    for (const VideohubRoute& r : routes) {
        if (r.output < 1 || r.output > outputs())
            continue;
        const int before = shownInput(r.output);
        if (m_frame.routes.size() <= static_cast<std::size_t>(r.output))
            m_frame.routes.resize(static_cast<std::size_t>(r.output) + 1, 0);
        m_frame.routes[static_cast<std::size_t>(r.output)] = r.input;
        if (shownInput(r.output) != before &&
            std::find(changed.begin(), changed.end(), r.output - 1) == changed.end())
            changed.push_back(r.output - 1);
    }
    routesToAll(changed, sends);
}

void CVideohubRouter::labelsReported(const std::vector<VideohubLabel>& labels,
                                     std::vector<VideohubSend>& sends) {
    std::vector<std::pair<int, std::string>> items[2];
    for (const VideohubLabel& l : labels) {
        if (l.channel < 1 || l.channel > outputs())
            continue;
        auto& v = l.output ? m_frame.outputLabels : m_frame.inputLabels;
        if (v.size() <= static_cast<std::size_t>(l.channel))
            v.resize(static_cast<std::size_t>(l.channel) + 1);
        if (v[static_cast<std::size_t>(l.channel)] == l.text)
            continue;
        v[static_cast<std::size_t>(l.channel)] = l.text;
        items[l.output ? 1 : 0].emplace_back(l.channel - 1, shownLabel(l.channel, l.output));
    }
    if (!items[0].empty())
        toAll(videohubIndexedBlock(kInputLabels, items[0]), sends);
    if (!items[1].empty())
        toAll(videohubIndexedBlock(kOutputLabels, items[1]), sends);
}

} // namespace velmar
