#include "FrameProfile.h"

#include "Scenario.h"
#include "protocol/CommandTable.h"

#include <charconv>
#include <cstdio>

namespace velmar::framesim {

namespace {

struct CardCode {
    std::string_view code;
    int type;
};

constexpr CardCode kCardCodes[] = {
    {"460210", 1}, {"460130", 2}, {"460230", 3}, {"460240", 4},
    {"460250", 5}, {"460132", 6}, {"460610", 7}, {"460260", 8},
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view unquote(std::string_view s) {
    s = trim(s);
    if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'')
        return s.substr(1, s.size() - 2);
    return s;
}

bool toInt(std::string_view s, int& out) {
    s = trim(s);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc{} && r.ptr == s.data() + s.size();
}

bool toBool(std::string_view s, bool& out) {
    s = trim(s);
    if (s == "1" || s == "on" || s == "yes" || s == "true") {
        out = true;
        return true;
    }
    if (s == "0" || s == "off" || s == "no" || s == "false") {
        out = false;
        return true;
    }
    return false;
}

// Splits "a,b,c" at commas outside single quotes.
std::vector<std::string_view> splitFields(std::string_view s) {
    std::vector<std::string_view> out;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\'')
            quoted = !quoted;
        else if (s[i] == ',' && !quoted) {
            out.push_back(trim(s.substr(start, i - start)));
            start = i + 1;
        }
    }
    out.push_back(trim(s.substr(start)));
    return out;
}

// "module.9" -> 9 when the prefix matches and the number lies in [lo, hi].
bool indexedKey(std::string_view key, std::string_view prefix, int lo, int hi, int& index,
                std::string_view& rest) {
    if (key.substr(0, prefix.size()) != prefix)
        return false;
    key.remove_prefix(prefix.size());
    const std::size_t dot = key.find('.');
    const std::string_view number = key.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view{} : key.substr(dot + 1);
    return toInt(number, index) && index >= lo && index <= hi;
}

ModuleRecord board(std::string_view code, std::string_view variant, int run,
                   std::string_view version = {}) {
    ModuleRecord m;
    m.present = 1;
    std::string v(variant);
    v.resize(4, ' ');
    m.boardText = std::string(code) + v + "230115";
    std::string runText = std::to_string(run % 1000);
    runText.insert(0, 3 - runText.size(), '0');
    m.serialText = std::string(code) + "2303" + runText;
    if (!version.empty()) {
        m.versionLabel = "APP";
        m.version = std::string(version);
    }
    return m;
}

FrameProfile frame460() {
    FrameProfile p;
    p.preset = "460";
    p.model = "460";
    p.name = "Frame 460";
    p.serial = "460000230001";
    p.modules[kMainBoardModule] = board("460100", "A", 1, "2.1.0.5");
    p.modules[kSfpModule] = board("460310", "A", 2, "1.4.0.2");
    p.modules[kIpModule] = board("460810", "B", 3, "4.2.1.7");
    // One card of every kind, the last slot left empty.
    constexpr std::string_view cards[] = {"460210", "460130", "460230", "460240",
                                          "460250", "460132", "460610"};
    for (int slot = 1; slot <= 7; ++slot)
        p.modules[kFirstSlotModule + slot - 1] =
            board(cards[slot - 1], "A", 10 + slot, "1.0." + std::to_string(slot) + ".0");
    for (int source = 2; source <= 18; ++source)
        p.syncPriority[static_cast<std::size_t>(source)] = source <= 4 ? source - 1 : 0;
    for (int input = 1; input <= kMainInputs; ++input)
        p.inputStatus[static_cast<std::size_t>(input)] = input <= 2 ? "OK" : "---";
    return p;
}

FrameProfile frame461() {
    FrameProfile p = frame460();
    p.preset = "461";
    p.model = "461";
    p.name = "Frame 461";
    p.serial = "461000230001";
    p.modules[kIpModule] = {};
    for (int slot = 5; slot <= kSlotCount; ++slot)
        p.modules[kFirstSlotModule + slot - 1] = {};
    return p;
}

FrameProfile frame465() {
    FrameProfile p = frame460();
    p.preset = "465";
    p.model = "465";
    p.name = "Frame 465";
    p.serial = "465000230001";
    p.modules[kMainBoardModule] = board("465100", "A", 1, "1.3.0.2");
    for (int slot = 3; slot <= kSlotCount; ++slot)
        p.modules[kFirstSlotModule + slot - 1] = {};
    p.fanConfig = 3;
    return p;
}

