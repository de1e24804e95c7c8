#include "FrameModel.h"

#include "ReplyWriter.h"
#include "protocol/ArgumentLayout.h"
#include "protocol/CommandTable.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace velmar::framesim {

namespace {

using C = CommandId;

// Upper bound placeholder: the frame's crosspoint count.
constexpr std::int32_t kXpc = -1;

enum class Needs : std::uint8_t { Nothing, Sfp, IpModule, Card };

constexpr std::uint16_t cardBit(int type) { return static_cast<std::uint16_t>(1u << type); }
constexpr std::uint16_t kSdi = cardBit(1);
constexpr std::uint16_t kAd = cardBit(2) | cardBit(6);
constexpr std::uint16_t kDa = cardBit(3);
constexpr std::uint16_t kAes = cardBit(4);
constexpr std::uint16_t kMadi = cardBit(5);
constexpr std::uint16_t kEq = cardBit(7);

struct Bound {
    std::uint8_t slot = 0; // 0: unused
    std::int32_t lo = 0;
    std::int32_t hi = 0;
};

// The addressing values a get command (and the set commands that change its
// state) accepts, and the hardware it needs. A request outside them gets a
// non-zero status.
struct Addressing {
    CommandId get;
    Needs needs;
    std::uint16_t cards; // card types allowed in slot p1 when needs is Card
    std::array<Bound, 3> bounds;
};

constexpr Bound b(int slot, std::int32_t lo, std::int32_t hi) {
    return {static_cast<std::uint8_t>(slot), lo, hi};
}
constexpr Addressing plain(CommandId id, Bound b1 = {}, Bound b2 = {}, Bound b3 = {}) {
    return {id, Needs::Nothing, 0, {b1, b2, b3}};
}
constexpr Addressing needs(Needs n, CommandId id, Bound b1 = {}, Bound b2 = {}) {
    return {id, n, 0, {b1, b2, {}}};
}
constexpr Addressing onCard(std::uint16_t cards, CommandId id, Bound b2 = {}, Bound b3 = {}) {
    return {id, Needs::Card, cards, {b(1, 1, 8), b2, b3}};
}

constexpr Addressing kAddressing[] = {
    plain(C::ghwconf, b(1, 1, 20)),
    plain(C::gswver, b(1, 1, 20)),
    plain(C::gmaininpstatus, b(1, 1, kMainInputs)),
    plain(C::gmaininprate, b(1, 1, kMainInputs)),
    plain(C::gsyncprio, b(1, 2, 18)),
    plain(C::gmadiinmode, b(1, 1, 3)),
    plain(C::gmadioutmode, b(1, 1, 3)),
    plain(C::gmadidsdmode, b(1, 1, 3)),
    plain(C::gmadiinchan, b(1, 1, 3)),
    needs(Needs::Sfp, C::goptmode, b(1, 1, 2)),
    needs(Needs::Sfp, C::goptinact, b(1, 1, 2)),
    needs(Needs::Sfp, C::goptred),
    needs(Needs::Sfp, C::ghlinkinmode, b(1, 1, 2)),
    needs(Needs::Sfp, C::ghlinkoutmode, b(1, 1, 2)),
    plain(C::gpsustatus, b(2, 1, kPsuUnits)),
    plain(C::gfanstatus, b(2, 1, kFanUnits)),
    // p2 is the input a "scross" routes (0: none); a get leaves it 0.
    plain(C::gcross, b(1, 1, kXpc), b(2, 0, kXpc)),
    needs(Needs::IpModule, C::gcrossip, b(1, 1, 64)),
    plain(C::glabel, b(1, 0, 1), b(2, 1, 2048)),
    plain(C::ggain, b(1, 0, 1), b(2, 1, kXpc)),
    plain(C::gsumcross, b(1, 1, 32)),
    needs(Needs::IpModule, C::gbkip),
    needs(Needs::IpModule, C::gbkname),
    needs(Needs::IpModule, C::gbklock),
    needs(Needs::IpModule, C::gbkdomain),
    needs(Needs::IpModule, C::gswmodeip),
    needs(Needs::IpModule, C::gbksecip),
    needs(Needs::IpModule, C::gsrenaip),
    needs(Needs::IpModule, C::guniclkip),
    needs(Needs::IpModule, C::guniclkstip),
    needs(Needs::IpModule, C::gmaxlatencyip),
    needs(Needs::IpModule, C::gprefmastip),
    needs(Needs::IpModule, C::gautorouteip),
    needs(Needs::IpModule, C::gframeip),
    needs(Needs::IpModule, C::glatencyip),
    needs(Needs::IpModule, C::gcrtxflow, b(1, 1, 32)),
    needs(Needs::IpModule, C::gcrrxflow, b(1, 1, 32)),
    needs(Needs::IpModule, C::gtxflowslot, b(1, 1, 32), b(2, 0, 7)),
    needs(Needs::IpModule, C::grxflowslot, b(1, 1, 32), b(2, 0, 7)),
    needs(Needs::IpModule, C::grxportrng),
    plain(C::glevdetthres, b(1, 0, 1), b(2, 1, kXpc)),
    plain(C::glevdetstate, b(1, 0, 1), b(2, 1, kXpc)),
    plain(C::glevdetstatus, b(1, 0, 1), b(2, 1, kXpc)),
    plain(C::gppmchn, b(2, 1, 255)),
    plain(C::gppmextchn, b(2, 1, 255)),
    onCard(kAd, C::gadbrdtype),
    onCard(kAd, C::gadinpmode, b(2, 1, 8)),
    onCard(kAd, C::gadmiclevel, b(2, 1, 8)),
    onCard(kAd, C::gadlinelevel, b(2, 1, 8)),
    onCard(kAd, C::gadmute, b(2, 1, 8)),
    onCard(kAd, C::gadphanpow, b(2, 1, 8)),
    onCard(kAd, C::gadphase, b(2, 1, 8)),
    onCard(kAd, C::gadsigdet, b(2, 1, 8)),
    onCard(kAd, C::gadovldet, b(2, 1, 8)),
    onCard(kDa, C::gdaoutlevel, b(2, 1, 8)),
    onCard(kDa, C::gdamute, b(2, 1, 8)),
    onCard(kDa, C::gdadsdfilter),
    onCard(kDa, C::gdasigdet, b(2, 1, 8)),
    onCard(kDa, C::gdaovldet, b(2, 1, 8)),
    onCard(kDa, C::gdacardet, b(2, 1, 8)),
    onCard(kSdi, C::gembena, b(2, 1, 2)),
    onCard(kSdi, C::gtxsrcrate, b(2, 1, 2)),
    onCard(kSdi, C::gembmode, b(2, 1, 2), b(3, 1, 4)),
    onCard(kSdi, C::grxsrcena, b(2, 1, 2), b(3, 1, 4)),
    onCard(kSdi, C::gsdirxstat, b(2, 1, 2)),
    onCard(kSdi, C::gsdirxaudstat, b(2, 1, 2), b(3, 1, 4)),
    onCard(kSdi, C::gsdirxaudrate, b(2, 1, 2), b(3, 1, 4)),
    onCard(kAes, C::gaesrxsrcena, b(2, 1, 8)),
    onCard(kAes, C::gaesinpstatus, b(2, 1, 8)),
    onCard(kAes, C::gaesinprate, b(2, 1, 8)),
    onCard(kMadi, C::gcifmode),
    onCard(kMadi, C::gcifred),
    onCard(kMadi, C::gcifinact, b(2, 1, 2)),
    onCard(kMadi, C::gcmadiinmode, b(2, 1, 2)),
    onCard(kMadi, C::gcmadioutmode, b(2, 1, 2)),
    onCard(kMadi, C::gcmadidsdmode, b(2, 1, 2)),
    onCard(kMadi, C::gcmadirxsrcena, b(2, 1, 2)),
    onCard(kMadi, C::gchlinkinmode),
    onCard(kMadi, C::gchlinkoutmode),
    onCard(kMadi, C::gcifstatus, b(2, 1, 2)),
    onCard(kMadi, C::gcifrate, b(2, 1, 2)),
    onCard(kMadi, C::gcifinchan, b(2, 1, 2)),
    onCard(kEq, C::gccross, b(2, 1, 128)),
    onCard(kEq, C::gcbiquad, b(2, 1, 64), b(3, 1, 8)),
    onCard(kEq, C::gcsumcross, b(2, 1, 64)),
    onCard(kEq, C::gcdelay, b(2, 1, 128)),
    plain(C::gkeymode, b(1, 1, 12)),
    plain(C::gkeystate, b(1, 1, 12)),
    plain(C::gledstate, b(1, 1, 11)),
    plain(C::gringledstate, b(1, 1, 32)),
};

const Addressing* addressingOf(CommandId get) {
    for (const Addressing& a : kAddressing)
        if (a.get == get)
            return &a;
    return nullptr;
}

// List requests: how many leading arguments stay fixed (direction, slot ...),
// then the first index and the count; the get command whose value each item
// carries. "Each" lists are answered with their echo and then one get reply
// per item, the others with one line holding all items.
struct ListRule {
    CommandId list;
    CommandId get;
    int fixed;
    int maxCount;
    bool each;
};

constexpr ListRule kListRules[] = {
    {C::lcross, C::gcross, 0, 128, false},
    {C::lsyncprio, C::gsyncprio, 0, 17, false},
    {C::lmaininpstatus, C::gmaininpstatus, 0, 14, false},
    {C::lmaininprate, C::gmaininprate, 0, 14, false},
    {C::llabel, C::glabel, 1, 32, false},
    {C::llevdetstate, C::glevdetstate, 1, 128, false},
    {C::llevdetstatus, C::glevdetstatus, 1, 128, false},
    {C::lccross, C::gccross, 1, 128, false},
    {C::lcdelay, C::gcdelay, 1, 128, false},
    {C::lgain, C::ggain, 1, 2048, true},
    {C::lsumcross, C::gsumcross, 0, 32, true},
    {C::lcsumcross, C::gcsumcross, 1, 64, true},
    {C::lcbiquad, C::gcbiquad, 2, 8, true},
};

const ListRule* listRuleOf(CommandId id) {
    for (const ListRule& r : kListRules)
        if (r.list == id)
            return &r;
    return nullptr;
}

// Commands a frame in recovery mode still answers.
constexpr CommandId kMaintenance[] = {
    C::aliverequest, C::error,    C::sprog,     C::srestart, C::sclear,
    C::sloadboot,    C::sloadapp, C::sidentify, C::gdevinfo, C::gdevid,
    C::gip,          C::sip,      C::ghwconf,   C::gswver,   C::sboardinfo,
};

bool isPpm(CommandId id) {
    switch (id) {
    case C::gppmid:
    case C::gppmchn:
    case C::gppmextchn:
    case C::gppmenable:
    case C::gppminfo:
    case C::sppmcreate:
    case C::sppmdelete:
    case C::sppmchn:
    case C::sppmextchn:
    case C::sppmenable:
    case C::lppmid: return true;
    default: return false;
    }
}

std::size_t bytesOf(const ArgSpec& arg) {
    switch (arg.kind) {
    case ValueKind::Text:
    case ValueKind::Raw: return arg.capacity;
    case ValueKind::Decimal: return 8;
    default: return 4;
    }
}

void copyArgument(DeviceMessage& to, const DeviceMessage& from, const ArgSpec& arg) {
    const std::size_t n = std::min(bytesOf(arg), to.payload.size() - arg.offset);
    std::memcpy(to.payload.data() + arg.offset, from.payload.data() + arg.offset, n);
}

DeviceMessage addressed(std::initializer_list<std::int32_t> values) {
    DeviceMessage m;
    int slot = 1;
    for (std::int32_t v : values)
        m.setI(slot++, v);
    return m;
}

std::string formatItem(const DeviceMessage& value, const ArgSpec& arg) {
    switch (arg.kind) {
    case ValueKind::Int: return std::to_string(value.i(arg.slot()));
    case ValueKind::Unsigned: return std::to_string(value.u(arg.slot()));
    case ValueKind::Decimal: return formatDecimal(value.decimal(arg.slot()));
    case ValueKind::Text: return quoted(value.text(TextField{arg.offset, arg.capacity}));
    case ValueKind::Raw: {
        const std::string_view t = value.text(TextField{arg.offset, arg.capacity});
        return t.empty() ? std::string("-") : std::string(t);
    }
    }
    return {};
}

void setIp(DeviceMessage& m, const NetworkSettings& n, int firstText) {
    m.setI(1, n.mode);
    m.setText(firstText, 16, n.address);
    m.setText(firstText + 4, 16, n.mask);
    m.setText(firstText + 8, 16, n.gateway);
}

// Values a set request carries that a frame checks before taking them: the
// argument in `slot` must lie in [lo, hi]. Addressing (ports, sources) is
// checked by the get partner's Addressing row.
struct ValueRule {
    CommandId set;
    std::uint8_t slot;
    std::int32_t lo;
    std::int32_t hi;
};

constexpr ValueRule kValueRules[] = {
    {C::salivetime, 1, 0, 300},  {C::ssystemdelay, 1, 0, 64}, {C::sgenrate, 1, 1, 10},
    {C::srateadptsrc, 1, 1, 18}, {C::swclkout, 1, 0, 1},      {C::sdevid, 1, 0, 99},
    {C::sip, 1, 0, 1},           {C::saeschstat, 1, 0, 1},    {C::ssyncprio, 2, 0, 31},
    {C::ssyncterm, 1, 0, 1},     {C::smadiinmode, 2, 0, 1},   {C::smadioutmode, 3, 0, 1},
    {C::smadioutmode, 4, 0, 1},  {C::smadioutmode, 5, 0, 1},  {C::smadidsdmode, 6, 0, 1},
    {C::sphdmode, 1, 0, 1},      {C::sphdmode, 2, 0, 3},      {C::sphdmode, 3, 0, 3},
    {C::soptmode, 2, 0, 2},      {C::soptred, 1, 0, 1},       {C::soptred, 2, 0, 2},
    {C::shlinkinmode, 2, 0, 1},  {C::shlinkoutmode, 2, 0, 1}, {C::sbkip, 1, 0, 1},
    {C::sbksecip, 1, 0, 1},      {C::sswmodeip, 1, 0, 1},     {C::ssrenaip, 1, 0, 1},
    {C::sprefmastip, 9, 0, 1},   {C::smaster, 1, 0, 1},       {C::skeymode, 2, 1, 4},
    {C::skeymode, 3, 0, 65535},  {C::skeystate, 2, 0, 65535}, {C::sledstate, 2, 0, 1},
    {C::sringledstate, 2, 0, 3}, {C::sledint, 1, 1, 3},
    // bit sets: PSU 1 and 2, FAN 1 to 3
    {C::spsuconf, 2, 0, 3},      {C::sfanconf, 2, 0, 7},
};

// Set requests whose texts are network addresses, and the slots they start at.
struct AddressTexts {
    CommandId set;
    std::array<std::uint8_t, 4> slots;
};

constexpr AddressTexts kAddressTexts[] = {
    {C::sip, {2, 6, 10, 0}},
    {C::sbkip, {2, 6, 10, 14}},
    {C::sbksecip, {2, 6, 10, 14}},
};

// Settings of the IP audio module that a locked module, or one managed by a
// domain, does not take from this side.
constexpr CommandId kIpModuleSettings[] = {
    C::sbkname, C::sbkip, C::sbksecip, C::sswmodeip, C::ssrenaip, C::sprefmastip, C::sperformip,
};

// Get commands that address the IP audio module (or another device) by name.
bool isNamed(CommandId get) {
    return get == C::gmaxlatencyip || get == C::gprefmastip || get == C::gframeip ||
           get == C::glatencyip;
}

bool isDottedQuad(std::string_view text) {
    int parts = 0;
    while (true) {
        std::size_t digits = 0;
        int value = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
            value = value * 10 + (text[digits] - '0');
            if (++digits > 3)
                return false;
        }
        if (digits == 0 || value > 255)
            return false;
        text.remove_prefix(digits);
        if (++parts == 4)
            return text.empty();
        if (text.empty() || text.front() != '.')
            return false;
        text.remove_prefix(1);
    }
}

} // namespace

