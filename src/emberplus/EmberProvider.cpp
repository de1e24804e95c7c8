#include "emberplus/EmberProvider.h"

#include "engine/CodeTables.h"
#include "protocol/ChannelNames.h"
#include "protocol/TerminalText.h"

#include <algorithm>

namespace velmar {

using namespace ember;

namespace {

constexpr std::uint32_t kName = 1, kType = 2, kSerial = 3, kFirmware = 4, kOnline = 5;
constexpr std::uint32_t kSyncSource = 1, kSampleRate = 2, kSyncLock = 3;

// Texts from a frame go out as UTF8String: what is not UTF-8 becomes U+FFFD.
std::string utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n =
            static_cast<unsigned char>(text[at]) < 0x80 ? 1 : utf8SequenceLength(text, at);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(text.substr(at, n));
            at += n;
        }
    }
    return out;
}

GlowPath child(GlowPath path, std::uint32_t number) {
    path.push_back(number);
    return path;
}

GlowPath parentOf(const GlowPath& path) {
    return path.empty() ? path : GlowPath(path.begin(), path.end() - 1);
}

template <std::size_t N>
std::vector<GlowEnumEntry> enumOf(const CodeName (&table)[N]) {
    std::vector<GlowEnumEntry> entries{{"unknown", 0}};
    for (const CodeName& c : table)
        entries.push_back({std::string(c.name), c.code});
    return entries;
}

template <std::size_t N>
std::int64_t codeOf(const CodeName (&table)[N], std::string_view name) {
    for (const CodeName& c : table)
        if (c.name == name)
            return c.code;
    return 0;
}

const std::vector<GlowEnumEntry>& unitEnum() {
    static const std::vector<GlowEnumEntry> entries{{"unknown", 0}, {"ok", 1}, {"fault", 2}};
    return entries;
}
std::int64_t unitValue(int state) { return state == 1 ? 1 : state == 0 ? 2 : 0; }
std::int64_t lockValue(const std::optional<bool>& locked) { return !locked ? 0 : *locked ? 1 : 2; }

GlowElement node(std::uint32_t number, std::string identifier, std::string description) {
    GlowElement e;
    e.type = GlowElementType::Node;
    e.number = static_cast<std::int32_t>(number);
    e.contents.emplace();
    e.contents->identifier = std::move(identifier);
    e.contents->description = std::move(description);
    return e;
}

GlowElement readOnly(std::uint32_t number, std::string identifier, std::string description,
                     GlowValue value, GlowParameterType type) {
    GlowElement e;
    e.type = GlowElementType::Parameter;
    e.number = static_cast<std::int32_t>(number);
    e.contents.emplace();
    e.contents->identifier = std::move(identifier);
    e.contents->description = std::move(description);
    e.contents->value = std::move(value);
    e.contents->access = GlowAccess::Read;
    e.contents->type = type;
    return e;
}

GlowElement enumParameter(std::uint32_t number, std::string identifier, std::string description,
                          std::int64_t value, std::vector<GlowEnumEntry> entries) {
    GlowElement e = readOnly(number, std::move(identifier), std::move(description), value,
                             GlowParameterType::Enum);
    e.contents->enumMap = std::move(entries);
    return e;
}

// A value-only update of a parameter where it stands.
GlowElement valueUpdate(const GlowPath& path, const GlowElement& full) {
    GlowElement e;
    e.type = GlowElementType::Parameter;
    e.path = path;
    e.contents.emplace();
    e.contents->value = full.contents->value;
    return e;
}

GlowElement qualified(GlowElement e, const GlowPath& path) {
    e.path = path;
    e.number = 0;
    return e;
}

} // namespace

CEmberProvider::CEmberProvider(int frames, EmberProviderLimits limits)
    : m_limits(limits), m_frames(static_cast<std::size_t>(std::max(frames, 0))) {}

void CEmberProvider::connect(EmberClient client) { m_watches[client]; }

void CEmberProvider::disconnect(EmberClient client) { m_watches.erase(client); }