FrameProfile frame450() {
    FrameProfile p;
    p.preset = "450";
    p.model = "450";
    p.name = "Panel 450";
    p.serial = "450000230001";
    p.modules[kMainBoardModule] = board("450100", "A", 1, "1.2.0.0");
    p.psuConfig = 1;
    p.fanConfig = 0;
    for (int key = 1; key <= kPanelKeys; ++key)
        p.panel.keys[static_cast<std::size_t>(key)] = {1 + (key - 1) % 4, 100 + key, key % 2};
    for (const int led : {1, 4, 7})
        p.panel.leds[static_cast<std::size_t>(led)] = 1;
    for (int led = 1; led <= kPanelRingLeds; ++led)
        p.panel.ringLeds[static_cast<std::size_t>(led)] = led <= 8 ? 3 : led <= 16 ? 1 : 0;
    p.panel.rotaryCount = 42;
    return p;
}

FrameProfile frameRecovery() {
    FrameProfile p = frame460();
    p.preset = "recovery";
    p.runMode = 0;
    p.name = "Recovery";
    p.modules[kMainBoardModule].versionLabel = "BOOT";
    p.modules[kMainBoardModule].version = "1.0.0.3";
    return p;
}

FrameProfile frameHash() {
    FrameProfile p = frame460();
    p.preset = "hash";
    p.runMode = 2;
    p.name = "Hash state";
    return p;
}

struct Preset {
    std::string_view name;
    std::string_view description;
    FrameProfile (*make)();
};

const Preset kPresets[] = {
    {"460",
     "460 frame, firmware 2.1.0.5 (1536 crosspoints), SFP and Dante modules, cards SDI AD DA AES "
     "MADI AD2 EQ and an empty slot",
     frame460},
    {"461", "461 frame, firmware 2.1.0.5 (1024 crosspoints), SFP module, cards SDI AD DA AES",
     frame461},
    {"465", "465 frame, SFP and Dante modules, cards SDI AD", frame465},
    {"450", "450 control panel unit", frame450},
    {"recovery", "460 frame in recovery mode, telnet port only (search mode 0)", frameRecovery},
    {"hash", "460 frame in the \"#\" state, telnet port only (search mode 2)", frameHash},
};

bool applyNetwork(NetworkSettings& n, std::string_view field, std::string_view value) {
    if (field == "mode")
        return toInt(value, n.mode);
    if (field == "address")
        n.address = unquote(value);
    else if (field == "mask")
        n.mask = unquote(value);
    else if (field == "gateway")
        n.gateway = unquote(value);
    else if (field == "dns")
        n.dns = unquote(value);
    else
        return false;
    return true;
}

// "a,b,c" into exactly N integers; `out` is left alone unless all of them parse.
template <std::size_t N>
bool toInts(std::string_view value, std::array<int, N>& out) {
    const auto f = splitFields(value);
    std::array<int, N> v{};
    if (f.size() != N)
        return false;
    for (std::size_t k = 0; k < N; ++k)
        if (!toInt(f[k], v[k]))
            return false;
    out = v;
    return true;
}

bool toMadiPort(std::string_view value, MadiPort& port) {
    std::array<int, 5> v{};
    if (!toInts(value, v))
        return false;
    port = {v[0], {v[1], v[2], v[3]}, v[4]};
    return true;
}