CommandId getPartnerOf(CommandId set) {
    const std::string_view keyword = keywordOf(set);
    if (keyword.size() < 2 || keyword.front() != 's')
        return C::InvalidReply;
    std::string partner(keyword);
    partner.front() = 'g';
    return commandOf(partner);
}

CFrameModel::CFrameModel(FrameProfile profile) : m_profile(std::move(profile)) {}

void CFrameModel::reset() {
    m_values.clear();
    m_ppmStreams.clear();
}

bool CFrameModel::isOwnName(std::string_view name) const {
    // The module answers to its own name, to "localhost", and to no name at
    // all (asked before its name is known).
    if (name.empty() || name == "localhost")
        return true;
    const auto it = m_values.find({C::gbkname, {}});
    const std::string_view own =
        it != m_values.end() ? it->second.text(1, 32) : std::string_view(m_profile.ipName);
    return name == own;
}

CFrameModel::Key CFrameModel::keyOf(CommandId get, const DeviceMessage& address) const {
    std::string key;
    const auto args = layoutOf(get).request.all();
    // A routing request names the channel and its first text; only the channel
    // addresses the value.
    const std::size_t count = get == C::gcrossip ? 1 : args.size();
    if (isNamed(get) && isOwnName(address.text(1, 32)))
        return {get, std::string("\x1e")}; // the module itself, whatever it is called
    for (std::size_t k = 0; k < count && k < args.size(); ++k) {
        key += formatItem(address, args[k]);
        key += '\x1f';
    }
    return {get, key};
}