std::size_t CEmberProvider::watches(EmberClient client) const {
    const auto it = m_watches.find(client);
    return it == m_watches.end() ? 0 : it->second.size();
}

// ---- the tree ----

GlowElement CEmberProvider::frameNode(int frame) const {
    const EmberFrame& f = m_frames[static_cast<std::size_t>(frame)];
    GlowElement e = node(static_cast<std::uint32_t>(frame + 1), utf8(f.id), utf8(f.name));
    e.contents->isOnline = f.online;
    return e;
}

GlowElement CEmberProvider::matrix(int frame) const {
    const EmberFrame& f = m_frames[static_cast<std::size_t>(frame)];
    GlowElement e;
    e.type = GlowElementType::Matrix;
    e.number = static_cast<std::int32_t>(kCrosspoints);
    GlowContents& c = e.contents.emplace();
    c.identifier = "crosspoints";
    c.description = "Crosspoints";
    c.matrixType = GlowMatrixType::OneToN;
    c.addressingMode = GlowAddressingMode::Linear;
    c.targetCount = f.crosspoints;
    c.sourceCount = f.crosspoints;
    c.maximumConnectsPerTarget = 1;
    c.labels = std::vector<GlowLabel>{
        {GlowPath{static_cast<std::uint32_t>(frame + 1), kLabels}, "Labels"}};
    return e;
}

GlowConnection CEmberProvider::connection(int frame, int target) const {
    const EmberFrame& f = m_frames[static_cast<std::size_t>(frame)];
    GlowConnection c;
    c.target = target;
    const std::int32_t input = f.routes[static_cast<std::size_t>(target + 1)];
    c.sources = input > 0 ? std::vector<std::int32_t>{input - 1} : std::vector<std::int32_t>{};
    c.disposition = GlowConnectionDisposition::Tally;
    return c;
}

std::optional<GlowElement> CEmberProvider::parameter(const GlowPath& p) const {
    if (p.size() < 3 || p[0] < 1 || p[0] > m_frames.size())
        return std::nullopt;
    return parameterOf(m_frames[p[0] - 1], p);
}

std::optional<GlowElement> CEmberProvider::parameterOf(const EmberFrame& f, const GlowPath& p) {
    if (p.size() < 3)
        return std::nullopt;
    const std::uint32_t n = p[2];
    if (p.size() == 3 && p[1] == kIdentity) {
        switch (n) {
        case kName: return readOnly(n, "name", "Name", utf8(f.name), GlowParameterType::String);
        case kType: return readOnly(n, "type", "Type", utf8(f.type), GlowParameterType::String);
        case kSerial:
            return readOnly(n, "serial", "Serial number", utf8(f.serial),
                            GlowParameterType::String);
        case kFirmware:
            return readOnly(n, "firmware", "Firmware version", utf8(f.firmware),
                            GlowParameterType::String);
        case kOnline: return readOnly(n, "online", "Online", f.online, GlowParameterType::Boolean);
        default: return std::nullopt;
        }
    }
    if (p.size() == 3 && p[1] == kStatus) {
        if (n == kSyncSource)
            return enumParameter(n, "syncSource", "Sync source", codeOf(kSyncSources, f.syncSource),
                                 enumOf(kSyncSources));
        if (n == kSampleRate)
            return enumParameter(n, "sampleRate", "Sample rate", codeOf(kSampleRates, f.sampleRate),
                                 enumOf(kSampleRates));
        if (n == kSyncLock)
            return enumParameter(n, "syncLock", "Sync lock", lockValue(f.syncLocked),
                                 {{"unknown", 0}, {"locked", 1}, {"unlocked", 2}});
        for (const auto& [units, base, word, title] :
             {std::tuple(&f.psus, kPsuBase, "psu", "PSU "),
              std::tuple(&f.fans, kFanBase, "fan", "Fan ")})
            for (const auto& [unit, state] : *units)
                if (n == base + static_cast<std::uint32_t>(unit)) {
                    const std::string number = std::to_string(unit);
                    return enumParameter(n, std::string(word).append(number),
                                         std::string(title).append(number), unitValue(state),
                                         unitEnum());
                }
        return std::nullopt;
    }
    if (p.size() == 4 && p[1] == kLabels && (p[2] == kTargetLabels || p[2] == kSourceLabels) &&
        p[3] < static_cast<std::uint32_t>(f.crosspoints)) {
        const bool output = p[2] == kTargetLabels;
        // A channel without a label shows its name, as on the frame's panel.
        const int channel = static_cast<int>(p[3]) + 1;
        std::string text = emberLabel(output ? f.outputLabels : f.inputLabels, p[3] + 1);
        if (text.empty())
            text = channelDisplayName(channel);
        GlowElement e = readOnly(p[3], std::string(output ? "t" : "s").append(std::to_string(p[3])),
                                 {}, utf8(text), GlowParameterType::String);
        e.contents->description.reset();
        e.contents->access = GlowAccess::ReadWrite;
        return e;
    }
    return std::nullopt;
}

