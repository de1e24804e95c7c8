#include "engine/SettingsApply.h"

#include "engine/CodeTables.h"

#include <initializer_list>
#include <string_view>

namespace velmar {

namespace {

using C = CommandId;

constexpr int kAddressCapacity = 16;
constexpr int kDeviceNameCapacity = 17;
constexpr int kModuleNameCapacity = 32;
constexpr int kCardModeMadi = 1;
constexpr int kCardModeHotlink = 2;
constexpr int kSdiPorts = 2;
constexpr int kSdiGroups = 4;
constexpr int kAd2Channels = 2;

// Collects the requests of one apply run and what they amount to.
class PlanBuilder {
public:
    explicit PlanBuilder(SettingsApplyPlan& plan) : m_plan(plan) {}

    // A request with integer values in consecutive slots from p1.
    DeviceMessage& add(C id, std::initializer_list<std::int32_t> values = {}) {
        DeviceMessage& m = m_plan.requests.emplace_back(DeviceMessage::request(id));
        int slot = 1;
        for (const std::int32_t v : values)
            m.setI(slot++, v);
        return m;
    }
    // A request with integer values at the given slots.
    void addAt(C id, std::initializer_list<std::pair<int, std::int32_t>> values) {
        DeviceMessage& m = m_plan.requests.emplace_back(DeviceMessage::request(id));
        for (const auto& [slot, v] : values)
            m.setI(slot, v);
    }