DeviceMessage CFrameModel::defaultValue(CommandId get, const DeviceMessage& address) const {
    const FrameProfile& p = m_profile;
    DeviceMessage v;
    v.command = get;
    // The addressing values come back in every reply.
    for (const ArgSpec& arg : layoutOf(get).request.all())
        copyArgument(v, address, arg);
    if (get == C::gcrossip)
        v.clear(4, 32 * 3 + 32);

    const int i1 = address.i(1);
    const int i2 = address.i(2);
    switch (get) {
    case C::gcross: {
        const auto it = p.crosspoints.find(address.i(1));
        v.setI(2, it == p.crosspoints.end() ? 0 : it->second);
        break;
    }
    case C::gdevinfo:
        v.setText(1, 7, p.model);
        v.setI(3, p.modelNumber);
        v.setText(4, 17, p.serial);
        break;
    case C::gdevid:
        v.setI(1, p.id);
        v.setText(2, 17, p.name);
        break;
    case C::gip:
        setIp(v, p.network, 2);
        v.setText(14, 13, p.mac);
        break;
    case C::ghwconf: {
        const ModuleRecord& m = p.modules[static_cast<std::size_t>(i1)];
        v.setI(2, m.present);
        v.setText(fields::kHwConfFirst, m.boardText);
        v.setText(fields::kHwConfSecond, m.serialText);
        break;
    }
    case C::gswver: {
        const ModuleRecord& m = p.modules[static_cast<std::size_t>(i1)];
        if (!m.version.empty()) {
            v.setText(fields::swVerFirst(0), m.versionLabel);
            v.setText(fields::swVerSecond(0), m.version);
        }
        break;
    }
    case C::gtotopertime:
        v.setI(1, 1234);
        v.setI(2, 56);
        v.setI(3, 7);
        break;
    case C::gcuropertime:
        v.setI(1, 2);
        v.setI(2, 15);
        v.setI(3, 30);
        break;
    case C::galivetime: v.setI(1, p.aliveIntervalMs / 1000); break;
    case C::ggenrate: v.setI(1, p.genRate); break;
    case C::gactrate: v.setI(1, p.sampleRate); break;
    case C::gsyncstat:
        v.setI(1, p.syncSource);
        v.setI(2, p.syncState);
        break; // source, then state
    case C::gsyncprio: v.setI(2, p.syncPriority[static_cast<std::size_t>(i1)]); break;
    case C::gmaininpstatus: v.setText(2, 4, p.inputStatus[static_cast<std::size_t>(i1)]); break;
    case C::gmaininprate: v.setI(2, p.sampleRate); break;
    case C::gsystemdelay: v.setI(1, p.systemDelay); break;
    case C::grateadptsrc: v.setI(1, p.rateAdaptSource); break;
    case C::gwclkout: v.setI(1, p.wordClockOut); break;
    case C::gsyncterm: v.setI(1, p.syncTerm); break;
    case C::gaeschstat: v.setI(1, p.aesChannelStatus); break;
    case C::gmadiinmode:
    case C::gmadioutmode:
    case C::gmadidsdmode: {
        if (i1 < 1 || i1 > 3)
            break;
        const MadiPort& port = p.madi[static_cast<std::size_t>(i1)];
        if (get == C::gmadiinmode)
            v.setI(2, port.inMode);
        else if (get == C::gmadidsdmode)
            v.setI(6, port.dsdMode);
        else
            for (int k = 0; k < 3; ++k)
                v.setI(3 + k, port.outModes[static_cast<std::size_t>(k)]);
        break;
    }
    case C::gphdmode:
        for (int k = 0; k < 3; ++k)
            v.setI(1 + k, p.phdMode[static_cast<std::size_t>(k)]);
        break;
    case C::goptmode:
        if (i1 >= 1 && i1 <= 2)
            v.setI(2, p.optMode[static_cast<std::size_t>(i1)]);
        break;
    case C::goptred:
        v.setI(1, p.optRedundancy[0]);
        v.setI(2, p.optRedundancy[1]);
        break;
    case C::ghlinkinmode:
    case C::ghlinkoutmode:
        if (i1 >= 1 && i1 <= 2)
            v.setI(2, p.hotlink[static_cast<std::size_t>(i1)][get == C::ghlinkinmode ? 0 : 1]);
        break;
    case C::gpsuconf: v.setI(2, p.psuConfig); break;
    case C::gfanconf: v.setI(2, p.fanConfig); break;
    // A unit that is not fitted (as last configured) reports nothing.
    case C::gpsustatus:
        v.setI(1, (current(C::gpsuconf, {}).i(2) >> (i2 - 1)) & 1
                      ? p.psuStatus[static_cast<std::size_t>(i2)]
                      : 0);
        break;
    case C::gfanstatus:
        v.setI(1, (current(C::gfanconf, {}).i(2) >> (i2 - 1)) & 1
                      ? p.fanStatus[static_cast<std::size_t>(i2)]
                      : 0);
        break;
    case C::gtempstatus: v.setI(1, p.temperature); break;
    case C::gbkip:
        setIp(v, p.ipPrimary, 2);
        v.setText(14, 16, p.ipPrimary.dns);
        v.setText(18, 13, p.ipMac);
        break;
    case C::gbksecip:
        setIp(v, p.ipSecondary, 2);
        v.setText(14, 16, p.ipSecondary.dns);
        v.setText(18, 13, p.ipSecondaryMac);
        break;
    case C::gbkname: v.setText(1, 32, p.ipName); break;
    case C::gbklock: v.setI(1, p.ipLock); break;
    case C::gbkdomain: v.setI(3, p.ipDomainState); break;
    case C::gprefmastip: v.setI(9, p.ipPreferredMaster); break;
    case C::gswmodeip: v.setI(1, p.ipSwitchMode); break;
    case C::gsrenaip: v.setI(1, p.ipSampleRateEnable); break;
    case C::guniclkip: v.setI(1, p.ipUnicastClock); break;
    case C::guniclkstip:
        v.setI(1, p.ipUnicastClockState);
        v.setText(2, 32, p.ipUnicastClockText);
        break;
    case C::gmaxlatencyip: v.setI(9, p.ipMaxLatency); break;
    case C::glatencyip: v.setI(9, p.ipLatency); break;
    case C::gframeip: v.setI(9, p.ipFrameSize); break;
    case C::grxportrng:
        v.setI(1, p.ipRxPortFirst);
        v.setI(2, p.ipRxPortLast);
        break;
    case C::gautorouteip: v.setI(1, p.ipAutoRouting); break;
    case C::gadbrdtype: v.setI(3, 1); break;
    case C::gcifmode: v.setI(2, 1); break;
    case C::gmaster: v.setI(1, p.panel.master); break;
    case C::gledint: v.setI(1, p.panel.ledIntensity); break;
    case C::grotcount: v.setI(1, p.panel.rotaryCount); break;
    case C::gkeymode:
    case C::gkeystate:
        if (i1 >= 1 && i1 <= kPanelKeys) {
            const auto& key = p.panel.keys[static_cast<std::size_t>(i1)];
            if (get == C::gkeymode) {
                v.setI(2, key[0]);
                v.setI(3, key[1]);
            } else {
                v.setI(2, key[2]);
            }
        }
        break;
    case C::gledstate:
        if (i1 >= 1 && i1 <= kPanelKeyLeds)
            v.setI(2, p.panel.leds[static_cast<std::size_t>(i1)]);
        break;
    case C::gringledstate:
        if (i1 >= 1 && i1 <= kPanelRingLeds)
            v.setI(2, p.panel.ringLeds[static_cast<std::size_t>(i1)]);
        break;
    default: break;
    }
    return v;
}