std::vector<GlowElement> CEmberProvider::children(const GlowPath& p) const {
    std::vector<GlowElement> out;
    if (p.empty()) {
        for (int i = 0; i < frames(); ++i)
            out.push_back(frameNode(i));
        return out;
    }
    if (p[0] < 1 || p[0] > m_frames.size())
        return out;
    const EmberFrame& f = m_frames[p[0] - 1];
    const auto params = [&](std::initializer_list<std::uint32_t> numbers) {
        for (const std::uint32_t n : numbers)
            if (auto e = parameter(child(p, n)))
                out.push_back(std::move(*e));
    };
    if (p.size() == 1) {
        out.push_back(node(kIdentity, "identity", "Identity"));
        out.push_back(node(kStatus, "status", "Status"));
        out.push_back(matrix(static_cast<int>(p[0]) - 1));
        out.push_back(node(kLabels, "labels", "Labels"));
    } else if (p.size() == 2 && p[1] == kIdentity) {
        params({kName, kType, kSerial, kFirmware, kOnline});
    } else if (p.size() == 2 && p[1] == kStatus) {
        params({kSyncSource, kSampleRate, kSyncLock});
        for (const auto& [unit, state] : f.psus)
            params({kPsuBase + static_cast<std::uint32_t>(unit)});
        for (const auto& [unit, state] : f.fans)
            params({kFanBase + static_cast<std::uint32_t>(unit)});
    } else if (p.size() == 2 && p[1] == kLabels) {
        out.push_back(node(kTargetLabels, "targets", "Target labels"));
        out.push_back(node(kSourceLabels, "sources", "Source labels"));
    } else if (p.size() == 3 && p[1] == kLabels &&
               (p[2] == kTargetLabels || p[2] == kSourceLabels)) {
        out.reserve(static_cast<std::size_t>(f.crosspoints));
        for (int t = 0; t < f.crosspoints; ++t)
            out.push_back(std::move(*parameter(child(p, static_cast<std::uint32_t>(t)))));
    }
    return out;
}

bool CEmberProvider::exists(const GlowPath& p) const {
    if (p.empty())
        return true;
    if (p[0] < 1 || p[0] > m_frames.size())
        return false;
    if (p.size() == 1)
        return true;
    if (p.size() == 2)
        return p[1] >= kIdentity && p[1] <= kLabels;
    if (p.size() == 3 && p[1] == kLabels)
        return p[2] == kTargetLabels || p[2] == kSourceLabels;
    return parameter(p).has_value();
}

// ---- consumers' messages ----