bool applyFault(FaultPlan& f, std::string_view field, std::string_view value) {
    if (field == "close-after")
        return toInt(value, f.closeAfterLines);
    if (field == "silent")
        return toBool(value, f.silent);
    if (field == "delay")
        return toInt(value, f.replyDelayMs);
    if (field == "garbage")
        return toBool(value, f.garbageBetweenLines);
    if (field == "overlong")
        return toBool(value, f.overlongLineAtConnect);
    if (field == "chunked")
        return toBool(value, f.oneByteChunks);
    if (field == "refuse-echo")
        return toBool(value, f.refuseEcho);
    if (field == "ignore-set-address")
        return toBool(value, f.ignoreSetAddress);
    if (field == "fail-record")
        return toInt(value, f.failProgramAtRecord);
    if (field == "silent-record")
        return toInt(value, f.silentProgramAtRecord);
    if (field == "duplicate-record")
        return toInt(value, f.duplicateProgramAtRecord);
    if (field == "drop-record")
        return toInt(value, f.dropLinkAtRecord);
    if (field == "program-delay")
        return toInt(value, f.programReplyDelayMs) && f.programReplyDelayMs >= 0;
    if (field == "no-tags")
        return toBool(value, f.dropTags);
    if (field == "stray-lines")
        return toBool(value, f.strayBeforeTagged);
    if (field == "ignore") {
        const CommandId id = commandOf(trim(value));
        if (id == CommandId::InvalidReply)
            return false;
        f.unanswered.insert(id);
        return true;
    }
    if (field == "other-id" || field == "negative") {
        const CommandId id = commandOf(trim(value));
        if (id == CommandId::InvalidReply)
            return false;
        (field == "other-id" ? f.otherId : f.negativeCount).insert(id);
        return true;
    }
    if (field == "label-answer") {
        if (value.size() > 16)
            return false;
        f.labelAnswer = std::string(value);
        return true;
    }
    if (field == "unasked-labels")
        return toBool(value, f.unaskedLabels);
    if (field == "search-burst")
        return toInt(value, f.searchBurst) && f.searchBurst >= 0 &&
               f.searchBurst <= FaultPlan::kMaxSearchBurst;
    if (field == "announce-inputs") {
        int ms = 0;
        if (!toInt(value, ms) || ms < 0)
            return false;
        f.announceInputsMs = ms;
        return true;
    }
    if (field == "flood-alive")
        return toInt(value, f.floodAliveLines);
    if (field == "refuse") {
        // keyword or keyword:status
        const std::size_t colon = value.find(':');
        const CommandId id = commandOf(trim(value.substr(0, colon)));
        int status = 1;
        if (id == CommandId::InvalidReply)
            return false;
        if (colon != std::string_view::npos &&
            (!toInt(value.substr(colon + 1), status) || status == 0))
            return false;
        f.refused[id] = status;
        return true;
    }
    return false;
}

} // namespace

int cardTypeOfBoardCode(std::string_view boardText) {
    const std::string_view code = boardText.substr(0, 6);
    for (const CardCode& c : kCardCodes)
        if (c.code == code)
            return c.type;
    return 0;
}

int familyOfModel(std::string_view model) {
    if (model == "461" || model == "RB16")
        return 1;
    if (model == "465")
        return 2;
    if (model == "450")
        return 6;
    return 0;
}

int FrameProfile::family() const { return familyOfModel(model); }