DeviceMessage CFrameModel::current(CommandId get, const DeviceMessage& address) const {
    const auto it = m_values.find(keyOf(get, address));
    DeviceMessage v = it != m_values.end() ? it->second : defaultValue(get, address);
    if (isNamed(get))
        v.setText(1, 32, address.text(1, 32)); // answered under the name it was asked by
    v.command = get;
    v.status = 0;
    v.tag = 0;
    v.flags = FlagReply;
    return v;
}

void CFrameModel::store(CommandId get, const DeviceMessage& value) {
    DeviceMessage v = value;
    v.command = get;
    m_values[keyOf(get, value)] = v;
}

std::string CFrameModel::messageLine(CommandId get, const DeviceMessage& address) const {
    DeviceMessage v = current(get, address);
    v.flags = 0;
    return writeFrameLine('!', v);
}

std::int32_t CFrameModel::checkAddress(CommandId get, const DeviceMessage& request) const {
    const Addressing* a = addressingOf(get);
    if (a == nullptr)
        return 0;
    switch (a->needs) {
    case Needs::Nothing: break;
    case Needs::Sfp:
        if (!m_profile.modules[kSfpModule].present)
            return kStatusOutOfRange;
        break;
    case Needs::IpModule:
        if (!m_profile.modules[kIpModule].present)
            return kStatusOutOfRange;
        break;
    case Needs::Card: {
        const int type = m_profile.cardType(request.i(1));
        if ((a->cards & cardBit(type)) == 0 || type == 0)
            return kStatusOutOfRange;
        break;
    }
    }
    for (const Bound& bound : a->bounds) {
        if (bound.slot == 0)
            continue;
        const std::int32_t hi = bound.hi == kXpc ? m_profile.crosspointCount() : bound.hi;
        const std::int32_t value = request.i(bound.slot);
        if (value < bound.lo || value > hi)
            return kStatusOutOfRange;
    }
    return 0;
}