std::vector<EmberRequest> CEmberProvider::handle(EmberClient client,
                                                 const std::vector<GlowElement>& message,
                                                 std::vector<EmberSend>& sends) {
    if (!m_watches.count(client))
        return {};
    Walk w;
    w.client = client;
    for (const GlowElement& e : message)
        walk(w, e, {}, sends);
    std::vector<EmberRequest> out;
    for (auto& [frame, request] : w.requests) {
        // Consumers see what they asked for as pending until the frame answers.
        if (!request.routes.empty()) {
            std::vector<GlowConnection> pending;
            for (const EmberRoute& r : request.routes) {
                GlowConnection c;
                c.target = r.output - 1;
                c.sources = r.input > 0 ? std::vector<std::int32_t>{r.input - 1}
                                        : std::vector<std::int32_t>{};
                c.disposition = GlowConnectionDisposition::Pending;
                pending.push_back(std::move(c));
            }
            const GlowPath path{static_cast<std::uint32_t>(frame + 1), kCrosspoints};
            for (std::size_t at = 0; at < pending.size(); at += m_limits.maxElementsPerMessage) {
                GlowElement m;
                m.type = GlowElementType::Matrix;
                m.path = path;
                const auto end = pending.begin() +
                                 static_cast<std::ptrdiff_t>(
                                     std::min(pending.size(), at + m_limits.maxElementsPerMessage));
                m.connections.emplace(pending.begin() + static_cast<std::ptrdiff_t>(at), end);
                send(client, {std::move(m)}, sends);
            }
        }
        out.push_back(std::move(request));
    }
    return out;
}

void CEmberProvider::walk(Walk& w, const GlowElement& e, const GlowPath& parent,
                          std::vector<EmberSend>& sends) {
    if (e.type == GlowElementType::Command) {
        command(w, parent, e.command, sends);
        return;
    }
    if (!e.path && e.number < 0)
        return;
    const GlowPath path = e.path ? *e.path : child(parent, static_cast<std::uint32_t>(e.number));
    if (e.type == GlowElementType::Parameter && e.contents && e.contents->value)
        setValue(w, path, *e.contents->value, sends);
    if (e.type == GlowElementType::Matrix && e.connections)
        connections(w, path, *e.connections, sends);
    if (e.children)
        for (const GlowElement& c : *e.children)
            walk(w, c, path, sends);
}

void CEmberProvider::command(Walk& w, const GlowPath& path, GlowCommandType type,
                             std::vector<EmberSend>& sends) {
    if (++w.commands > m_limits.maxCommandsPerMessage || !exists(path))
        return;
    switch (type) {
    case GlowCommandType::GetDirectory:
        directory(w.client, path, sends);
        watch(w.client, path);
        break;
    case GlowCommandType::Subscribe: watch(w.client, path); break;
    case GlowCommandType::Unsubscribe: m_watches[w.client].erase(path); break;
    case GlowCommandType::Invoke: break; // there are no functions
    }
}

void CEmberProvider::watch(EmberClient client, const GlowPath& path) {
    std::set<GlowPath>& watched = m_watches[client];
    if (watched.size() < m_limits.maxWatchesPerClient)
        watched.insert(path);
}

void CEmberProvider::directory(EmberClient client, const GlowPath& path,
                               std::vector<EmberSend>& sends) {
    // The large directories (the matrix, the label nodes) are kept encoded
    // until their frame changes: a consumer reading them again and again
    // costs a copy, not a turn of the server's thread the others wait for.
    const bool large =
        (path.size() == 2 && path[1] == kCrosspoints) || (path.size() == 3 && path[1] == kLabels);
    if (large) {
        const auto kept = m_directories.find(path);
        if (kept != m_directories.end()) {
            sends.push_back({client, kept->second});
            return;
        }
        std::vector<EmberSend> built;
        buildDirectory(client, path, built);
        for (EmberSend& s : built) {
            m_directories[path] = s.glow;
            sends.push_back(std::move(s));
        }
        return;
    }
    buildDirectory(client, path, sends);
}

void CEmberProvider::forget(int frame, std::initializer_list<std::uint32_t> containers) {
    const std::uint32_t n = static_cast<std::uint32_t>(frame + 1);
    std::erase_if(m_directories, [&](const auto& kept) {
        const GlowPath& p = kept.first;
        return p[0] == n &&
               std::find(containers.begin(), containers.end(), p[1]) != containers.end();
    });
}