int FrameProfile::versionNumber() const {
    unsigned a = 0, b = 0, c = 0, d = 0;
    const std::string& v = modules[kMainBoardModule].version;
    if (std::sscanf(v.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
        return 0;
    return static_cast<int>(a * 1000000 + b * 10000 + c * 100 + d);
}

int FrameProfile::crosspointCount() const {
    return versionNumber() >= 2000001 && family() == 0 ? 1536 : 1024;
}

bool FrameProfile::hasPhd() const {
    const std::string& board = modules[kMainBoardModule].boardText;
    return board.size() < 6 || board[5] != '1';
}

int FrameProfile::cardType(int slot) const {
    if (slot < 1 || slot > kSlotCount)
        return 0;
    const ModuleRecord& m = modules[static_cast<std::size_t>(kFirstSlotModule + slot - 1)];
    return m.present ? cardTypeOfBoardCode(m.boardText) : 0;
}

std::vector<std::string_view> presetNames() {
    std::vector<std::string_view> names;
    for (const Preset& p : kPresets)
        names.push_back(p.name);
    return names;
}

std::string_view presetDescription(std::string_view name) {
    for (const Preset& p : kPresets)
        if (p.name == name)
            return p.description;
    return {};
}

std::optional<FrameProfile> presetProfile(std::string_view name) {
    for (const Preset& p : kPresets)
        if (p.name == name)
            return p.make();
    return std::nullopt;
}

bool applySetting(FrameProfile& p, std::string_view key, std::string_view value,
                  std::string& error) {
    key = trim(key);
    value = trim(value);
    int index = 0;
    std::string_view rest;
    bool ok = true;
    if (key == "model")
        p.model = unquote(value);
    else if (key == "model-number")
        ok = toInt(value, p.modelNumber);
    else if (key == "id")
        ok = toInt(value, p.id);
    else if (key == "name")
        p.name = unquote(value);
    else if (key == "serial")
        p.serial = unquote(value);
    else if (key == "run-mode")
        ok = toInt(value, p.runMode) && p.runMode >= 0 && p.runMode <= 2;
    else if (key == "mac")
        p.mac = unquote(value);
    else if (key == "bind")
        p.bindAddress = unquote(value);
    else if (key == "tcp-port" || key == "telnet-port" || key == "udp-port" ||
             key == "reply-port") {
        int port = 0;
        ok = toInt(value, port) && port > 0 && port < 65536;
        const auto v = static_cast<std::uint16_t>(port);
        (key == "tcp-port"      ? p.tcpPort
         : key == "telnet-port" ? p.telnetPort
         : key == "udp-port"    ? p.udpPort
                                : p.replyPort) = v;
    } else if (key == "alive-interval")
        ok = toInt(value, p.aliveIntervalMs) && p.aliveIntervalMs >= 0;
    else if (key == "scenario") {
        const std::string name(unquote(value));
        ok = name.empty() || scenarioByName(name).has_value();
        if (ok)
            p.scenario = name;
    } else if (key == "scenario-tick-ms")
        ok =
            toInt(value, p.scenarioTickMs) && p.scenarioTickMs >= 10 && p.scenarioTickMs <= 3600000;
    else if (key == "scenario-repeat") {
        int repeat = 0;
        ok = toInt(value, repeat) && (repeat == 0 || repeat == 1);
        p.scenarioRepeat = repeat == 1;
    } else if (key == "psu-config")
        ok = toInt(value, p.psuConfig);
    else if (key == "fan-config")
        ok = toInt(value, p.fanConfig);
    else if (key == "temperature")
        ok = toInt(value, p.temperature);
    else if (key == "sync-state")
        ok = toInt(value, p.syncState);
    else if (key == "sync-source")
        ok = toInt(value, p.syncSource);
    else if (key == "rate")
        ok = toInt(value, p.sampleRate);
    else if (key == "gen-rate")
        ok = toInt(value, p.genRate);
    else if (key == "ip-module.name")
        p.ipName = unquote(value);
    else if (key == "ip-module.mac")
        p.ipMac = unquote(value);
    else if (key.starts_with("ip-module.primary."))
        ok = applyNetwork(p.ipPrimary, key.substr(18), value);
    else if (key.starts_with("ip-module.secondary."))
        ok = applyNetwork(p.ipSecondary, key.substr(20), value);
    else if (key == "ip-module.switch-mode")
        ok = toInt(value, p.ipSwitchMode);
    else if (key == "ip-module.unicast-clock")
        ok = toInt(value, p.ipUnicastClock);
    else if (key == "ip-module.sample-rate-control")
        ok = toInt(value, p.ipSampleRateEnable);
    else if (key == "ip-module.preferred-master")
        ok = toInt(value, p.ipPreferredMaster);
    else if (key == "ip-module.latency")
        ok = toInt(value, p.ipLatency);
    else if (key == "ip-module.max-latency")
        ok = toInt(value, p.ipMaxLatency);
    else if (key == "ip-module.frame-size")
        ok = toInt(value, p.ipFrameSize);
    else if (key == "ip-module.lock")
        ok = toInt(value, p.ipLock);
    else if (key == "ip-module.domain-state")
        ok = toInt(value, p.ipDomainState);
    else if (key == "ip-module.auto-routing")
        ok = toInt(value, p.ipAutoRouting);
    else if (key == "ip-module.rx-port-first")
        ok = toInt(value, p.ipRxPortFirst);
    else if (key == "ip-module.rx-port-last")
        ok = toInt(value, p.ipRxPortLast);
    else if (key == "system-delay")
        ok = toInt(value, p.systemDelay);
    else if (key == "rate-adapt-source")
        ok = toInt(value, p.rateAdaptSource);
    else if (key == "word-clock-out")
        ok = toInt(value, p.wordClockOut);
    else if (key == "sync-term")
        ok = toInt(value, p.syncTerm);
    else if (key == "aes-channel-status")
        ok = toInt(value, p.aesChannelStatus);
    else if (key == "phd")
        ok = toInts(value, p.phdMode);
    else if (key == "opt-redundancy")
        ok = toInts(value, p.optRedundancy);
    else if (indexedKey(key, "madi.", 1, 3, index, rest) && rest.empty())
        ok = toMadiPort(value, p.madi[static_cast<std::size_t>(index)]);
    else if (indexedKey(key, "opt-mode.", 1, 2, index, rest) && rest.empty())
        ok = toInt(value, p.optMode[static_cast<std::size_t>(index)]);
    else if (indexedKey(key, "hotlink.", 1, 2, index, rest) && rest.empty())
        ok = toInts(value, p.hotlink[static_cast<std::size_t>(index)]);
    else if (key.starts_with("network."))
        ok = applyNetwork(p.network, key.substr(8), value);
    else if (key.starts_with("fault."))
        ok = applyFault(p.faults, key.substr(6), value);
    else if (indexedKey(key, "psu.", 1, kPsuUnits, index, rest) && rest == "status")
        ok = toInt(value, p.psuStatus[static_cast<std::size_t>(index)]);
    else if (indexedKey(key, "fan.", 1, kFanUnits, index, rest) && rest == "status")
        ok = toInt(value, p.fanStatus[static_cast<std::size_t>(index)]);
    else if (indexedKey(key, "sync-priority.", 2, 18, index, rest) && rest.empty())
        ok = toInt(value, p.syncPriority[static_cast<std::size_t>(index)]);
    else if (indexedKey(key, "cross.", 1, 1536, index, rest) && rest.empty()) {
        int input = 0;
        ok = toInt(value, input) && input >= 0 && input <= 1536;
        if (ok)
            p.crosspoints[index] = input;
    } else if (indexedKey(key, "panel.key.", 1, kPanelKeys, index, rest) && rest.empty())
        ok = toInts(value, p.panel.keys[static_cast<std::size_t>(index)]);
    else if (indexedKey(key, "panel.led.", 1, kPanelKeyLeds, index, rest) && rest.empty())
        ok = toInt(value, p.panel.leds[static_cast<std::size_t>(index)]);
    else if (indexedKey(key, "panel.ring.", 1, kPanelRingLeds, index, rest) && rest.empty())
        ok = toInt(value, p.panel.ringLeds[static_cast<std::size_t>(index)]);
    else if (key == "panel.rotary")
        ok = toInt(value, p.panel.rotaryCount);
    else if (key == "panel.led-intensity")
        ok = toInt(value, p.panel.ledIntensity) && p.panel.ledIntensity >= 1 &&
             p.panel.ledIntensity <= 3;
    else if (key == "panel.master")
        ok = toInt(value, p.panel.master);
    else if (indexedKey(key, "input.", 1, kMainInputs, index, rest) && rest.empty())
        p.inputStatus[static_cast<std::size_t>(index)] = std::string(unquote(value).substr(0, 3));
    else if (indexedKey(key, "module.", 1, kModuleCount, index, rest)) {
        ModuleRecord& m = p.modules[static_cast<std::size_t>(index)];
        if (rest.empty()) {
            // present,'board text','serial text'  (or "none")
            if (value == "none") {
                m = {};
            } else {
                const auto f = splitFields(value);
                ok = f.size() == 3 && toInt(f[0], m.present);
                if (ok) {
                    m.boardText = std::string(unquote(f[1]).substr(0, 16));
                    m.serialText = std::string(unquote(f[2]).substr(0, 13));
                }
            }
        } else if (rest == "version") {
            m.version = unquote(value);
            if (m.versionLabel.empty())
                m.versionLabel = "APP";
        } else if (rest == "label") {
            m.versionLabel = unquote(value);
        } else {
            ok = false;
        }
    } else {
        error = "unknown key '" + std::string(key) + "'";
        return false;
    }
    if (!ok)
        error = "bad value '" + std::string(value) + "' for '" + std::string(key) + "'";
    return ok;
}

std::optional<FrameProfile> parseProfile(std::string_view text, std::string& error) {
    FrameProfile profile = frame460();
    profile.preset.clear();
    int lineNumber = 0;
    bool first = true;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        ++lineNumber;
        line = trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            error = "line " + std::to_string(lineNumber) + ": 'key = value' expected";
            return std::nullopt;
        }
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (key == "preset") {
            auto preset = presetProfile(value);
            if (!first || !preset) {
                error = "line " + std::to_string(lineNumber) +
                        (first ? ": unknown preset" : ": 'preset' must be the first setting");
                return std::nullopt;
            }
            profile = *preset;
        } else if (!applySetting(profile, key, value, error)) {
            error = "line " + std::to_string(lineNumber) + ": " + error;
            return std::nullopt;
        }
        first = false;
    }
    return profile;
}

} // namespace velmar::framesim