bool CFrameModel::ipModuleLocked() const {
    const int domainState = current(C::gbkdomain, {}).i(3);
    return current(C::gbklock, {}).i(1) != 0 || domainState == 1 || domainState == 2;
}

std::int32_t CFrameModel::checkValues(const DeviceMessage& request) const {
    const CommandId id = request.command;
    for (const ValueRule& rule : kValueRules) {
        if (rule.set != id)
            continue;
        const std::int32_t value = request.i(rule.slot);
        if (value < rule.lo || value > rule.hi)
            return kStatusOutOfRange;
    }
    for (const AddressTexts& texts : kAddressTexts) {
        if (texts.set != id)
            continue;
        for (const std::uint8_t slot : texts.slots)
            if (slot != 0 && !isDottedQuad(request.text(slot, 16)))
                return kStatusOutOfRange;
    }
    switch (id) {
    case C::srateadptsrc: {
        // Word clock (2) and video (4) only synchronise; PHD needs the PHD ports.
        const std::int32_t source = request.i(1);
        if (source == 2 || source == 4 || ((source == 13 || source == 14) && !m_profile.hasPhd()))
            return kStatusOutOfRange;
        break;
    }
    case C::sphdmode:
        if (!m_profile.hasPhd())
            return kStatusOutOfRange;
        break;
    case C::smadiinmode:
    case C::smadioutmode:
    case C::smadidsdmode:
        // MADI ports 2 and 3 are the SFP module's.
        if (request.i(1) >= 2 && !m_profile.modules[kSfpModule].present)
            return kStatusOutOfRange;
        break;
    case C::sbkname:
        if (request.text(1, 32).empty())
            return kStatusOutOfRange;
        break;
    default: break;
    }
    if (std::find(std::begin(kIpModuleSettings), std::end(kIpModuleSettings), id) !=
            std::end(kIpModuleSettings) &&
        ipModuleLocked())
        return kStatusNotInThisMode;
    return 0;
}

std::string CFrameModel::reply(const DeviceMessage& m, std::span<const std::string> items) const {
    DeviceMessage r = m;
    if (faults().dropTags)
        r.tag = 0;
    if (r.status == 0)
        misanswer(r);
    return writeFrameLine(':', r, items);
}

void CFrameModel::misanswer(DeviceMessage& r) const {
    const FaultPlan& f = faults();
    const bool list = r.command == C::llabel; // kind, first channel, count
    if (f.otherId.count(r.command) != 0) {
        const int field = list ? 2 : 1;
        r.setI(field, r.i(field) + (list ? r.i(3) : 1));
    }
    if (f.negativeCount.count(r.command) != 0) {
        const bool slots =
            r.command == C::gcrtxflow || r.command == C::gcrrxflow || r.command == C::gppminfo;
        r.setI(list ? 3 : slots ? 2 : 1, -1);
    }
    if (f.labelAnswer && r.command == C::slabel)
        r.setText(3, 17, *f.labelAnswer);
}

std::string CFrameModel::strayReply(const DeviceMessage& request) const {
    DeviceMessage stray = errorReply(request, kStatusOutOfRange);
    stray.tag = 0;
    return writeFrameLine(':', stray);
}

DeviceMessage CFrameModel::errorReply(const DeviceMessage& request, std::int32_t status) const {
    DeviceMessage r = request;
    r.flags = FlagReply;
    r.status = status;
    return r;
}

Outcome CFrameModel::handle(const DeviceMessage& request, std::string_view programText) {
    Outcome out;
    const CommandId id = request.command;
    if (!request.isRequest()) {
        // The answer to our own alive request; anything else a client says
        // without asking is ignored, as a frame does.
        out.aliveAnswer = id == C::aliverequest && request.isReply();
        return out;
    }
    if (id == C::InvalidReply) {
        DeviceMessage e;
        e.command = C::error;
        e.status = kStatusUnknown;
        e.tag = request.tag;
        out.replies.push_back(reply(e));
        return out;
    }
    if (id == C::aliverequest) {
        DeviceMessage r = request;
        r.flags = FlagReply | FlagAlive;
        out.replies.push_back(reply(r));
        return out;
    }
    if (m_profile.runMode == 0 &&
        std::find(std::begin(kMaintenance), std::end(kMaintenance), id) == std::end(kMaintenance)) {
        out.replies.push_back(reply(errorReply(request, kStatusNotInThisMode)));
        return out;
    }
    if (const auto refused = faults().refused.find(id); refused != faults().refused.end()) {
        out.replies.push_back(reply(errorReply(request, refused->second)));
        return out;
    }

    if (isPpm(id))
        return handlePpm(request);
    if (listRuleOf(id) != nullptr) {
        Outcome out = handleList(request);
        if (id == C::llabel && faults().unaskedLabels) {
            // A reply line no request asked for, naming a channel of the block.
            DeviceMessage unasked;
            unasked.flags = FlagReply;
            unasked.command = C::slabel;
            unasked.setI(1, request.i(1));
            unasked.setI(2, request.i(2));
            unasked.setText(3, 17, FaultPlan::kUnaskedLabel);
            out.replies.push_back(writeFrameLine(':', unasked));
        }
        return out;
    }
    switch (id) {
    case C::sprog:
    case C::srestart:
    case C::sclear:
    case C::sloadboot:
    case C::sloadapp:
    case C::sidentify:
    case C::scmd:
    case C::error: return handleService(request, programText);
    case C::sboardinfo: return handleBoardInfo(request);
    case C::sperformip: return handlePerform(request);
    case C::scrtxflow:
    case C::scrrxflow: return handleFlow(request);
    case C::stxflowslot:
    case C::srxflowslot: return handleFlowSlot(request);
    case C::scrossip: return handleRoute(request);
    default: break;
    }
    const std::string_view keyword = keywordOf(id);
    if (keyword.front() == 'g')
        return handleGet(request);
    return handleSet(request, getPartnerOf(id));
}