void CEmberProvider::buildDirectory(EmberClient client, const GlowPath& path,
                                    std::vector<EmberSend>& sends) const {
    // A directory is one message, however large: consumers take the first
    // message naming the path as the whole answer. S101 carries it in
    // bounded packets.
    if (auto p = parameter(path)) {
        send(client, {qualified(std::move(*p), path)}, sends);
        return;
    }
    if (path.size() == 2 && path[1] == kCrosspoints) {
        const int frame = static_cast<int>(path[0]) - 1;
        const int targets = m_frames[static_cast<std::size_t>(frame)].crosspoints;
        GlowElement m = qualified(matrix(frame), path);
        m.connections.emplace();
        m.connections->reserve(static_cast<std::size_t>(targets));
        for (int t = 0; t < targets; ++t)
            m.connections->push_back(connection(frame, t));
        send(client, {std::move(m)}, sends);
        return;
    }
    if (path.empty()) {
        send(client, children(path), sends); // the root's children stand at the top
        return;
    }
    // A node's children, each qualified, side by side at the top: consumers
    // take a message of direct children of the path as its directory. A node
    // without children answers with itself.
    std::vector<GlowElement> all = children(path);
    if (all.empty()) {
        GlowElement n;
        n.type = GlowElementType::Node;
        n.path = path;
        n.children.emplace();
        send(client, {std::move(n)}, sends);
        return;
    }
    for (GlowElement& e : all) {
        GlowPath at = child(path, static_cast<std::uint32_t>(e.number));
        e = qualified(std::move(e), at);
    }
    send(client, std::move(all), sends);
}

void CEmberProvider::connections(Walk& w, const GlowPath& path,
                                 const std::vector<GlowConnection>& asked,
                                 std::vector<EmberSend>& sends) {
    if (path.size() != 2 || path[1] != kCrosspoints || path[0] < 1 || path[0] > m_frames.size())
        return;
    const int frame = static_cast<int>(path[0]) - 1;
    const EmberFrame& f = m_frames[static_cast<std::size_t>(frame)];
    const auto valid = [&](std::int32_t n) { return n >= 0 && n < f.crosspoints; };
    std::vector<int> unchanged;
    EmberRequest* request = nullptr;
    for (const GlowConnection& c : asked) {
        if (!valid(c.target))
            continue;
        const std::vector<std::int32_t> none;
        const std::vector<std::int32_t>& sources = c.sources ? *c.sources : none;
        const std::int32_t now = f.routes[static_cast<std::size_t>(c.target + 1)] - 1; // -1: none
        std::optional<int> input; // 1-based, 0 unroutes
        switch (c.operation.value_or(GlowConnectionOperation::Absolute)) {
        case GlowConnectionOperation::Absolute:
            if (c.sources && sources.empty())
                input = 0;
            else if (sources.size() == 1 && valid(sources[0]))
                input = sources[0] + 1;
            break;
        case GlowConnectionOperation::Connect:
            if (sources.size() == 1 && valid(sources[0]))
                input = sources[0] + 1;
            break;
        case GlowConnectionOperation::Disconnect:
            if (sources.empty() ||
                (now >= 0 && std::find(sources.begin(), sources.end(), now) != sources.end()))
                input = 0;
            break;
        }
        if (!input || !f.online) {
            // A one-to-N target takes one source: anything else, or a frame
            // that is not there, leaves the connection as it stands.
            unchanged.push_back(c.target);
            continue;
        }
        if (!request) {
            request = &w.requests[frame];
            request->frame = frame;
        }
        auto same = std::find_if(request->routes.begin(), request->routes.end(),
                                 [&](const EmberRoute& r) { return r.output == c.target + 1; });
        if (same != request->routes.end())
            same->input = *input;
        else
            request->routes.push_back({c.target + 1, *input});
    }
    if (!unchanged.empty())
        sendConnections({w.client}, frame, unchanged, GlowConnectionDisposition::Tally, sends);
}

