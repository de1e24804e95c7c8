#include "engine/Dispatch.h"

#include "engine/CodeTables.h"
#include "protocol/ChannelNames.h"

#include <array>
#include <cstddef>
#include <string>

namespace velmar {

namespace {

struct In {
    DispatchContext& c;
    const DeviceMessage& m;
    bool isReply;
    const CResponseDecoder& decoder;

    DeviceState& state() const { return c.state; }
    DeviceSettings& settings() const { return c.state.settings; }
    LiveStatus& live() const { return c.state.live; }
};

using Handler = void (*)(const In&);

constexpr bool inRange(int value, int low, int high) { return value >= low && value <= high; }
constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

// The value the frame reports, or 0 when it reports an error instead.
std::int32_t valueOrZero(const In& in, int slot) { return in.m.status != 0 ? 0 : in.m.i(slot); }

void forward(IDialogSink* sink, const In& in) {
    if (sink != nullptr)
        sink->onDeviceMessage(in.m, in.isReply, in.decoder);
}

void request(const In& in, CommandId id, int p1Slot, std::int32_t value) {
    DeviceMessage m = DeviceMessage::request(id);
    m.setI(p1Slot, value);
    in.c.host.sendRequest(m);
}

// ---- identity and inventory -------------------------------------------------

void onDevInfo(const In& in) {
    DeviceState& s = in.state();
    s.settings.deviceModel.assign(in.m.text(1, 7));
    s.settings.deviceModelNumber = in.m.i(3);
    s.settings.serialNumber.assign(in.m.text(4, 17));
    in.c.view.deviceRowInfoChanged(s.connectedAddress, s.settings.deviceModel.view(),
                                   s.settings.serialNumber.view());
    const int family = familyFromModel(s.settings.deviceModel.view());
    if (family != s.family) {
        s.family = family;
        in.c.view.rebuildCrosspointTypeLists();
        forward(in.c.dialogs.signalInputStatus, in);
    }
}

void onDevId(const In& in) {
    DeviceState& s = in.state();
    s.settings.deviceId = in.m.i(1);
    s.settings.deviceName.assign(in.m.text(2, 17));
    s.deviceTitleName = s.settings.deviceName.view();
    in.c.host.updateTitle();
    in.c.view.deviceRowIdentityChanged(s.connectedAddress, s.settings.deviceId,
                                       s.settings.deviceName.view());
}

void onIp(const In& in) {
    NetworkSettings& n = in.settings().networkSettings;
    n.mode = in.m.i(1);
    n.ipAddress.assign(in.m.text(2, 16));
    n.subnetMask.assign(in.m.text(6, 16));
    n.gateway.assign(in.m.text(10, 16));
    n.macAddress.assign(in.m.text(14, 13));
}

// The frame's answer to a changed network record: its MAC stays what "gip" said.
void onSetIp(const In& in) {
    NetworkSettings& n = in.settings().networkSettings;
    n.mode = in.m.i(1);
    n.ipAddress.assign(in.m.text(2, 16));
    n.subnetMask.assign(in.m.text(6, 16));
    n.gateway.assign(in.m.text(10, 16));
}

void onHwConf(const In& in) {
    const int module = in.m.i(1);
    if (!inRange(module, 1, kModuleCount))
        return;
    DeviceSettings& s = in.settings();
    HwConfRecord& record = s.hwConf[at(module)];
    record.module = module;
    record.present = in.m.i(2);
    record.boardCode.assign(in.m.text(fields::kHwConfFirst));
    record.secondText.assign(in.m.text(fields::kHwConfSecond));
    forward(in.c.dialogs.hwConfiguration, in);

    if (module == kModuleMainBoard) {
        forward(in.c.dialogs.signalInputStatus, in); // noPhd may have changed
    } else if (module == kModuleLast) {
        // The last report of the inventory: every slot record is in by now.
        for (int slot = 1; slot <= kCardSlots; ++slot) {
            const HwConfRecord& hw = s.hwConf[at(kModuleFirstCard + slot - 1)];
            CardRecord& card = s.cards[at(slot)];
            card.cardType =
                hw.present != 0 ? cardTypeFromBoardCode(hw.boardCode.view()) : kCardTypeNone;
            if (card.cardType == kCardTypeAd || card.cardType == kCardTypeAd2)
                card.cardMode = 1;
        }
        forward(in.c.dialogs.signalInputStatus, in);
    }
}

void onSwVer(const In& in) {
    const int module = in.m.i(1);
    if (!inRange(module, 1, kModuleCount))
        return;
    SwVersionRecord& record = in.settings().swVersion[at(module)];
    record.value = module;
    for (int k = 0; k < fields::kSwVerPairs; ++k) {
        record.first[at(k)].assign(in.m.text(fields::swVerFirst(k)));
        record.second[at(k)].assign(in.m.text(fields::swVerSecond(k)));
    }
    forward(in.c.dialogs.hwConfiguration, in);
    if (module == kModuleMainBoard && in.state().receiving)
        in.c.timers.startTimer(kTimerStartPoll, kStageTwoAfterVersionMs);
}

void onOperatingTime(const In& in) { forward(in.c.dialogs.operatingTime, in); }

// ---- clock, sync and rates --------------------------------------------------

template <auto Field>
void storeSettingOrZero(const In& in) {
    in.settings().*Field = valueOrZero(in, 1);
}

void onActualRate(const In& in) {
    in.live().actualRate = valueOrZero(in, 1);
    in.c.host.showSampleRate();
}

bool storePriority(DeviceSettings& s, int source, std::int32_t priority) {
    if (!inRange(source, kSyncSourceFirst, kSyncSourceLast) || !inRange(priority, 0, 31))
        return false;
    s.syncPriority[at(source - kSyncSourceFirst)] = static_cast<std::uint8_t>(priority);
    return true;
}

void onSyncPrio(const In& in) { storePriority(in.settings(), in.m.i(1), in.m.i(2)); }

void onSyncPrioList(const In& in) {
    const std::int32_t count = in.m.i(2);
    if (in.m.i(1) != kSyncSourceFirst || !inRange(count, 1, CResponseDecoder::kSyncPriorityEntries))
        return;
    std::array<std::int32_t, CResponseDecoder::kSyncPriorityEntries> items{};
    if (!in.decoder.copySyncPriorityList(count, items))
        return;
    for (int k = 0; k < count; ++k)
        storePriority(in.settings(), kSyncSourceFirst + k, items[at(k)]);
}

void onSyncStat(const In& in) {
    in.live().syncSource = in.m.i(1);
    in.live().syncState = in.m.i(2);
    in.c.host.showSyncSource();
}

void onMainInputStatus(const In& in) {
    const int index = in.m.i(1);
    if (!inRange(index, 1, kMainInputs))
        return;
    InputStatusPair& pair = in.live().mainInputStatus[at(index)];
    pair.index = index;
    pair.value.assign(in.m.text(2, 4));
    forward(in.c.dialogs.signalInputStatus, in);
}

void onMainInputStatusList(const In& in) {
    auto& table = in.live().mainInputStatus;
    if (in.m.status != 0) {
        table.fill({});
    } else {
        std::array<CResponseDecoder::InputStatusEntry, CResponseDecoder::kInputStatusEntries>
            items{};
        if (!in.decoder.copyInputStatusList(in.m.i(2), items))
            return;
        for (int k = 0; k < kMainInputs; ++k) {
            table[at(k + 1)].index = items[at(k)].channel;
            table[at(k + 1)].value.assign(items[at(k)].view());
        }
    }
    forward(in.c.dialogs.signalInputStatus, in);
}

// ---- power and cooling ------------------------------------------------------

void onPsuConf(const In& in) {
    in.settings().psuConfig = valueOrZero(in, 2);
    in.live().psuConfigReported = in.m.status == 0;
    in.c.host.showPowerAndFans();
    // Asked even after an error: the replies then store 0, shown as not fitted.
    if (in.m.command == CommandId::gpsuconf)
        for (int psu = 1; psu <= 2; ++psu)
            request(in, CommandId::gpsustatus, 2, psu);
}

void onFanConf(const In& in) {
    in.settings().fanConfig = valueOrZero(in, 2);
    in.live().fanConfigReported = in.m.status == 0;
    in.c.host.showPowerAndFans();
    if (in.m.command == CommandId::gfanconf)
        for (int fan = 1; fan <= 3; ++fan)
            if ((in.settings().fanConfig & (1 << (fan - 1))) != 0)
                request(in, CommandId::gfanstatus, 2, fan);
}

void onPsuStatus(const In& in) {
    const int psu = in.m.i(2);
    if (!inRange(psu, 1, 2))
        return;
    in.live().psuStatus[at(psu)] = in.settings().psuConfig != 0 ? in.m.i(1) : 0;
    in.live().psuReported[at(psu)] = true;
    in.c.host.showPowerAndFans();
    if (in.isReply && psu == 2)
        in.c.timers.startTimer(kTimerSettingsReady, kSettingsReadyMs);
}

void onFanStatus(const In& in) {
    const int fan = in.m.i(2);
    if (!inRange(fan, 1, 3))
        return;
    in.live().fanStatus[at(fan)] = in.settings().fanConfig != 0 ? in.m.i(1) : 0;
    in.live().fanReported[at(fan)] = true;
    in.c.host.showPowerAndFans();
}

// ---- main-board interfaces --------------------------------------------------

void onMadiInMode(const In& in) {
    const int port = in.m.i(1);
    if (!inRange(port, 1, 3))
        return;
    MadiInMode& r = in.settings().madiInMode[at(port)];
    r.port = port;
    for (int k = 0; k < 5; ++k)
        r.values[at(k)] = in.m.i(2 + k);
}

void onMadiOutMode(const In& in) {
    const int port = in.m.i(1);
    if (!inRange(port, 1, 3))
        return;
    MadiOutMode& r = in.settings().madiOutMode[at(port)];
    r.port = port;
    for (int k = 0; k < 4; ++k)
        r.modes[at(k)] = in.m.i(2 + k);
    if (port == 3)
        in.c.view.rebuildCrosspointTypeLists();
}

void onMadiDsdMode(const In& in) {
    const int port = in.m.i(1);
    if (inRange(port, 1, 3))
        in.settings().madiOutMode[at(port)].dsdMode = in.m.i(6);
}

void onPhdMode(const In& in) {
    for (int k = 0; k < 3; ++k)
        in.settings().phdMode[at(k)] = in.m.i(1 + k);
}

template <auto Table>
void storePortValue(const In& in) {
    const int port = in.m.i(1);
    if (!inRange(port, 1, 2))
        return;
    PortValue& r = (in.settings().*Table)[at(port)];
    r.port = port;
    r.value = in.m.i(2);
}

void onOptRed(const In& in) {
    auto& red = in.settings().optRedundancy;
    const bool firstChanged = red[0] != in.m.i(1);
    red = {in.m.i(1), in.m.i(2)};
    if (firstChanged)
        in.c.view.rebuildCrosspointTypeLists();
    forward(in.c.dialogs.signalInputStatus, in);
}

void onOptRedSet(const In& in) {
    in.settings().optRedundancy = {valueOrZero(in, 1), valueOrZero(in, 2)};
    forward(in.c.dialogs.signalInputStatus, in);
}

void onOptInactive(const In& in) {
    const int port = in.m.i(1);
    if (!inRange(port, 1, 2))
        return;
    in.live().optInactive[at(port)] = valueOrZero(in, 2);
    forward(in.c.dialogs.signalInputStatus, in);
}

// ---- crosspoints ------------------------------------------------------------

std::string channelText(int channel) {
    return std::to_string(channel) + " (" + channelDisplayName(channel) + ")";
}

std::string routeText(int output, std::int32_t input) {
    if (input <= 0)
        return "output " + channelText(output) + " not connected";
    return "output " + channelText(output) + " fed by input " + channelText(input);
}

void onCross(const In& in) {
    const int output = in.m.i(1);
    if (!inRange(output, 1, in.state().crosspointCount()))
        return;
    if (in.m.status != 0) {
        // A failed read says nothing about the route: the row keeps what it shows.
        if (in.isReply)
            in.c.view.statusMessage("The frame did not report output " + channelText(output) +
                                    " (status " + std::to_string(in.m.status) + ")");
        forward(in.c.dialogs.xyControl, in);
        return;
    }
    std::int32_t& stored = in.live().crosspoints[at(output)];
    const bool changed = stored != in.m.i(2);
    stored = in.m.i(2);
    in.live().crosspointReported[at(output)] = true;
    if (in.isReply) {
        forward(in.c.dialogs.xyControl, in);
        in.c.view.statusMessage("Frame reports " + routeText(output, stored));
        if (!changed)
            return;
    }
    in.c.view.crosspointRowChanged(output);
}

void onCrossSet(const In& in) {
    const int output = in.m.i(1);
    if (!inRange(output, 1, in.state().crosspointCount()))
        return;
    if (in.m.status != 0) {
        // Refused: the frame still routes whatever it routed before, so the
        // list keeps its row until the frame says what that is.
        if (in.isReply) {
            in.c.view.statusMessage("Route refused (status " + std::to_string(in.m.status) +
                                    "): output " + channelText(output) + " from input " +
                                    std::to_string(in.m.i(2)) + "; asking for its route");
            request(in, CommandId::gcross, 1, output);
        }
        return;
    }
    const std::int32_t input = in.m.i(2);
    in.live().crosspoints[at(output)] = input;
    in.live().crosspointReported[at(output)] = true;
    forward(in.c.dialogs.xyControl, in);
    if (in.isReply)
        in.c.view.statusMessage("Route confirmed: " + routeText(output, input));
    in.c.view.crosspointRowChanged(output);
}

void onCrossList(const In& in) {
    const int first = in.m.i(1);
    const int count = in.m.i(2);
    const int total = in.state().crosspointCount();
    if (first < 1 || !inRange(count, 1, CResponseDecoder::kCrosspointEntries) ||
        first + count - 1 > total)
        return;
    std::array<std::int32_t, CResponseDecoder::kCrosspointEntries> items{};
    if (!in.decoder.copyCrosspointList(count, items))
        return;
    for (int k = 0; k < count; ++k) {
        in.live().crosspoints[at(first + k)] = items[at(k)];
        in.live().crosspointReported[at(first + k)] = true;
    }
    if (first + count - 1 == total)
        in.c.view.crosspointListChanged();
}

// ---- channel parameters (kept only while their dialog is open) ---------------

FixedText<17>* labelOf(const In& in, int outputs, int channel) {
    if (!inRange(channel, 1, kLabelChannels))
        return nullptr;
    auto& table = outputs != 0 ? in.settings().outputLabels : in.settings().inputLabels;
    return &table[at(channel)];
}

void onLabel(const In& in) {
    // A label the operator set is kept for the crosspoint lists too; a read
    // label arrives only because the labels dialog asked for it.
    if (in.m.command == CommandId::glabel && in.c.dialogs.channelLabels == nullptr)
        return;
    // A refused read carries no label: the frame's label is unknown, not
    // empty, so neither the state nor the dialog takes it.
    if (in.m.status != 0)
        return;
    FixedText<17>* label = labelOf(in, in.m.i(1), in.m.i(2));
    if (label == nullptr)
        return;
    label->assign(in.m.text(3, 17));
    forward(in.c.dialogs.channelLabels, in);
    // An output's label shows in its crosspoint row; input labels show when
    // the labels dialog closes, rather than redrawing every row per label.
    if (in.m.i(1) != 0)
        in.c.view.crosspointRowChanged(in.m.i(2));
}

void onLabelList(const In& in) {
    const int outputs = in.m.i(1);
    const int first = in.m.i(2);
    const int count = in.m.i(3);
    if (first < 1 || !inRange(count, 1, CResponseDecoder::kLabelEntries) ||
        first + count - 1 > kLabelChannels)
        return;
    std::array<CResponseDecoder::LabelEntry, CResponseDecoder::kLabelEntries> items{};
    if (!in.decoder.copyLabelList(count, items))
        return;
    for (int k = 0; k < count; ++k)
        labelOf(in, outputs, first + k)->assign(items[at(k)].view());
    forward(in.c.dialogs.channelLabels, in);
    if (labelBlockEndsTables(first, count, in.state().crosspointCount()))
        in.c.view.crosspointListChanged(); // the lists show labels beside the channels
}

void onGain(const In& in) {
    if (in.m.i(2) != 0)
        forward(in.c.dialogs.gainSettings, in);
}

void onLevelDetector(const In& in) {
    if (in.m.i(2) != 0)
        forward(in.c.dialogs.levelDetectors, in);
}

void onLevelDetectorList(const In& in) {
    if (inRange(in.m.i(3), 1, CResponseDecoder::kLevelDetectorEntries))
        forward(in.c.dialogs.levelDetectors, in);
}

// ---- cards ------------------------------------------------------------------

CardRecord* cardOf(const In& in) {
    const int slot = in.m.i(1);
    return inRange(slot, 1, kCardSlots) ? &in.settings().cards[at(slot)] : nullptr;
}

// The channel (or port) record named by the second value, up to `last`.
CardChannel* cardChannel(const In& in, int last) {
    CardRecord* card = cardOf(in);
    const int index = in.m.i(2);
    if (card == nullptr || !inRange(index, 1, last))
        return nullptr;
    return &card->channels[at(index)];
}

template <auto Field>
void storeChannelInt(const In& in) {
    if (CardChannel* ch = cardChannel(in, kCardChannels))
        ch->*Field = in.m.i(3);
}

template <auto Field>
void storeChannelDecimal(const In& in) {
    if (CardChannel* ch = cardChannel(in, kCardChannels))
        ch->*Field = in.m.decimal(3);
}

// SDI values per port; the value travels in the fourth slot.
template <auto Field>
void storeSdiPort(const In& in) {
    if (CardChannel* ch = cardChannel(in, 2))
        ch->*Field = in.m.i(4);
}

template <auto Field>
void storeSdiGroup(const In& in) {
    CardChannel* ch = cardChannel(in, 2);
    const int group = in.m.i(3);
    if (ch != nullptr && inRange(group, 1, 4))
        (ch->*Field)[at(group)] = in.m.i(4);
}

void onAdBoardType(const In& in) {
    if (CardRecord* card = cardOf(in))
        card->cardMode = in.m.i(3);
}

void onAdBoardTypeSet(const In& in) {
    if (CardRecord* card = cardOf(in)) {
        card->cardMode = in.m.i(2);
        forward(in.c.dialogs.hwConfiguration, in);
    }
}

template <auto Table>
void storeAdDetection(const In& in) {
    const int slot = in.m.i(1);
    const int channel = in.m.i(2);
    if (!inRange(slot, 1, kCardSlots) || !inRange(channel, 1, kCardChannels))
        return;
    (in.live().*Table)[at(slot)][at(channel)] = in.m.i(3);
    forward(in.c.dialogs.signalInputStatus, in);
}

// The card's one filter is channel 1's. Channels 2..8 are left as they are:
// the frame never reports them, and an operator's choice there must outlive
// the next card poll.
void onDsdFilter(const In& in) {
    if (CardRecord* card = cardOf(in))
        card->channels[1].dsdFilter = in.m.i(3);
}

void onSdiRxStatus(const In& in) {
    const int slot = in.m.i(1);
    const int port = in.m.i(2);
    if (!inRange(slot, 1, kCardSlots) || !inRange(port, 1, 2))
        return;
    auto& entry = in.live().sdiRxStatus[at(2 * slot + port - 3)];
    for (int k = 0; k < 5; ++k)
        entry[at(k)] = in.m.i(1 + k);
    forward(in.c.dialogs.signalInputStatus, in);
}

void onAesInputStatus(const In& in) {
    const int slot = in.m.i(1);
    const int channel = in.m.i(2);
    if (!inRange(slot, 1, kCardSlots) || !inRange(channel, 1, kCardChannels))
        return;
    CardPortStatus& e = in.live().aesInputStatus[at(slot)][at(channel)];
    e.slot = slot;
    e.index = channel;
    e.status.assign(in.m.text(3, 4));
    forward(in.c.dialogs.signalInputStatus, in);
}

void onCardIfMode(const In& in) {
    if (CardRecord* card = cardOf(in)) {
        card->cardMode = in.m.i(2);
        in.c.view.rebuildCrosspointTypeLists();
    }
}

void onCardIfRed(const In& in) {
    if (CardRecord* card = cardOf(in)) {
        card->cardRedundancy = in.m.i(2);
        card->cardRedundancyValue = in.m.i(3);
        forward(in.c.dialogs.signalInputStatus, in);
    }
}

void onCardIfInactive(const In& in) {
    const int slot = in.m.i(1);
    const int port = in.m.i(2);
    if (!inRange(slot, 1, kCardSlots) || !inRange(port, 1, 2))
        return;
    in.live().cardIfInactive[at(slot)][at(port)] = in.m.i(3);
    forward(in.c.dialogs.signalInputStatus, in);
}

void onCardIfStatus(const In& in) {
    const int slot = in.m.i(1);
    const int port = in.m.i(2);
    if (!inRange(slot, 1, kCardSlots) || !inRange(port, 1, 2))
        return;
    CardPortStatus& e = in.live().cardIfStatus[at(slot)][at(port)];
    e.slot = slot;
    e.index = port;
    e.status.assign(in.m.text(3, 4));
    forward(in.c.dialogs.signalInputStatus, in);
}

constexpr int kCardModeMadi = 1;
constexpr int kCardModeHotlink = 2;

// A card MADI port record, only for a card that works as MADI.
CardChannel* madiPort(const In& in) {
    CardRecord* card = cardOf(in);
    if (card == nullptr || card->cardMode != kCardModeMadi)
        return nullptr;
    return cardChannel(in, 2);
}

void onCardMadiInMode(const In& in) {
    if (CardChannel* p = madiPort(in))
        p->madiInMode = in.m.i(3);
}

void onCardMadiOutMode(const In& in) {
    if (CardChannel* p = madiPort(in))
        p->madiOutMode = {in.m.i(5), in.m.i(6), in.m.i(7)};
}

void onCardMadiDsdMode(const In& in) {
    if (CardChannel* p = madiPort(in))
        p->madiDsdMode = in.m.i(8);
}

void onCardMadiRxSrc(const In& in) {
    if (CardChannel* p = madiPort(in))
        p->madiRxSourceEnable = in.m.i(4);
}

void onCardMadiRxSrcSet(const In& in) {
    // The edited value is already the current one; a refusal means the frame
    // does not convert, so the stored enable is cleared.
    if (in.m.status == 0)
        return;
    if (CardChannel* p = madiPort(in))
        p->madiRxSourceEnable = 0;
}

template <auto Field>
void storeCardHotlink(const In& in) {
    CardRecord* card = cardOf(in);
    if (card != nullptr && card->cardMode == kCardModeHotlink)
        card->*Field = in.m.i(2);
}

// ---- IP audio module --------------------------------------------------------

template <auto Record>
void storeBkAddress(const In& in) {
    IpAudioAddress& r = in.settings().ipAudio.*Record;
    r = IpAudioAddress{};
    if (in.m.status != 0)
        return;
    r.mode = in.m.i(1);
    r.ipAddress.assign(in.m.text(2, 16));
    r.subnetMask.assign(in.m.text(6, 16));
    r.gateway.assign(in.m.text(10, 16));
    r.dns.assign(in.m.text(14, 16));
    r.macAddress.assign(in.m.text(18, 13));
}

void onBkName(const In& in) {
    FixedText<32>& name = in.settings().ipAudio.moduleName;
    if (in.m.status != 0)
        name.clear();
    else
        name.assign(in.m.text(1, 32));
}

void onBkLock(const In& in) { in.live().bkLock = valueOrZero(in, 1); }

void onBkDomain(const In& in) {
    for (int k = 0; k < 3; ++k)
        in.live().bkDomain[at(k)] = valueOrZero(in, 1 + k);
}

template <auto Field>
void storeIpAudioOrZero(const In& in) {
    in.settings().ipAudio.*Field = valueOrZero(in, 1);
}

// The value behind the module name: an error reply carries 0 there.
void onPrefMaster(const In& in) { in.settings().ipAudio.preferredMaster = in.m.i(9); }
void onMaxLatency(const In& in) { in.live().maxLatency = in.m.i(9); }

void onPrefMasterSet(const In& in) { in.settings().ipAudio.preferredMaster = valueOrZero(in, 9); }

void onUnicastClock(const In& in) {
    in.settings().ipAudio.unicastClock = valueOrZero(in, 1);
    forward(in.c.dialogs.manualIpRouting, in);
}

void onUnicastClockState(const In& in) {
    if (!in.isReply)
        forward(in.c.dialogs.manualIpRouting, in);
}

void onAutoRoute(const In& in) {
    in.settings().ipAudio.autoRouting = valueOrZero(in, 1);
    forward(in.c.dialogs.autoIpRouting, in);
}

template <auto Field>
void storeIpAudioP9(const In& in) {
    in.settings().ipAudio.*Field = valueOrZero(in, 9);
    forward(in.c.dialogs.autoIpRouting, in);
}

void onPerform(const In& in) {
    // A refusal reaches the open dialog, which says so; the stored values stay.
    if (in.m.status != 0) {
        forward(in.c.dialogs.autoIpRouting, in);
        return;
    }
    in.settings().ipAudio.latency = in.m.i(9);
    in.settings().ipAudio.frameSize = in.m.i(10);
    forward(in.c.dialogs.autoIpRouting, in);
}

void onCrossIp(const In& in) { forward(in.c.dialogs.autoIpRouting, in); }

void onTxFlow(const In& in) {
    const int flow = in.m.i(1);
    if (!inRange(flow, 1, kFlowCount))
        return;
    TxFlow& r = in.live().txFlows[at(flow)];
    r = TxFlow{};
    if (in.m.command != CommandId::scrtxflow || in.m.i(2) >= 1) {
        r.flow = flow;
        r.channels = in.m.i(2);
        r.name.assign(in.m.text(3, 16));
        r.extra = in.m.i(7);
    }
    forward(in.c.dialogs.manualIpRouting, in);
    if (in.m.i(2) == 0)
        in.c.view.ipFlowListChanged(true);
}

void onRxFlow(const In& in) {
    const int flow = in.m.i(1);
    if (!inRange(flow, 1, kFlowCount))
        return;
    RxFlow& r = in.live().rxFlows[at(flow)];
    const bool setForm = in.m.command == CommandId::scrrxflow;
    if (setForm && in.m.i(2) < 1)
        r = RxFlow{};
    else
        r = {flow, in.m.i(2), in.m.i(3), in.m.i(4)};
    // The set form too: the open dialog lists (or drops) the flow it just
    // created or deleted, as it does for Tx flows.
    forward(in.c.dialogs.manualIpRouting, in);
    if (in.m.i(2) == 0)
        in.c.view.ipFlowListChanged(false);
}

template <bool Outputs>
void onFlowSlot(const In& in) {
    const int flow = in.m.i(1);
    const int slot = in.m.i(2);
    if (!inRange(flow, 1, kFlowCount) || !inRange(slot, 0, kFlowSlots - 1))
        return;
    auto& table = Outputs ? in.live().txFlowSlots : in.live().rxFlowSlots;
    table[at(flow)][at(slot)] = {flow, slot, in.m.i(3)};
    forward(in.c.dialogs.manualIpRouting, in);
    in.c.view.ipFlowListChanged(Outputs);
}

void onRxPortRange(const In& in) {
    in.live().rxPortRange = {valueOrZero(in, 1), valueOrZero(in, 2)};
}

void onPpm(const In& in) { forward(in.c.dialogs.ppmStreams, in); }

void onPpmIdList(const In& in) {
    for (const std::uint32_t id : in.decoder.ppmIdList()) {
        if (id == 0)
            continue;
        DeviceMessage m = DeviceMessage::request(CommandId::gppminfo);
        m.setU(1, id);
        in.c.host.sendRequest(m);
    }
}

// ---- control panel unit -----------------------------------------------------

void onPanel(const In& in) { forward(in.c.dialogs.controlPanelUnit, in); }

template <int Last>
void onPanelIndexed(const In& in) {
    // A refusal may not echo the index; the dialog only reports it.
    if (in.m.status != 0 || inRange(in.m.i(1), 1, Last))
        forward(in.c.dialogs.controlPanelUnit, in);
}

// ---- maintenance ------------------------------------------------------------

// The transfer judges error replies itself, so it hears every one.
void onProgram(const In& in) { forward(in.c.dialogs.firmwareUpdate, in); }

// A refusal leaves the record as it was; the HW configuration dialog hears of
// it all the same, so the card it changed stops showing the refused text.
void onBoardInfo(const In& in) {
    const int position = in.m.i(2);
    if (in.m.status == 0 && in.m.i(1) == 2 && inRange(position, 0, kCardSlots - 1)) {
        HwConfRecord& hw = in.settings().hwConf[at(kModuleFirstCard + position)];
        if (hw.present != 0) {
            hw.boardCode.assign(in.m.text(fields::kBoardInfoFirst));
            hw.secondText.assign(in.m.text(fields::kBoardInfoSecond));
        }
    }
    forward(in.c.dialogs.hwConfiguration, in);
}

// ---- the table --------------------------------------------------------------

struct Row {
    CommandId command;
    OnError onError;
    Handler handler;
};

using C = CommandId;
constexpr OnError I = OnError::Ignore;
constexpr OnError H = OnError::Handle;

constexpr Row kRows[] = {
    // identity and inventory
    {C::gdevinfo, I, onDevInfo},
    {C::sdevinfo, I, onDevInfo},
    {C::gdevid, I, onDevId},
    {C::sdevid, I, onDevId},
    {C::gip, I, onIp},
    {C::sip, I, onSetIp},
    {C::ghwconf, I, onHwConf},
    {C::gswver, I, onSwVer},
    {C::gtotopertime, H, onOperatingTime},
    {C::gcuropertime, H, onOperatingTime},
    // clock, sync and rates
    {C::gsystemdelay, H, storeSettingOrZero<&DeviceSettings::systemDelay>},
    {C::galivetime, H, storeSettingOrZero<&DeviceSettings::aliveTime>},
    {C::ggenrate, H, storeSettingOrZero<&DeviceSettings::genRate>},
    {C::sgenrate, H, storeSettingOrZero<&DeviceSettings::genRate>},
    {C::gactrate, H, onActualRate},
    {C::grateadptsrc, H, storeSettingOrZero<&DeviceSettings::rateAdaptSource>},
    {C::srateadptsrc, H, storeSettingOrZero<&DeviceSettings::rateAdaptSource>},
    {C::gwclkout, H, storeSettingOrZero<&DeviceSettings::wordClockOut>},
    {C::swclkout, H, storeSettingOrZero<&DeviceSettings::wordClockOut>},
    {C::gaeschstat, H, storeSettingOrZero<&DeviceSettings::aesChannelStatus>},
    {C::saeschstat, H, storeSettingOrZero<&DeviceSettings::aesChannelStatus>},
    {C::gsyncprio, I, onSyncPrio},
    {C::lsyncprio, I, onSyncPrioList},
    {C::gsyncstat, I, onSyncStat},
    {C::gsyncterm, H, storeSettingOrZero<&DeviceSettings::syncTerm>},
    {C::gmaininpstatus, H, onMainInputStatus},
    {C::lmaininpstatus, H, onMainInputStatusList},
    // power and cooling
    {C::gpsuconf, H, onPsuConf},
    {C::spsuconf, H, onPsuConf},
    {C::gfanconf, H, onFanConf},
    {C::sfanconf, H, onFanConf},
    {C::gpsustatus, I, onPsuStatus},
    {C::gfanstatus, I, onFanStatus},
    // main-board interfaces
    {C::gmadiinmode, I, onMadiInMode},
    {C::gmadioutmode, I, onMadiOutMode},
    {C::gmadidsdmode, I, onMadiDsdMode},
    {C::gphdmode, I, onPhdMode},
    {C::goptmode, I, storePortValue<&DeviceSettings::optMode>},
    {C::goptred, I, onOptRed},
    {C::soptred, H, onOptRedSet},
    {C::goptinact, H, onOptInactive},
    {C::ghlinkinmode, I, storePortValue<&DeviceSettings::hotlinkInMode>},
    {C::ghlinkoutmode, I, storePortValue<&DeviceSettings::hotlinkOutMode>},
    // crosspoints
    {C::gcross, H, onCross},
    {C::scross, H, onCrossSet},
    {C::lcross, I, onCrossList},
    // channel parameters
    {C::glabel, H, onLabel},
    {C::slabel, I, onLabel},
    {C::llabel, I, onLabelList},
    {C::ggain, H, onGain},
    {C::sgain, I, onGain},
    {C::glevdetthres, I, onLevelDetector},
    {C::slevdetthres, I, onLevelDetector},
    {C::glevdetstate, I, onLevelDetector},
    {C::slevdetstate, I, onLevelDetector},
    {C::glevdetstatus, I, onLevelDetector},
    {C::llevdetstate, I, onLevelDetectorList},
    {C::llevdetstatus, I, onLevelDetectorList},
    // cards
    {C::gadbrdtype, I, onAdBoardType},
    {C::sadbrdtype, I, onAdBoardTypeSet},
    {C::gadinpmode, I, storeChannelInt<&CardChannel::inputMode>},
    {C::gadmute, I, storeChannelInt<&CardChannel::adMute>},
    {C::gadphanpow, I, storeChannelInt<&CardChannel::phantomPower>},
    {C::gadphase, I, storeChannelInt<&CardChannel::phase>},
    {C::gadmiclevel, I, storeChannelDecimal<&CardChannel::micLevel>},
    {C::gadlinelevel, I, storeChannelDecimal<&CardChannel::lineLevel>},
    {C::gadsigdet, I, storeAdDetection<&LiveStatus::adSignal>},
    {C::gadovldet, I, storeAdDetection<&LiveStatus::adOverload>},
    {C::gdaoutlevel, I, storeChannelDecimal<&CardChannel::outputLevel>},
    {C::gdamute, I, storeChannelInt<&CardChannel::daMute>},
    {C::gdadsdfilter, I, onDsdFilter},
    {C::gembena, I, storeSdiPort<&CardChannel::embedderEnable>},
    {C::gtxsrcrate, I, storeSdiPort<&CardChannel::txSourceRate>},
    {C::gembmode, I, storeSdiGroup<&CardChannel::embedMode>},
    {C::grxsrcena, I, storeSdiGroup<&CardChannel::rxSourceEnable>},
    {C::gsdirxstat, H, onSdiRxStatus},
    {C::gaesrxsrcena, I, storeChannelInt<&CardChannel::aesRxSourceEnable>},
    {C::gaesinpstatus, I, onAesInputStatus},
    {C::gcifmode, I, onCardIfMode},
    {C::scifmode, I, onCardIfMode},
    {C::gcifred, I, onCardIfRed},
    {C::scifred, I, onCardIfRed},
    {C::gcifinact, I, onCardIfInactive},
    {C::gcmadiinmode, I, onCardMadiInMode},
    {C::gcmadioutmode, I, onCardMadiOutMode},
    {C::gcmadidsdmode, I, onCardMadiDsdMode},
    {C::gcmadirxsrcena, I, onCardMadiRxSrc},
    {C::scmadirxsrcena, H, onCardMadiRxSrcSet},
    {C::gchlinkinmode, I, storeCardHotlink<&CardRecord::hotlinkInMode>},
    {C::gchlinkoutmode, I, storeCardHotlink<&CardRecord::hotlinkOutMode>},
    {C::gcifstatus, I, onCardIfStatus},
    // IP audio module
    {C::gbkip, H, storeBkAddress<&IpAudioSettings::primary>},
    {C::gbksecip, H, storeBkAddress<&IpAudioSettings::secondary>},
    {C::gbkname, H, onBkName},
    {C::gbklock, H, onBkLock},
    {C::gbkdomain, H, onBkDomain},
    {C::gswmodeip, H, storeIpAudioOrZero<&IpAudioSettings::switchMode>},
    {C::sswmodeip, H, storeIpAudioOrZero<&IpAudioSettings::switchMode>},
    {C::gsrenaip, H, storeIpAudioOrZero<&IpAudioSettings::sampleRateEnable>},
    {C::ssrenaip, H, storeIpAudioOrZero<&IpAudioSettings::sampleRateEnable>},
    {C::suniclkip, H, storeIpAudioOrZero<&IpAudioSettings::unicastClock>},
    {C::sprefmastip, H, onPrefMasterSet},
    {C::gprefmastip, H, onPrefMaster},
    {C::gmaxlatencyip, H, onMaxLatency},
    {C::guniclkip, H, onUnicastClock},
    {C::guniclkstip, I, onUnicastClockState},
    {C::gautorouteip, H, onAutoRoute},
    {C::sautorouteip, H, onAutoRoute},
    {C::gframeip, H, storeIpAudioP9<&IpAudioSettings::frameSize>},
    {C::glatencyip, H, storeIpAudioP9<&IpAudioSettings::latency>},
    {C::sperformip, H, onPerform},
    {C::gcrossip, I, onCrossIp},
    {C::scrossip, H, onCrossIp},
    {C::gcrtxflow, I, onTxFlow},
    {C::scrtxflow, H, onTxFlow},
    {C::gcrrxflow, I, onRxFlow},
    {C::scrrxflow, H, onRxFlow},
    {C::gtxflowslot, I, onFlowSlot<true>},
    {C::stxflowslot, H, onFlowSlot<true>},
    {C::grxflowslot, I, onFlowSlot<false>},
    {C::srxflowslot, H, onFlowSlot<false>},
    {C::grxportrng, H, onRxPortRange},
    {C::gppmchn, I, onPpm},
    {C::sppmchn, H, onPpm},
    {C::gppmextchn, I, onPpm},
    {C::sppmextchn, H, onPpm},
    {C::gppmenable, I, onPpm},
    {C::sppmenable, H, onPpm},
    {C::gppminfo, I, onPpm},
    {C::sppmcreate, H, onPpm},
    {C::sppmdelete, H, onPpm},
    {C::lppmid, I, onPpmIdList},
    // control panel unit
    // (a refused set reaches the dialog too, so it can say so)
    {C::gmaster, I, onPanel},
    {C::smaster, H, onPanel},
    {C::grotcount, I, onPanel},
    {C::gkeymode, I, onPanelIndexed<12>},
    {C::skeymode, H, onPanelIndexed<12>},
    {C::gkeystate, I, onPanelIndexed<12>},
    {C::skeystate, H, onPanelIndexed<12>},
    {C::gledstate, I, onPanelIndexed<11>},
    {C::sledstate, H, onPanelIndexed<11>},
    {C::gringledstate, I, onPanelIndexed<32>},
    {C::sringledstate, H, onPanelIndexed<32>},
    {C::sledint, H, onPanelIndexed<3>},
    {C::gledint, I, onPanelIndexed<3>},
    // maintenance
    {C::sprog, H, onProgram},
    {C::sboardinfo, H, onBoardInfo},
};

struct Slot {
    OnError onError = OnError::NoRow;
    Handler handler = nullptr;
};

constexpr std::array<Slot, kCommandCount> buildTable() {
    std::array<Slot, kCommandCount> table{};
    for (const Row& row : kRows)
        table[at(toIndex(row.command))] = {row.onError, row.handler};
    return table;
}

constexpr std::array<Slot, kCommandCount> kTable = buildTable();

} // namespace

bool labelBlockEndsTables(int first, int count, int channelCount) {
    return first + count == channelCount + 1;
}

OnError dispatchErrorRule(CommandId command) {
    const int index = toIndex(command);
    return (index >= 0 && index < kCommandCount) ? kTable[at(index)].onError : OnError::NoRow;
}

void dispatch(DispatchContext& context, const DeviceMessage& message, bool isReply,
              const CResponseDecoder& decoder) {
    const int index = toIndex(message.command);
    if (index < 0 || index >= kCommandCount)
        return; // InvalidReply
    // A long run of set requests counts every answer, refusals included.
    if (isReply)
        forward(context.dialogs.requestRun, In{context, message, isReply, decoder});
    const Slot& slot = kTable[at(index)];
    if (slot.handler == nullptr)
        return;
    if (message.status != 0 && slot.onError == OnError::Ignore)
        return;
    slot.handler(In{context, message, isReply, decoder});
}

} // namespace velmar