Outcome CFrameModel::handleGet(const DeviceMessage& request) {
    Outcome out;
    if (const std::int32_t status = checkAddress(request.command, request); status != 0) {
        out.replies.push_back(reply(errorReply(request, status)));
        return out;
    }
    DeviceMessage v = current(request.command, request);
    v.tag = request.tag;
    out.replies.push_back(reply(v));
    return out;
}

Outcome CFrameModel::handleSet(const DeviceMessage& request, CommandId get) {
    Outcome out;
    const CommandId id = request.command;
    if (get != C::InvalidReply) {
        std::int32_t status = checkAddress(get, request);
        if (status == 0)
            status = checkValues(request);
        if (status != 0) {
            out.replies.push_back(reply(errorReply(request, status)));
            return out;
        }
        DeviceMessage v = current(get, request);
        if (id == C::sadbrdtype) {
            // The board type goes out as a number in the get reply.
            v.setI(3, request.i(2));
        } else {
            for (const ArgSpec& arg : layoutOf(id).request.all())
                copyArgument(v, request, arg);
        }
        store(get, v);
        out.announcements.push_back(messageLine(get, request));
    }
    DeviceMessage r = request;
    r.flags = FlagReply;
    r.status = 0;
    out.replies.push_back(reply(r));
    return out;
}

Outcome CFrameModel::handleList(const DeviceMessage& request) {
    Outcome out;
    const ListRule& rule = *listRuleOf(request.command);
    const int indexSlot = rule.fixed + 1;
    const std::int32_t first = request.i(indexSlot);
    const std::int32_t count = request.i(indexSlot + 1);

    const auto addressOf = [&](std::int32_t index) {
        DeviceMessage a;
        for (int s = 1; s <= rule.fixed; ++s)
            a.setI(s, request.i(s));
        a.setI(indexSlot, index);
        return a;
    };
    std::int32_t status = count < 1 || count > rule.maxCount ? kStatusOutOfRange : 0;
    if (status == 0)
        status = checkAddress(rule.get, addressOf(first));
    if (status == 0)
        status = checkAddress(rule.get, addressOf(first + count - 1));
    if (status != 0) {
        out.replies.push_back(reply(errorReply(request, status)));
        return out;
    }

    DeviceMessage echo = request;
    echo.flags = FlagReply;
    echo.status = 0;
    if (rule.each) {
        // The list request only starts the transfer; every item follows as the
        // get command's own reply.
        out.replies.push_back(reply(echo));
        for (std::int32_t k = 0; k < count; ++k)
            out.replies.push_back(reply(current(rule.get, addressOf(first + k))));
        return out;
    }
    const auto replyArgs = layoutOf(rule.get).reply.all();
    const ArgSpec& valueArg = replyArgs.back();
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(count));
    for (std::int32_t k = 0; k < count; ++k)
        items.push_back(formatItem(current(rule.get, addressOf(first + k)), valueArg));
    out.replies.push_back(reply(echo, items));
    return out;
}

Outcome CFrameModel::handleService(const DeviceMessage& request, std::string_view programText) {
    Outcome out;
    DeviceMessage r = request;
    r.flags = FlagReply;
    r.status = 0;
    switch (request.command) {
    case C::sprog: {
        const int phase = request.i(1);
        if (phase == 0) {
            m_records.clear();
            m_transfers.emplace_back();
            if (m_transfers.size() > kMaxKeptTransfers)
                m_transfers.erase(m_transfers.begin());
            m_programming = true;
            m_programCompleted = false;
        } else if (phase == 1 && m_programming) {
            m_records.emplace_back(programText);
            m_transfers.back().emplace_back(programText);
            const int number = static_cast<int>(m_records.size());
            const int failAt = faults().failProgramAtRecord;
            if (failAt > 0 && number == failAt) {
                r.status = kStatusProgramming;
                m_programming = false;
            }
            if (faults().silentProgramAtRecord == number)
                return out; // kept, and never acknowledged
            if (faults().duplicateProgramAtRecord == number)
                out.replies.push_back(reply(r)); // and once more below
        } else if (phase == 2 && m_programming) {
            m_programming = false;
            m_programCompleted = true;
        } else {
            r.status = kStatusProgramming;
        }
        break;
    }
    case C::sclear: reset(); break;
    case C::srestart:
    case C::sloadboot:
    case C::sloadapp: out.closeLink = true; break;
    default: break; // sidentify, scmd, error: acknowledged as they came
    }
    out.replies.push_back(reply(r));
    return out;
}

Outcome CFrameModel::handleBoardInfo(const DeviceMessage& request) {
    Outcome out;
    DeviceMessage r = request;
    r.flags = FlagReply;
    r.status = 0;
    if (request.i(1) == 2) {
        const int position = request.i(2);
        const int module = kFirstSlotModule + position;
        if (position < 0 || position >= kSlotCount ||
            !m_profile.modules[static_cast<std::size_t>(module)].present) {
            r.status = kStatusOutOfRange;
        } else {
            DeviceMessage v = current(C::ghwconf, addressed({module}));
            v.setText(fields::kHwConfFirst, request.text(fields::kBoardInfoFirst));
            v.setText(fields::kHwConfSecond, request.text(fields::kBoardInfoSecond));
            store(C::ghwconf, v);
        }
    }
    out.replies.push_back(reply(r));
    return out;
}

Outcome CFrameModel::handlePerform(const DeviceMessage& request) {
    // One request sets frame size and latency of a named device.
    // The latency must lie between 250 us and the module's maximum, and the
    // packet size code be one the module knows.
    Outcome out;
    std::int32_t status = m_profile.modules[kIpModule].present ? 0 : kStatusOutOfRange;
    if (status == 0)
        status = checkValues(request);
    const std::int32_t frameSize = request.i(10);
    const std::int32_t latencyUs = request.i(9);
    const std::int32_t maxLatency = current(C::gmaxlatencyip, request).i(9);
    if (status == 0 && (latencyUs < 250 || latencyUs > std::max(maxLatency, 250) ||
                        (frameSize != 4 && frameSize != 8 && frameSize != 16 && frameSize != 32)))
        status = kStatusOutOfRange;
    if (status != 0) {
        out.replies.push_back(reply(errorReply(request, status)));
        return out;
    }
    DeviceMessage frame = current(C::gframeip, request);
    frame.setI(9, frameSize);
    store(C::gframeip, frame);
    DeviceMessage latency = current(C::glatencyip, request);
    latency.setI(9, latencyUs);
    store(C::glatencyip, latency);
    out.announcements.push_back(messageLine(C::gframeip, request));
    out.announcements.push_back(messageLine(C::glatencyip, request));
    DeviceMessage r = request;
    r.flags = FlagReply;
    out.replies.push_back(reply(r));
    return out;
}