void CEmberProvider::setValue(Walk& w, const GlowPath& path, const GlowValue& value,
                              std::vector<EmberSend>& sends) {
    const std::optional<GlowElement> now = parameter(path);
    if (!now)
        return;
    const int frame = static_cast<int>(path[0]) - 1;
    if (path.size() == 4 && path[1] == kLabels && std::holds_alternative<std::string>(value) &&
        m_frames[static_cast<std::size_t>(frame)].online) {
        EmberRequest& request = w.requests[frame];
        request.frame = frame;
        const bool output = path[2] == kTargetLabels;
        const int channel = static_cast<int>(path[3]) + 1;
        auto same =
            std::find_if(request.labels.begin(), request.labels.end(), [&](const EmberLabel& l) {
                return l.channel == channel && l.output == output;
            });
        if (same != request.labels.end())
            same->text = std::get<std::string>(value);
        else
            request.labels.push_back({channel, output, std::get<std::string>(value)});
        return;
    }
    // Read-only, or not a text: the consumer hears the value as it stands.
    send(w.client, {valueUpdate(path, *now)}, sends);
}

// ---- what the frames report ----

const std::string& emberLabel(const EmberLabels& labels, std::size_t channel) {
    static const std::string none;
    return labels && channel < labels->size() ? (*labels)[channel] : none;
}

void CEmberProvider::frameChanged(int frame, EmberFrame now, std::vector<EmberSend>& sends) {
    if (frame < 0 || frame >= frames())
        return;
    EmberFrame& was = m_frames[static_cast<std::size_t>(frame)];
    const std::uint32_t n = static_cast<std::uint32_t>(frame + 1);
    const GlowPath top{n};
    const bool nodeChanged = was.id != now.id || was.name != now.name || was.online != now.online;
    const bool unitsChanged = [&] {
        const auto units = [](const std::vector<std::pair<int, int>>& v) {
            std::vector<int> out;
            for (const auto& [unit, state] : v)
                out.push_back(unit);
            return out;
        };
        return units(was.psus) != units(now.psus) || units(was.fans) != units(now.fans);
    }();
    const bool sizeChanged = was.crosspoints != now.crosspoints;

    std::vector<GlowPath> values;
    EmberFrame before = std::move(was);
    was = std::move(now);
    if (was.routes.size() < static_cast<std::size_t>(was.crosspoints) + 1)
        was.routes.resize(static_cast<std::size_t>(was.crosspoints) + 1, 0);

    if (nodeChanged) {
        GlowElement e = qualified(frameNode(frame), top);
        toFollowers({}, false, {std::move(e)}, sends);
    }
    const auto differs = [&](std::uint32_t container, std::uint32_t k) {
        const GlowPath p{n, container, k};
        const auto a = parameterOf(before, p);
        const auto b = parameterOf(was, p);
        return a && b ? a->contents->value != b->contents->value : a.has_value() != b.has_value();
    };
    for (const std::uint32_t k : {kName, kType, kSerial, kFirmware, kOnline})
        if (differs(kIdentity, k))
            values.push_back({n, kIdentity, k});
    if (unitsChanged) {
        for (const EmberClient c : followers({n, kStatus}, false))
            directory(c, {n, kStatus}, sends);
    } else {
        std::vector<std::uint32_t> keys{kSyncSource, kSampleRate, kSyncLock};
        for (const auto& [unit, state] : was.psus)
            keys.push_back(kPsuBase + static_cast<std::uint32_t>(unit));
        for (const auto& [unit, state] : was.fans)
            keys.push_back(kFanBase + static_cast<std::uint32_t>(unit));
        for (const std::uint32_t k : keys)
            if (differs(kStatus, k))
                values.push_back({n, kStatus, k});
    }
    if (sizeChanged) {
        // A frame read for the first time (or another frame at the address):
        // followers get the matrix and its labels whole.
        forget(frame, {kCrosspoints, kLabels});
        for (const GlowPath& p : {GlowPath{n, kCrosspoints}, GlowPath{n, kLabels, kTargetLabels},
                                  GlowPath{n, kLabels, kSourceLabels}})
            for (const EmberClient c : followers(p, false))
                directory(c, p, sends);
        GlowElement m = qualified(matrix(frame), {n, kCrosspoints});
        for (const EmberClient c : followers({n}, false))
            if (!m_watches[c].count({n, kCrosspoints}))
                send(c, {m}, sends);
    } else {
        std::vector<int> targets;
        bool relabelled = false;
        // The same tables (most often) need no comparing.
        const bool sameInputs = before.inputLabels == was.inputLabels;
        const bool sameOutputs = before.outputLabels == was.outputLabels;
        for (int t = 0; t < was.crosspoints; ++t) {
            const std::size_t i = static_cast<std::size_t>(t + 1);
            if (i >= before.routes.size() || before.routes[i] != was.routes[i])
                targets.push_back(t);
            for (const bool output : {true, false}) {
                if (output ? sameOutputs : sameInputs)
                    continue;
                const auto& a = output ? before.outputLabels : before.inputLabels;
                const auto& b = output ? was.outputLabels : was.inputLabels;
                if (emberLabel(a, i) != emberLabel(b, i)) {
                    values.push_back({n, kLabels, output ? kTargetLabels : kSourceLabels,
                                      static_cast<std::uint32_t>(t)});
                    relabelled = true;
                }
            }
        }
        if (relabelled)
            forget(frame, {kLabels});
        if (!targets.empty())
            forget(frame, {kCrosspoints});
        if (!targets.empty())
            sendConnections(followers({n, kCrosspoints}, false), frame, targets,
                            GlowConnectionDisposition::Tally, sends);
    }
    sendValues(values, sends);
}