    void sent() {
        if (m_plan.result == ApplyResult::NothingSent)
            m_plan.result = ApplyResult::Sent;
    }
    void networkSent() { m_plan.result = ApplyResult::NetworkSent; }

private:
    SettingsApplyPlan& m_plan;
};

bool madiPortChanged(const DeviceSettings& a, const DeviceSettings& b, int port) {
    const MadiOutMode& oa = a.madiOutMode[static_cast<std::size_t>(port)];
    const MadiOutMode& ob = b.madiOutMode[static_cast<std::size_t>(port)];
    return a.madiInMode[static_cast<std::size_t>(port)].values[0] !=
               b.madiInMode[static_cast<std::size_t>(port)].values[0] ||
           oa.modes[1] != ob.modes[1] || oa.modes[2] != ob.modes[2] || oa.modes[3] != ob.modes[3] ||
           oa.dsdMode != ob.dsdMode;
}

// "smadiinmode", "smadioutmode" and "smadidsdmode" for one main-board MADI port.
void addMadiPort(PlanBuilder& b, const DeviceSettings& s, int port) {
    const MadiOutMode& out = s.madiOutMode[static_cast<std::size_t>(port)];
    b.add(C::smadiinmode, {port, s.madiInMode[static_cast<std::size_t>(port)].values[0]});
    b.addAt(C::smadioutmode, {{1, port}, {3, out.modes[1]}, {4, out.modes[2]}, {5, out.modes[3]}});
    b.addAt(C::smadidsdmode, {{1, port}, {6, out.dsdMode}});
    b.sent();
}

bool sameAddress(const IpAudioAddress& a, const IpAudioAddress& b) {
    return a.mode == b.mode && a.ipAddress == b.ipAddress && a.subnetMask == b.subnetMask &&
           a.gateway == b.gateway && a.dns == b.dns;
}

void setAddressTexts(DeviceMessage& m, const IpAudioAddress& a) {
    m.setText(2, kAddressCapacity, a.ipAddress.view());
    m.setText(6, kAddressCapacity, a.subnetMask.view());
    m.setText(10, kAddressCapacity, a.gateway.view());
    m.setText(14, kAddressCapacity, a.dns.view());
}

void planOptionalModule(PlanBuilder& b, const DeviceSettings& old, const DeviceSettings& now) {
    const bool redundant = now.optRedundancy[0] != 0;
    if (old.optRedundancy != now.optRedundancy) {
        b.add(C::soptred, {now.optRedundancy[0], now.optRedundancy[1]});
        b.sent();
    }
    if (old.optMode[1].value != now.optMode[1].value) {
        b.add(C::soptmode, {1, now.optMode[1].value});
        b.sent();
    }
    if (!redundant && old.optMode[2].value != now.optMode[2].value) {
        b.add(C::soptmode, {2, now.optMode[2].value});
        b.sent();
    }
    // Under redundancy SFP 2 mirrors SFP 1 and takes no settings of its own.
    for (int module = 1; module <= (redundant ? 1 : 2); ++module) {
        const int port = module + 1; // the module's MADI transport
        if (madiPortChanged(old, now, port))
            addMadiPort(b, now, port);
        const auto m = static_cast<std::size_t>(module);
        if (old.hotlinkInMode[m].value != now.hotlinkInMode[m].value ||
            old.hotlinkOutMode[m].value != now.hotlinkOutMode[m].value) {
            b.add(C::shlinkinmode, {module, now.hotlinkInMode[m].value});
            b.add(C::shlinkoutmode, {module, now.hotlinkOutMode[m].value});
            b.sent();
        }
    }
}

void planDante(PlanBuilder& b, const DeviceSettings& old, const DeviceSettings& now,
               const SettingsApplyContext& context) {
    const bool configurable = danteConfigurable(context);
    const IpAudioSettings& o = old.ipAudio;
    const IpAudioSettings& n = now.ipAudio;
    // The module is addressed by the name it has: the new one once it was sent,
    // the old one when the module keeps its own.
    const std::string_view ownName = configurable ? n.moduleName.view() : o.moduleName.view();
    const std::string_view address = ownName.empty() ? std::string_view("localhost") : ownName;
    const auto named = [&](C id) -> DeviceMessage& {
        DeviceMessage& m = b.add(id);
        m.setText(1, kModuleNameCapacity, address);
        return m;
    };

    if (o.moduleName != n.moduleName) {
        if (configurable) {
            b.add(C::sbkname).setText(1, kModuleNameCapacity, n.moduleName.view());
            b.sent();
        } else {
            b.add(C::gbkname);
        }
    }
    if (!sameAddress(o.primary, n.primary)) {
        if (configurable) {
            setAddressTexts(b.add(C::sbkip, {n.primary.mode}), n.primary);
            b.networkSent();
        } else {
            b.add(C::gbkip);
        }
    }
    if (o.switchMode != n.switchMode) {
        if (configurable) {
            b.add(C::sswmodeip, {n.switchMode});
            b.networkSent();
        } else {
            b.add(C::gswmodeip);
        }
    }
    if (!sameAddress(o.secondary, n.secondary)) {
        if (configurable) {
            setAddressTexts(b.add(C::sbksecip, {n.secondary.mode}), n.secondary);
            b.networkSent();
        } else {
            b.add(C::gbksecip);
        }
    }
    if (o.sampleRateEnable != n.sampleRateEnable) {
        if (configurable) {
            b.add(C::ssrenaip, {n.sampleRateEnable});
            b.sent();
        } else {
            b.add(C::gsrenaip);
        }
    }
    if (o.preferredMaster != n.preferredMaster) {
        if (configurable) {
            named(C::sprefmastip).setI(9, n.preferredMaster);
            b.sent();
        } else {
            named(C::gprefmastip);
        }
    }
    if (o.latency != n.latency) {
        if (configurable) {
            const PerformValues v = performValues(n.latency, context.maxLatency);
            DeviceMessage& m = named(C::sperformip);
            m.setI(10, v.packetSizeCode);
            m.setI(9, v.latency);
            b.sent();
        } else {
            named(C::gframeip);
            named(C::glatencyip);
        }
    }
}

void planSdiCard(PlanBuilder& b, int slot, const CardRecord& old, const CardRecord& now) {
    for (int port = 1; port <= kSdiPorts; ++port) {
        const CardChannel& o = old.channels[static_cast<std::size_t>(port)];
        const CardChannel& n = now.channels[static_cast<std::size_t>(port)];
        if (o.embedderEnable != n.embedderEnable)
            b.addAt(C::sembena, {{1, slot}, {2, port}, {4, n.embedderEnable}});
        if (o.txSourceRate != n.txSourceRate)
            b.addAt(C::stxsrcrate, {{1, slot}, {2, port}, {4, n.txSourceRate}});
        for (int group = 1; group <= kSdiGroups; ++group) {
            const auto g = static_cast<std::size_t>(group);
            if (o.embedMode[g] != n.embedMode[g])
                b.add(C::sembmode, {slot, port, group, n.embedMode[g]});
            if (o.rxSourceEnable[g] != n.rxSourceEnable[g])
                b.add(C::srxsrcena, {slot, port, group, n.rxSourceEnable[g]});
        }
    }
}

void planAdCard(PlanBuilder& b, int slot, int channels, const CardRecord& old,
                const CardRecord& now) {
    for (int ch = 1; ch <= channels; ++ch) {
        const CardChannel& o = old.channels[static_cast<std::size_t>(ch)];
        const CardChannel& n = now.channels[static_cast<std::size_t>(ch)];
        if (o.inputMode != n.inputMode)
            b.add(C::sadinpmode, {slot, ch, n.inputMode});
        if (o.adMute != n.adMute)
            b.add(C::sadmute, {slot, ch, n.adMute});
        if (o.phantomPower != n.phantomPower)
            b.add(C::sadphanpow, {slot, ch, n.phantomPower});
        if (o.phase != n.phase)
            b.add(C::sadphase, {slot, ch, n.phase});
    }
}

void planDaCard(PlanBuilder& b, int slot, const CardRecord& old, const CardRecord& now) {
    for (int ch = 1; ch <= kCardChannels; ++ch) {
        const auto c = static_cast<std::size_t>(ch);
        if (old.channels[c].daMute != now.channels[c].daMute)
            b.add(C::sdamute, {slot, ch, now.channels[c].daMute});
        // The request carries the card's one filter, which is channel 1's;
        // the other channels' choices stay in the record unsent.
        if (ch == 1 && old.channels[c].dsdFilter != now.channels[c].dsdFilter)
            b.addAt(C::sdadsdfilter, {{1, slot}, {3, now.channels[c].dsdFilter}});
    }
}

void planAesCard(PlanBuilder& b, int slot, const CardRecord& old, const CardRecord& now) {
    for (int ch = 1; ch <= kCardChannels; ++ch) {
        const auto c = static_cast<std::size_t>(ch);
        if (old.channels[c].aesRxSourceEnable != now.channels[c].aesRxSourceEnable)
            b.add(C::saesrxsrcena, {slot, ch, now.channels[c].aesRxSourceEnable});
    }
}

void planMadiCard(PlanBuilder& b, int slot, const CardRecord& old, const CardRecord& now) {
    // A new interface type starts from nothing on the card: every value of the
    // new type goes out, changed or not.
    const bool typeChanged = old.cardMode != now.cardMode;
    if (typeChanged)
        b.add(C::scifmode, {slot, now.cardMode});
    if (old.cardRedundancy != now.cardRedundancy ||
        old.cardRedundancyValue != now.cardRedundancyValue)
        b.add(C::scifred, {slot, now.cardRedundancy, now.cardRedundancyValue});
    if (now.cardMode == kCardModeHotlink) {
        if (typeChanged || old.hotlinkInMode != now.hotlinkInMode)
            b.add(C::schlinkinmode, {slot, now.hotlinkInMode});
        if (typeChanged || old.hotlinkOutMode != now.hotlinkOutMode)
            b.add(C::schlinkoutmode, {slot, now.hotlinkOutMode});
    } else if (now.cardMode == kCardModeMadi) {
        const int ports = now.cardRedundancy != 0 ? 1 : 2;
        for (int port = 1; port <= ports; ++port) {
            const CardChannel& o = old.channels[static_cast<std::size_t>(port)];
            const CardChannel& n = now.channels[static_cast<std::size_t>(port)];
            if (typeChanged || o.madiInMode != n.madiInMode)
                b.add(C::scmadiinmode, {slot, port, n.madiInMode});
            if (typeChanged || o.madiRxSourceEnable != n.madiRxSourceEnable)
                b.addAt(C::scmadirxsrcena, {{1, slot}, {2, port}, {4, n.madiRxSourceEnable}});
            if (typeChanged || o.madiOutMode != n.madiOutMode)
                b.addAt(C::scmadioutmode, {{1, slot},
                                           {2, port},
                                           {5, n.madiOutMode[0]},
                                           {6, n.madiOutMode[1]},
                                           {7, n.madiOutMode[2]}});
            if (typeChanged || o.madiDsdMode != n.madiDsdMode)
                b.addAt(C::scmadidsdmode, {{1, slot}, {2, port}, {8, n.madiDsdMode}});
        }
    }
}

void planCards(PlanBuilder& b, const DeviceSettings& old, const DeviceSettings& now,
               SettingsApplyPlan& plan) {
    for (int slot = 1; slot <= kCardSlots; ++slot) {
        const CardRecord& o = old.cards[static_cast<std::size_t>(slot)];
        const CardRecord& n = now.cards[static_cast<std::size_t>(slot)];
        if (o == n)
            continue;
        const std::size_t before = plan.requests.size();
        switch (n.cardType) {
        case kCardTypeSdi: planSdiCard(b, slot, o, n); break;
        case kCardTypeAd: planAdCard(b, slot, kCardChannels, o, n); break;
        case kCardTypeAd2: planAdCard(b, slot, kAd2Channels, o, n); break;
        case kCardTypeDa: planDaCard(b, slot, o, n); break;
        case kCardTypeAes: planAesCard(b, slot, o, n); break;
        case kCardTypeMadi: planMadiCard(b, slot, o, n); break;
        default: break; // no card, or one without settings of its own
        }
        if (plan.requests.size() != before)
            b.sent();
    }
}

} // namespace

SettingsApplyContext settingsApplyContext(const DeviceState& state) {
    return {state.sfpPresent(), state.ipModulePresent(), state.live.bkLock, state.live.bkDomain[2],
            state.live.maxLatency};
}

DeviceSettings settingsAfterApply(const DeviceSettings& current, const DeviceSettings& opened,
                                  const DeviceSettings& edited) {
    DeviceSettings next = edited;
    next.psuConfig = current.psuConfig;
    next.fanConfig = current.fanConfig;
    next.deviceModel = current.deviceModel;
    next.deviceModelNumber = current.deviceModelNumber;
    next.serialNumber = current.serialNumber;
    next.hwConf = current.hwConf;
    next.swVersion = current.swVersion;
    next.inputLabels = current.inputLabels;
    next.outputLabels = current.outputLabels;
    next.networkSettings.macAddress = current.networkSettings.macAddress;
    next.ipAudio.primary.macAddress = current.ipAudio.primary.macAddress;
    next.ipAudio.secondary.macAddress = current.ipAudio.secondary.macAddress;
    next.ipAudio.unicastClock = current.ipAudio.unicastClock;
    next.ipAudio.autoRouting = current.ipAudio.autoRouting;
    next.ipAudio.frameSize = current.ipAudio.frameSize;
    for (std::size_t slot = 1; slot < next.cards.size(); ++slot)
        if (edited.cards[slot] == opened.cards[slot])
            next.cards[slot] = current.cards[slot];
    return next;
}

bool danteConfigurable(const SettingsApplyContext& context) {
    return context.bkLock == 0 && context.bkDomainState != 1 && context.bkDomainState != 2;
}

PerformValues performValues(std::int32_t latency, std::int32_t maxLatency) {
    constexpr std::int32_t kMinLatency = 250;
    constexpr std::int32_t kDefaultLatency = 1000;
    if (latency < kMinLatency)
        return {kMinLatency, 4};
    const std::int32_t l = maxLatency < latency ? maxLatency : latency;
    if (l == 0)
        return {kDefaultLatency, 4};
    const std::int32_t code = l < 500 ? 4 : l < 1000 ? 8 : l < 2000 ? 16 : 32;
    return {l, code};
}

SettingsApplyPlan planSettingsApply(const DeviceSettings& old, const DeviceSettings& now,
                                    const SettingsApplyContext& context) {
    SettingsApplyPlan plan;
    PlanBuilder b(plan);
    const auto single = [&](std::int32_t was, std::int32_t is, C id) {
        if (was != is) {
            b.add(id, {is});
            b.sent();
        }
    };

    single(old.aliveTime, now.aliveTime, C::salivetime);
    single(old.systemDelay, now.systemDelay, C::ssystemdelay);
    single(old.genRate, now.genRate, C::sgenrate);
    single(old.rateAdaptSource, now.rateAdaptSource, C::srateadptsrc);
    single(old.wordClockOut, now.wordClockOut, C::swclkout);

    if (old.deviceId != now.deviceId || old.deviceName != now.deviceName) {
        b.add(C::sdevid, {now.deviceId}).setText(2, kDeviceNameCapacity, now.deviceName.view());
        b.sent();
    }

    const NetworkSettings& lo = old.networkSettings;
    const NetworkSettings& ln = now.networkSettings;
    if (lo.mode != ln.mode || lo.ipAddress != ln.ipAddress || lo.gateway != ln.gateway ||
        lo.subnetMask != ln.subnetMask) {
        DeviceMessage& m = b.add(C::sip, {ln.mode});
        m.setText(2, kAddressCapacity, ln.ipAddress.view());
        m.setText(6, kAddressCapacity, ln.subnetMask.view());
        m.setText(10, kAddressCapacity, ln.gateway.view());
        b.networkSent();
    }

    single(old.aesChannelStatus, now.aesChannelStatus, C::saeschstat);

    if (madiPortChanged(old, now, 1))
        addMadiPort(b, now, 1);

    if (old.phdMode != now.phdMode) {
        b.add(C::sphdmode, {now.phdMode[0], now.phdMode[1], now.phdMode[2]});
        b.sent();
    }

    if (context.sfpPresent)
        planOptionalModule(b, old, now);
    if (context.ipModulePresent)
        planDante(b, old, now, context);

    if (old.syncPriority != now.syncPriority) {
        for (std::size_t i = 0; i < now.syncPriority.size(); ++i)
            b.add(C::ssyncprio,
                  {static_cast<std::int32_t>(i) + kSyncSourceFirst, now.syncPriority[i]});
        b.sent();
    }
    single(old.syncTerm, now.syncTerm, C::ssyncterm);

    planCards(b, old, now, plan);
    return plan;
}

} // namespace velmar