Outcome CFrameModel::refuse(const DeviceMessage& request, std::int32_t status) const {
    Outcome out;
    out.replies.push_back(reply(errorReply(request, status)));
    return out;
}

// Why the module would not make the flow a "scrtxflow"/"scrrxflow" with
// slots asks for, or 0.
std::int32_t CFrameModel::flowProblem(const DeviceMessage& request) const {
    const bool tx = request.command == C::scrtxflow;
    const CommandId get = tx ? C::gcrtxflow : C::gcrrxflow;
    const std::int32_t id = request.i(1);
    const std::int32_t port = tx ? request.i(7) : request.i(3);
    if (request.i(2) > 8 || port < 1 || port > 65535)
        return kStatusOutOfRange;
    if (tx && !isDottedQuad(request.text(3, 16)))
        return kStatusOutOfRange;
    if (!tx) {
        const DeviceMessage range = current(C::grxportrng, {});
        if (port < range.i(1) || port > range.i(2))
            return kStatusOutOfRange;
        if (request.i(4) < 0 || request.i(4) > current(C::gmaxlatencyip, {}).i(9))
            return kStatusOutOfRange;
    }
    for (std::int32_t other = 1; other <= 32; ++other) {
        const DeviceMessage flow = current(get, addressed({other}));
        if (flow.i(2) <= 0)
            continue;
        if (other == id || (tx ? flow.i(7) : flow.i(3)) == port)
            return kStatusInUse;
    }
    return 0;
}

// A flow is made once and deleted with 0 slots; a deleted flow forgets its slots.
Outcome CFrameModel::handleFlow(const DeviceMessage& request) {
    const bool tx = request.command == C::scrtxflow;
    const CommandId get = tx ? C::gcrtxflow : C::gcrrxflow;
    const CommandId slotGet = tx ? C::gtxflowslot : C::grxflowslot;
    std::int32_t status = checkAddress(get, request);
    if (status == 0 && request.i(2) > 0)
        status = flowProblem(request);
    if (status != 0)
        return refuse(request, status);
    if (request.i(2) > 0)
        return handleSet(request, get);

    Outcome out;
    m_values.erase(keyOf(get, request));
    for (std::int32_t slot = 0; slot < 8; ++slot)
        m_values.erase(keyOf(slotGet, addressed({request.i(1), slot})));
    out.announcements.push_back(messageLine(get, request));
    DeviceMessage r = request;
    r.flags = FlagReply;
    r.status = 0;
    out.replies.push_back(reply(r));
    return out;
}

Outcome CFrameModel::handleFlowSlot(const DeviceMessage& request) {
    const bool tx = request.command == C::stxflowslot;
    const DeviceMessage flow = current(tx ? C::gcrtxflow : C::gcrrxflow, addressed({request.i(1)}));
    const std::int32_t channel = request.i(3);
    if (request.i(2) >= flow.i(2) || channel < 0 || channel > m_profile.crosspointCount())
        return refuse(request, kStatusOutOfRange);
    return handleSet(request, tx ? C::gtxflowslot : C::grxflowslot);
}

// Routes are the module's own business only while automatic routing is on.
// The source channel travels as two digits; an empty one removes the route.
Outcome CFrameModel::handleRoute(const DeviceMessage& request) {
    if (const std::int32_t status = checkAddress(C::gcrossip, request); status != 0)
        return refuse(request, status);
    if (current(C::gautorouteip, {}).i(1) == 0)
        return refuse(request, kStatusNotInThisMode);
    const std::string_view source = request.text(10, 32);
    if (!source.empty()) {
        const bool digits = source.size() == 2 && source[0] >= '0' && source[0] <= '9' &&
                            source[1] >= '0' && source[1] <= '9';
        const int channel = digits ? (source[0] - '0') * 10 + (source[1] - '0') : 0;
        if (channel < 1 || channel > 64 || request.text(18, 32).empty())
            return refuse(request, kStatusOutOfRange);
    }
    return handleSet(request, C::gcrossip);
}

Outcome CFrameModel::handlePpm(const DeviceMessage& request) {
    Outcome out;
    const CommandId id = request.command;
    const std::uint32_t stream = request.u(1);
    const bool exists = m_ppmStreams.count(stream) != 0;
    const auto fail = [&](std::int32_t status) {
        out.replies.push_back(reply(errorReply(request, status)));
        return out;
    };
    if (!m_profile.modules[kIpModule].present)
        return fail(kStatusOutOfRange);

    switch (id) {
    case C::gppmid: {
        // The next free stream id.
        std::uint32_t next = 1;
        while (m_ppmStreams.count(next) != 0)
            ++next;
        DeviceMessage r = request;
        r.flags = FlagReply;
        r.setU(1, next);
        out.replies.push_back(reply(r));
        return out;
    }
    case C::lppmid: {
        std::vector<std::string> items;
        for (const auto& [streamId, info] : m_ppmStreams)
            if (items.size() < 32)
                items.push_back(std::to_string(streamId));
        DeviceMessage r = request;
        r.flags = FlagReply;
        out.replies.push_back(reply(r, items));
        return out;
    }
    case C::sppmcreate: {
        if (stream == 0 || exists || m_ppmStreams.size() >= 32 || request.i(2) < 1 ||
            request.i(2) > 255)
            return fail(kStatusOutOfRange);
        for (const auto& [other, info] : m_ppmStreams)
            if (info.i(5) == request.i(5))
                return fail(kStatusInUse); // one stream per port
        DeviceMessage info = request;
        info.command = C::gppminfo;
        m_ppmStreams[stream] = info;
        DeviceMessage r = request;
        r.flags = FlagReply;
        out.replies.push_back(reply(r));
        return out;
    }
    case C::gppminfo: {
        if (!exists)
            return fail(kStatusOutOfRange);
        DeviceMessage r = m_ppmStreams[stream];
        r.setI(10, current(C::gppmenable, request).i(2)); // as switched since
        r.command = C::gppminfo;
        r.flags = FlagReply;
        r.status = 0;
        r.tag = request.tag;
        out.replies.push_back(reply(r));
        return out;
    }
    case C::sppmdelete: {
        if (!exists)
            return fail(kStatusOutOfRange);
        m_ppmStreams.erase(stream);
        for (auto it = m_values.begin(); it != m_values.end();) {
            const bool ofStream =
                (it->first.first == C::gppmchn || it->first.first == C::gppmextchn ||
                 it->first.first == C::gppmenable) &&
                it->second.u(1) == stream;
            it = ofStream ? m_values.erase(it) : std::next(it);
        }
        DeviceMessage r = request;
        r.flags = FlagReply;
        out.replies.push_back(reply(r));
        return out;
    }
    default:
        if (!exists)
            return fail(kStatusOutOfRange);
        if (id == C::sppmchn || id == C::sppmextchn) {
            // Only the stream's own slots, and channels of one bank.
            const std::int32_t slot = request.i(2);
            if (slot < 1 || slot > m_ppmStreams[stream].i(2) || request.i(3) < 0 ||
                request.i(3) > 2048)
                return fail(kStatusOutOfRange);
        }
        if (id == C::sppmextchn || id == C::gppmextchn) {
            // One slot table: the extended form reads and writes it in two
            // banks of 2048 channels.
            if (const std::int32_t status = checkAddress(C::gppmchn, request); status != 0)
                return fail(status);
            DeviceMessage v = current(C::gppmchn, request);
            DeviceMessage r = request;
            r.flags = FlagReply;
            r.status = 0;
            if (id == C::sppmextchn) {
                v.setI(3, request.i(3) + (request.u(4) != 0 ? 2048 : 0));
                store(C::gppmchn, v);
                out.announcements.push_back(messageLine(C::gppmchn, request));
            } else {
                const std::int32_t channel = v.i(3);
                r.setI(3, channel > 2048 ? channel - 2048 : channel);
                r.setI(4, channel > 2048 ? 1 : 0);
            }
            out.replies.push_back(reply(r));
            return out;
        }
        return keywordOf(id).front() == 'g' ? handleGet(request)
                                            : handleSet(request, getPartnerOf(id));
    }
}