void CEmberProvider::routesReported(int frame, const std::vector<EmberRoute>& routes,
                                    std::vector<EmberSend>& sends) {
    if (frame < 0 || frame >= frames())
        return;
    EmberFrame& f = m_frames[static_cast<std::size_t>(frame)];
    std::vector<int> targets;
    for (const EmberRoute& r : routes) {
        if (r.output < 1 || r.output > f.crosspoints)
            continue;
        std::int32_t& now = f.routes[static_cast<std::size_t>(r.output)];
        const std::int32_t input = std::max(0, r.input);
        if (now != input) {
            now = input;
            targets.push_back(r.output - 1);
        }
    }
    if (!targets.empty()) {
        forget(frame, {kCrosspoints});
        sendConnections(followers({static_cast<std::uint32_t>(frame + 1), kCrosspoints}, false),
                        frame, targets, GlowConnectionDisposition::Tally, sends);
    }
}

void CEmberProvider::labelsReported(int frame, const std::vector<EmberLabel>& labels,
                                    std::vector<EmberSend>& sends) {
    if (frame < 0 || frame >= frames())
        return;
    EmberFrame& f = m_frames[static_cast<std::size_t>(frame)];
    std::vector<GlowPath> values;
    for (const EmberLabel& l : labels) {
        if (l.channel < 1 || l.channel > f.crosspoints)
            continue;
        EmberLabels& side = l.output ? f.outputLabels : f.inputLabels;
        const auto channel = static_cast<std::size_t>(l.channel);
        if (emberLabel(side, channel) != l.text) {
            // Copied before it changes: the table may be shared.
            auto copy = side ? std::make_shared<std::vector<std::string>>(*side)
                             : std::make_shared<std::vector<std::string>>();
            if (copy->size() <= channel)
                copy->resize(channel + 1);
            (*copy)[channel] = l.text;
            side = std::move(copy);
            values.push_back({static_cast<std::uint32_t>(frame + 1), kLabels,
                              l.output ? kTargetLabels : kSourceLabels,
                              static_cast<std::uint32_t>(l.channel - 1)});
        }
    }
    if (!values.empty())
        forget(frame, {kLabels});
    sendValues(values, sends);
}