std::string CFrameModel::setSyncStatus(int state, int source) {
    DeviceMessage v = current(C::gsyncstat, {});
    v.setI(1, source);
    v.setI(2, state);
    store(C::gsyncstat, v);
    return messageLine(C::gsyncstat, {});
}

std::string CFrameModel::setInputStatus(int input, std::string_view text) {
    const DeviceMessage a = addressed({input});
    DeviceMessage v = current(C::gmaininpstatus, a);
    v.setText(2, 4, text);
    store(C::gmaininpstatus, v);
    return messageLine(C::gmaininpstatus, a);
}

namespace {

// One input whose status the frame can announce: the get command that reports
// it and its address.
struct AnnouncedInput {
    CommandId get;
    int first;
    int second;
};

std::vector<AnnouncedInput> announcedInputs(const FrameProfile& p) {
    std::vector<AnnouncedInput> inputs;
    for (int input = 1; input <= kMainInputs; ++input)
        if (p.hasPhd() || (input != 9 && input != 10))
            inputs.push_back({C::gmaininpstatus, input, 0});
    if (p.family() != 0)
        return inputs; // only 460 frames hold cards
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const int type = p.cardType(slot);
        const auto add = [&](CommandId get, int count) {
            for (int k = 1; k <= count; ++k)
                inputs.push_back({get, slot, k});
        };
        if (type == 1)
            add(C::gsdirxstat, 2);
        else if (type == 2 || type == 6)
            add(C::gadsigdet, type == 2 ? 8 : 2);
        else if (type == 4)
            add(C::gaesinpstatus, 8);
        else if (type == 5)
            add(C::gcifstatus, 2);
    }
    return inputs;
}

} // namespace

std::string CFrameModel::announceInputChange() {
    const std::vector<AnnouncedInput> inputs = announcedInputs(m_profile);
    const AnnouncedInput in = inputs[m_inputTurn++ % inputs.size()];
    const DeviceMessage a =
        in.get == C::gmaininpstatus ? addressed({in.first}) : addressed({in.first, in.second});
    DeviceMessage v = current(in.get, a);
    switch (in.get) {
    case C::gmaininpstatus:
        v.setText(2, 4, v.text(2, 4) == kInputGood ? kInputFaulty : kInputGood);
        break;
    case C::gsdirxstat: { // locked, format, frame rate: HD SDI at 25 Hz, or lost
        const bool lock = v.i(3) == 0;
        v.setI(3, lock ? 1 : 0);
        v.setI(4, lock ? 2 : 0);
        v.setI(5, lock ? 2 : 0);
        break;
    }
    case C::gadsigdet: v.setI(3, v.i(3) == 0 ? 1 : 0); break;
    default: // AES and MADI cards: a status text after the slot and input
        v.setText(3, 4, v.text(3, 4) == kInputGood ? kInputFaulty : kInputGood);
        break;
    }
    store(in.get, v);
    return messageLine(in.get, a);
}

std::string CFrameModel::setPsuStatus(int unit, int status) {
    const DeviceMessage a = addressed({0, unit});
    DeviceMessage v = current(C::gpsustatus, a);
    v.setI(1, status);
    store(C::gpsustatus, v);
    return messageLine(C::gpsustatus, a);
}

std::string CFrameModel::setFanStatus(int unit, int status) {
    const DeviceMessage a = addressed({0, unit});
    DeviceMessage v = current(C::gfanstatus, a);
    v.setI(1, status);
    store(C::gfanstatus, v);
    return messageLine(C::gfanstatus, a);
}

std::string CFrameModel::setUnicastClockStatus(int state, std::string_view text) {
    DeviceMessage v = current(C::guniclkstip, {});
    v.setI(1, state);
    v.setText(2, 32, text);
    store(C::guniclkstip, v);
    return messageLine(C::guniclkstip, {});
}

int CFrameModel::crosspoint(int output) const {
    return current(C::gcross, addressed({output})).i(2);
}

std::string CFrameModel::label(int direction, int channel) const {
    return std::string(current(C::glabel, addressed({direction, channel})).text(3, 17));
}

int CFrameModel::deviceId() const { return current(C::gdevid, {}).i(1); }

std::string CFrameModel::deviceName() const {
    return std::string(current(C::gdevid, {}).text(2, 17));
}

std::string CFrameModel::serialNumber() const {
    return std::string(current(C::gdevinfo, {}).text(4, 17));
}

NetworkSettings CFrameModel::network() const {
    const DeviceMessage v = current(C::gip, {});
    return {v.i(1), std::string(v.text(2, 16)), std::string(v.text(6, 16)),
            std::string(v.text(10, 16)), "0.0.0.0"};
}

void CFrameModel::setNetwork(const NetworkSettings& n) {
    DeviceMessage v = current(C::gip, {});
    setIp(v, n, 2);
    store(C::gip, v);
}

std::string CFrameModel::searchReply(char prefix) const {
    const DeviceMessage info = current(C::gdevinfo, {});
    std::string line;
    line += prefix;
    line += "edev,0,";
    line += std::to_string(m_profile.runMode);
    line += ',' + std::to_string(deviceId());
    line += ",'" + deviceName() + "','" + std::string(info.text(1, 7)) + "',x,'" + serialNumber() +
            "'\r";
    return line;
}

} // namespace velmar::framesim