void CEmberProvider::settled(EmberClient client, const EmberRequest& request,
                             std::vector<EmberSend>& sends) {
    if (!m_watches.count(client) || request.frame < 0 || request.frame >= frames())
        return;
    const EmberFrame& f = m_frames[static_cast<std::size_t>(request.frame)];
    std::vector<int> targets;
    for (const EmberRoute& r : request.routes)
        if (r.output >= 1 && r.output <= f.crosspoints)
            targets.push_back(r.output - 1);
    if (!targets.empty())
        sendConnections({client}, request.frame, targets, GlowConnectionDisposition::Tally, sends);
    std::vector<GlowElement> values;
    for (const EmberLabel& l : request.labels) {
        const GlowPath p{static_cast<std::uint32_t>(request.frame + 1), kLabels,
                         l.output ? kTargetLabels : kSourceLabels,
                         static_cast<std::uint32_t>(l.channel - 1)};
        if (auto e = parameter(p))
            values.push_back(valueUpdate(p, *e));
    }
    for (std::size_t at = 0; at < values.size(); at += m_limits.maxElementsPerMessage) {
        const auto end = values.begin() + static_cast<std::ptrdiff_t>(std::min(
                                              values.size(), at + m_limits.maxElementsPerMessage));
        send(client,
             std::vector<GlowElement>(values.begin() + static_cast<std::ptrdiff_t>(at), end),
             sends);
    }
}

// ---- sending ----

void CEmberProvider::send(EmberClient client, std::vector<GlowElement> root,
                          std::vector<EmberSend>& sends) const {
    sends.push_back({client, encodeGlow(root)});
}

std::vector<EmberClient> CEmberProvider::followers(const GlowPath& path, bool orParent) const {
    std::vector<EmberClient> out;
    const GlowPath parent = parentOf(path);
    for (const auto& [client, watched] : m_watches)
        if (watched.count(path) || (orParent && !path.empty() && watched.count(parent)))
            out.push_back(client);
    return out;
}

void CEmberProvider::toFollowers(const GlowPath& path, bool orParent, std::vector<GlowElement> root,
                                 std::vector<EmberSend>& sends) const {
    const std::vector<EmberClient> to = followers(path, orParent);
    if (to.empty())
        return;
    const std::string glow = encodeGlow(root);
    for (const EmberClient c : to)
        sends.push_back({c, glow});
}

void CEmberProvider::sendConnections(const std::vector<EmberClient>& to, int frame,
                                     const std::vector<int>& targets,
                                     GlowConnectionDisposition disposition,
                                     std::vector<EmberSend>& sends) const {
    if (to.empty() || targets.empty())
        return;
    const GlowPath path{static_cast<std::uint32_t>(frame + 1), kCrosspoints};
    const std::size_t chunk = std::max<std::size_t>(m_limits.maxElementsPerMessage, 1);
    for (std::size_t at = 0; at < targets.size(); at += chunk) {
        GlowElement m;
        m.type = GlowElementType::Matrix;
        m.path = path;
        m.connections.emplace();
        for (std::size_t i = at; i < targets.size() && i < at + chunk; ++i) {
            GlowConnection c = connection(frame, targets[i]);
            c.disposition = disposition;
            m.connections->push_back(std::move(c));
        }
        const std::string glow = encodeGlow({m});
        for (const EmberClient c : to)
            sends.push_back({c, glow});
    }
}

void CEmberProvider::sendValues(const std::vector<GlowPath>& paths,
                                std::vector<EmberSend>& sends) const {
    // Each client gets the updates it follows, a bounded number per message.
    std::map<EmberClient, std::vector<GlowElement>> per;
    for (const GlowPath& p : paths) {
        const auto e = parameter(p);
        if (!e)
            continue;
        for (const EmberClient c : followers(p, true))
            per[c].push_back(valueUpdate(p, *e));
    }
    for (auto& [client, updates] : per)
        for (std::size_t at = 0; at < updates.size(); at += m_limits.maxElementsPerMessage) {
            const auto end = updates.begin() +
                             static_cast<std::ptrdiff_t>(
                                 std::min(updates.size(), at + m_limits.maxElementsPerMessage));
            send(client,
                 std::vector<GlowElement>(updates.begin() + static_cast<std::ptrdiff_t>(at), end),
                 sends);
        }
}

} // namespace velmar
