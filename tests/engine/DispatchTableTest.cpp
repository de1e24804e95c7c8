// Every row of the dispatch, one reply each: the state must change in exactly
// the fields the row names and nowhere else, and the row's dialog must hear it.
#include "EngineFakes.h"
#include "engine/Dispatch.h"

#include <array>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {
namespace {

using test::FakeDialog;
using test::FakeTimerHost;
using test::FakeView;
using test::lineOf;

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

using S = DeviceState&;
using Edit = void (*)(S);

// clang-format off
enum Dlg : int { None, OpTime, Xy, ManualIp, AutoIp, Firmware, Inputs, Labels, Gain, Ppm, Level, HwConf, Panel, kDialogs };
// clang-format on

struct Row {
    const char* line;
    Edit expect; // applied to the state before, gives the state after
    Dlg dialog = None;
    int requests = 0;
};

constexpr Edit kSame = [](S) {};

DecimalValue dec(bool negative, int whole, int hundredths) {
    return {negative, static_cast<std::int16_t>(whole), static_cast<std::int16_t>(hundredths)};
}

// One reply per dispatch row. Values differ from the base state and from each
// other, so a value stored into a neighbouring field shows as a mismatch.
// clang-format off
const std::vector<Row>& rows() {
    static const std::vector<Row> kRows = {
        // identity and inventory
        {":gdevinfo,0,'X9',5,'SN-1'", [](S s) { s.settings.deviceModel.assign("X9"); s.settings.deviceModelNumber = 5; s.settings.serialNumber.assign("SN-1"); s.family = kFamily460; }, Inputs},
        {":sdevinfo,0,'RB16',6,'SN-2'", [](S s) { s.settings.deviceModel.assign("RB16"); s.settings.deviceModelNumber = 6; s.settings.serialNumber.assign("SN-2"); }},
        {":gdevid,0,4,'Stage'", [](S s) { s.settings.deviceId = 4; s.settings.deviceName.assign("Stage"); s.deviceTitleName = "Stage"; }},
        {":sdevid,0,5,'Booth'", [](S s) { s.settings.deviceId = 5; s.settings.deviceName.assign("Booth"); s.deviceTitleName = "Booth"; }},
        {":gip,0,1,'10.0.0.9','255.0.0.0','10.0.0.1','0011AABBCCDD'", [](S s) { auto& n = s.settings.networkSettings; n.mode = 1; n.ipAddress.assign("10.0.0.9"); n.subnetMask.assign("255.0.0.0"); n.gateway.assign("10.0.0.1"); n.macAddress.assign("0011AABBCCDD"); }},
        {":sip,0,2,'10.0.0.8','255.255.0.0','10.0.0.2'", [](S s) { auto& n = s.settings.networkSettings; n.mode = 2; n.ipAddress.assign("10.0.0.8"); n.subnetMask.assign("255.255.0.0"); n.gateway.assign("10.0.0.2"); }},
        {":ghwconf,0,12,1,'460130','B'", [](S s) { s.settings.hwConf[12] = {12, 1, {}, {}}; s.settings.hwConf[12].boardCode.assign("460130"); s.settings.hwConf[12].secondText.assign("B"); }, HwConf},
        {":gswver,0,4,'a','2.0.0.1','b','c'", [](S s) { auto& v = s.settings.swVersion[4]; v.value = 4; v.first[0].assign("a"); v.second[0].assign("2.0.0.1"); v.first[1].assign("b"); v.second[1].assign("c"); }, HwConf},
        {":gtotopertime,0,1,2,3", kSame, OpTime},
        {":gcuropertime,0,4,5,6", kSame, OpTime},
        // clock, sync and rates
        {":gsystemdelay,0,7", [](S s) { s.settings.systemDelay = 7; }},
        {":galivetime,0,8", [](S s) { s.settings.aliveTime = 8; }},
        {":ggenrate,0,9", [](S s) { s.settings.genRate = 9; }},
        {":sgenrate,0,10", [](S s) { s.settings.genRate = 10; }},
        {":gactrate,0,11", [](S s) { s.live.actualRate = 11; }},
        {":grateadptsrc,0,12", [](S s) { s.settings.rateAdaptSource = 12; }},
        {":srateadptsrc,0,13", [](S s) { s.settings.rateAdaptSource = 13; }},
        {":gwclkout,0,14", [](S s) { s.settings.wordClockOut = 14; }},
        {":swclkout,0,15", [](S s) { s.settings.wordClockOut = 15; }},
        {":gaeschstat,0,16", [](S s) { s.settings.aesChannelStatus = 16; }},
        {":saeschstat,0,17", [](S s) { s.settings.aesChannelStatus = 17; }},
        {":gsyncprio,0,18,31", [](S s) { s.settings.syncPriority[16] = 31; }},
        {":lsyncprio,0,2,3,5,6,7", [](S s) { s.settings.syncPriority[0] = 5; s.settings.syncPriority[1] = 6; s.settings.syncPriority[2] = 7; }},
        {":gsyncstat,0,4,1", [](S s) { s.live.syncSource = 4; s.live.syncState = 1; }},
        {":gsyncterm,0,18", [](S s) { s.settings.syncTerm = 18; }},
        {":gmaininpstatus,0,3,LCK", [](S s) { s.live.mainInputStatus[3].index = 3; s.live.mainInputStatus[3].value.assign("LCK"); }, Inputs},
        {":lmaininpstatus,0,1,14,A,B,C,D,E,F,G,H,I,J,K,L,M,NOP", [](S s) { const char* v[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "NOP"}; for (int k = 1; k <= 14; ++k) { s.live.mainInputStatus[at(k)].index = k; s.live.mainInputStatus[at(k)].value.assign(v[k - 1]); } }, Inputs},
        // power and cooling
        {":gpsuconf,0,1", [](S s) { s.settings.psuConfig = 1; s.live.psuConfigReported = true; }, None, 2},
        {":spsuconf,0,2", [](S s) { s.settings.psuConfig = 2; s.live.psuConfigReported = true; }},
        {":gfanconf,0,5", [](S s) { s.settings.fanConfig = 5; s.live.fanConfigReported = true; }, None, 2},
        {":sfanconf,0,6", [](S s) { s.settings.fanConfig = 6; s.live.fanConfigReported = true; }},
        {":gpsustatus,0,2,1", [](S s) { s.live.psuStatus[2] = 1; s.live.psuReported[2] = true; }},
        {":gfanstatus,0,3,2", [](S s) { s.live.fanStatus[3] = 2; s.live.fanReported[3] = true; }},
        // main-board interfaces
        {":gmadiinmode,0,3,2", [](S s) { s.settings.madiInMode[3] = {3, {2, 0, 0, 0, 0}}; }},
        {":gmadioutmode,0,3,4,5,6", [](S s) { s.settings.madiOutMode[3].port = 3; s.settings.madiOutMode[3].modes = {0, 4, 5, 6}; }},
        {":gmadidsdmode,0,2,1", [](S s) { s.settings.madiOutMode[2].dsdMode = 1; }},
        {":gphdmode,0,1,2,3", [](S s) { s.settings.phdMode = {1, 2, 3}; }},
        {":goptmode,0,2,3", [](S s) { s.settings.optMode[2] = {2, 3}; }},
        {":goptred,0,1,2", [](S s) { s.settings.optRedundancy = {1, 2}; }, Inputs},
        {":soptred,0,3,4", [](S s) { s.settings.optRedundancy = {3, 4}; }, Inputs},
        {":goptinact,0,2,1", [](S s) { s.live.optInactive[2] = 1; }, Inputs},
        {":ghlinkinmode,0,1,3", [](S s) { s.settings.hotlinkInMode[1] = {1, 3}; }},
        {":ghlinkoutmode,0,2,4", [](S s) { s.settings.hotlinkOutMode[2] = {2, 4}; }},
        // crosspoints
        {":gcross,0,5,17", [](S s) { s.live.crosspoints[5] = 17; s.live.crosspointReported[5] = true; }, Xy},
        {":scross,0,1024,9,0,0", [](S s) { s.live.crosspoints[1024] = 9; s.live.crosspointReported[1024] = true; }, Xy},
        {":lcross,0,1,2,7,8", [](S s) { s.live.crosspoints[1] = 7; s.live.crosspoints[2] = 8; s.live.crosspointReported[1] = s.live.crosspointReported[2] = true; }},
        // channel parameters
        {":glabel,0,1,7,'Vox'", [](S s) { s.settings.outputLabels[7].assign("Vox"); }, Labels},
        {":slabel,0,0,2048,'Kick'", [](S s) { s.settings.inputLabels[2048].assign("Kick"); }, Labels},
        {":llabel,0,0,1023,2,'A','B'", [](S s) { s.settings.inputLabels[1023].assign("A"); s.settings.inputLabels[1024].assign("B"); }, Labels},
        {":ggain,0,1,20,0.00,0,0", kSame, Gain},
        {":sgain,0,1,20,0.00,0,0", kSame, Gain},
        {":glevdetthres,0,1,3,-10.00,1,-20.00,2", kSame, Level},
        {":slevdetthres,0,1,3,-10.00,1,-20.00,2", kSame, Level},
        {":glevdetstate,0,1,3,1", kSame, Level},
        {":slevdetstate,0,1,3,1", kSame, Level},
        {":glevdetstatus,0,1,3,1", kSame, Level},
        {":llevdetstate,0,1,1,2,1,0", kSame, Level},
        {":llevdetstatus,0,1,1,2,0,1", kSame, Level},
        // cards
        {":gadbrdtype,0,1,4", [](S s) { s.settings.cards[1].cardMode = 4; }},
        {":sadbrdtype,0,2,3,'AD'", [](S s) { s.settings.cards[2].cardMode = 3; }, HwConf},
        {":gadinpmode,0,2,3,1", [](S s) { s.settings.cards[2].channels[3].inputMode = 1; }},
        {":gadmute,0,2,4,2", [](S s) { s.settings.cards[2].channels[4].adMute = 2; }},
        {":gadphanpow,0,2,5,3", [](S s) { s.settings.cards[2].channels[5].phantomPower = 3; }},
        {":gadphase,0,2,6,4", [](S s) { s.settings.cards[2].channels[6].phase = 4; }},
        {":gadmiclevel,0,2,7,-12.50", [](S s) { s.settings.cards[2].channels[7].micLevel = dec(true, 12, 50); }},
        {":gadlinelevel,0,2,8,4.25", [](S s) { s.settings.cards[2].channels[8].lineLevel = dec(false, 4, 25); }},
        {":gadsigdet,0,3,1,1", [](S s) { s.live.adSignal[3][1] = 1; }, Inputs},
        {":gadovldet,0,3,8,2", [](S s) { s.live.adOverload[3][8] = 2; }, Inputs},
        {":gdaoutlevel,0,4,1,-3.10", [](S s) { s.settings.cards[4].channels[1].outputLevel = dec(true, 3, 10); }},
        {":gdamute,0,4,8,1", [](S s) { s.settings.cards[4].channels[8].daMute = 1; }},
        {":gdadsdfilter,0,4,2", [](S s) { s.settings.cards[4].channels[1].dsdFilter = 2; }},
        {":gembena,0,7,1,1", [](S s) { s.settings.cards[7].channels[1].embedderEnable = 1; }},
        {":gtxsrcrate,0,7,2,4", [](S s) { s.settings.cards[7].channels[2].txSourceRate = 4; }},
        {":gembmode,0,7,2,4,1", [](S s) { s.settings.cards[7].channels[2].embedMode[4] = 1; }},
        {":grxsrcena,0,7,1,1,2", [](S s) { s.settings.cards[7].channels[1].rxSourceEnable[1] = 2; }},
        {":gsdirxstat,0,8,2,1,3,2", [](S s) { s.live.sdiRxStatus[15] = {8, 2, 1, 3, 2}; }, Inputs},
        {":gaesrxsrcena,0,3,2,1", [](S s) { s.settings.cards[3].channels[2].aesRxSourceEnable = 1; }},
        {":gaesinpstatus,0,4,8,LCK", [](S s) { s.live.aesInputStatus[4][8] = {4, 8, {}}; s.live.aesInputStatus[4][8].status.assign("LCK"); }, Inputs},
        {":gcifmode,0,7,2", [](S s) { s.settings.cards[7].cardMode = 2; }},
        {":scifmode,0,8,1", [](S s) { s.settings.cards[8].cardMode = 1; }},
        {":gcifred,0,7,1,2", [](S s) { s.settings.cards[7].cardRedundancy = 1; s.settings.cards[7].cardRedundancyValue = 2; }, Inputs},
        {":scifred,0,8,3,4", [](S s) { s.settings.cards[8].cardRedundancy = 3; s.settings.cards[8].cardRedundancyValue = 4; }, Inputs},
        {":gcifinact,0,7,2,1", [](S s) { s.live.cardIfInactive[7][2] = 1; }, Inputs},
        {":gcmadiinmode,0,5,2,3", [](S s) { s.settings.cards[5].channels[2].madiInMode = 3; }},
        {":gcmadioutmode,0,5,2,4,5,6", [](S s) { s.settings.cards[5].channels[2].madiOutMode = {4, 5, 6}; }},
        {":gcmadidsdmode,0,5,1,2", [](S s) { s.settings.cards[5].channels[1].madiDsdMode = 2; }},
        {":gcmadirxsrcena,0,5,2,1", [](S s) { s.settings.cards[5].channels[2].madiRxSourceEnable = 1; }},
        {":scmadirxsrcena,2,5,1,1", [](S s) { s.settings.cards[5].channels[1].madiRxSourceEnable = 0; }},
        {":gchlinkinmode,0,6,3", [](S s) { s.settings.cards[6].hotlinkInMode = 3; }},
        {":gchlinkoutmode,0,6,4", [](S s) { s.settings.cards[6].hotlinkOutMode = 4; }},
        {":gcifstatus,0,1,2,ESA", [](S s) { s.live.cardIfStatus[1][2] = {1, 2, {}}; s.live.cardIfStatus[1][2].status.assign("ESA"); }, Inputs},
        // IP audio module
        {":gbkip,0,1,'1.2.3.4','255.0.0.0','1.2.3.1','1.2.3.2','AB'", [](S s) { auto& a = s.settings.ipAudio.primary; a.mode = 1; a.ipAddress.assign("1.2.3.4"); a.subnetMask.assign("255.0.0.0"); a.gateway.assign("1.2.3.1"); a.dns.assign("1.2.3.2"); a.macAddress.assign("AB"); }},
        {":gbksecip,0,2,'5.6.7.8','255.255.0.0','5.6.7.1','5.6.7.2','CD'", [](S s) { auto& a = s.settings.ipAudio.secondary; a.mode = 2; a.ipAddress.assign("5.6.7.8"); a.subnetMask.assign("255.255.0.0"); a.gateway.assign("5.6.7.1"); a.dns.assign("5.6.7.2"); a.macAddress.assign("CD"); }},
        {":gbkname,0,'Dante'", [](S s) { s.settings.ipAudio.moduleName.assign("Dante"); }},
        {":gbklock,0,1", [](S s) { s.live.bkLock = 1; }},
        {":gbkdomain,0,1,2,3", [](S s) { s.live.bkDomain = {1, 2, 3}; }},
        {":gswmodeip,0,2", [](S s) { s.settings.ipAudio.switchMode = 2; }},
        {":sswmodeip,0,3", [](S s) { s.settings.ipAudio.switchMode = 3; }},
        {":gsrenaip,0,4", [](S s) { s.settings.ipAudio.sampleRateEnable = 4; }},
        {":ssrenaip,0,5", [](S s) { s.settings.ipAudio.sampleRateEnable = 5; }},
        {":suniclkip,0,6", [](S s) { s.settings.ipAudio.unicastClock = 6; }},
        {":sprefmastip,0,'Main',7", [](S s) { s.settings.ipAudio.preferredMaster = 7; }},
        {":gprefmastip,0,'Main',8", [](S s) { s.settings.ipAudio.preferredMaster = 8; }},
        {":gmaxlatencyip,0,'M',2000", [](S s) { s.live.maxLatency = 2000; }},
        {":guniclkip,0,9", [](S s) { s.settings.ipAudio.unicastClock = 9; }, ManualIp},
        {"!guniclkstip,0,1,locked", kSame, ManualIp},
        {":gautorouteip,0,10", [](S s) { s.settings.ipAudio.autoRouting = 10; }, AutoIp},
        {":sautorouteip,0,11", [](S s) { s.settings.ipAudio.autoRouting = 11; }, AutoIp},
        {":gframeip,0,'M',64", [](S s) { s.settings.ipAudio.frameSize = 64; }, AutoIp},
        {":glatencyip,0,'M',1500", [](S s) { s.settings.ipAudio.latency = 1500; }, AutoIp},
        {":sperformip,0,'M',32,1000", [](S s) { s.settings.ipAudio.frameSize = 32; s.settings.ipAudio.latency = 1000; }, AutoIp},
        {":gcrossip,0,3,'localhost','05','studio-b'", kSame, AutoIp},
        {":scrossip,0,3,'localhost','','studio-b'", kSame, AutoIp},
        {":gcrtxflow,0,3,2,'flow',5", [](S s) { s.live.txFlows[3] = {3, 2, {}, 5}; s.live.txFlows[3].name.assign("flow"); }, ManualIp},
        {":scrtxflow,0,32,4,'out',6", [](S s) { s.live.txFlows[32] = {32, 4, {}, 6}; s.live.txFlows[32].name.assign("out"); }, ManualIp},
        {":gcrrxflow,0,4,2,1,3", [](S s) { s.live.rxFlows[4] = {4, 2, 1, 3}; }, ManualIp},
        {":scrrxflow,0,1,5,6,7", [](S s) { s.live.rxFlows[1] = {1, 5, 6, 7}; }, ManualIp},
        {":gtxflowslot,0,32,7,12", [](S s) { s.live.txFlowSlots[32][7] = {32, 7, 12}; }, ManualIp},
        {":stxflowslot,0,1,0,13", [](S s) { s.live.txFlowSlots[1][0] = {1, 0, 13}; }, ManualIp},
        {":grxflowslot,0,2,6,14", [](S s) { s.live.rxFlowSlots[2][6] = {2, 6, 14}; }, ManualIp},
        {":srxflowslot,0,31,1,15", [](S s) { s.live.rxFlowSlots[31][1] = {31, 1, 15}; }, ManualIp},
        {":grxportrng,0,4000,4100", [](S s) { s.live.rxPortRange = {4000, 4100}; }},
        {":gppmchn,0,3,1,9", kSame, Ppm},
        {":sppmchn,0,3,1,9", kSame, Ppm},
        {":gppmextchn,0,3,3,5,1", kSame, Ppm},
        {":sppmextchn,0,3,3,5,1", kSame, Ppm},
        {":gppmenable,0,3,1", kSame, Ppm},
        {":sppmenable,0,3,1", kSame, Ppm},
        {":gppminfo,0,5,'S',1,2,3,4,1", kSame, Ppm},
        {":sppmcreate,0,'10.0.0.152',10100,1,64,50,0", kSame, Ppm},
        {":sppmdelete,0,3", kSame, Ppm},
        {":lppmid,0,5,0,4294967295", kSame, None, 2},
        // control panel unit
        {":gmaster,0,0", kSame, Panel},
        {":smaster,0,1", kSame, Panel},
        {":grotcount,0,-12", kSame, Panel},
        {":gkeymode,0,12,2,500", kSame, Panel},
        {":skeymode,0,1,2,500", kSame, Panel},
        {":gkeystate,0,12,1", kSame, Panel},
        {":skeystate,0,3,1", kSame, Panel},
        {":gledstate,0,11,1", kSame, Panel},
        {":sledstate,0,1,1", kSame, Panel},
        {":gringledstate,0,32,2", kSame, Panel},
        {":sringledstate,0,1,3", kSame, Panel},
        {":sledint,0,3", kSame, Panel},
        {":gledint,0,1", kSame, Panel},
        // maintenance
        {":sprog,0,1", kSame, Firmware},
        {":sboardinfo,0,2,2,'460230-02','new','x',0", [](S s) { s.settings.hwConf[11].boardCode.assign("460230-02"); s.settings.hwConf[11].secondText.assign("new"); }, HwConf},
    };
    return kRows;
}
// clang-format on

// The replies whose handler sees refusals too (it stores 0, clears or reports
// them); every other row drops a refused reply.
constexpr std::string_view kHandlesRefusals =
    "gtotopertime gcuropertime gsystemdelay galivetime ggenrate sgenrate gactrate grateadptsrc "
    "srateadptsrc gwclkout swclkout gaeschstat saeschstat gsyncterm gmaininpstatus "
    "lmaininpstatus gpsuconf spsuconf gfanconf sfanconf soptred goptinact gcross scross glabel "
    "ggain gsdirxstat scmadirxsrcena gbkip gbksecip gbkname gbklock gbkdomain gswmodeip "
    "sswmodeip gsrenaip ssrenaip suniclkip sprefmastip gprefmastip gmaxlatencyip guniclkip "
    "gautorouteip sautorouteip gframeip glatencyip sperformip scrossip scrtxflow scrrxflow "
    "stxflowslot srxflowslot grxportrng sppmchn sppmextchn sppmenable sppmcreate sppmdelete "
    "smaster skeymode skeystate sledstate sringledstate sledint sprog sboardinfo";

bool handlesRefusals(CommandId id) {
    const std::string padded = " " + std::string(kHandlesRefusals) + " ";
    return padded.find(" " + std::string(keywordOf(id)) + " ") != std::string::npos;
}

class Host final : public IDispatchHost {
public:
    std::vector<std::string> sent;
    void sendRequest(DeviceMessage m) override { sent.push_back(lineOf(m)); }
    void updateTitle() override {}
    void showSampleRate() override {}
    void showSyncSource() override {}
    void showPowerAndFans() override {}
};

// A connected 461 with fitted PSUs and fans, a MADI card in slot 5, a hotlink
// card in slot 6 and a fitted card in slot 3 (module 11).
DeviceState baseState() {
    DeviceState s;
    s.connected = true;
    s.connectedAddress = "10.0.1.20";
    s.settings.psuConfig = 3;
    s.settings.fanConfig = 7;
    s.settings.cards[5].cardMode = 1;
    s.settings.cards[5].channels[1].madiRxSourceEnable = 1;
    s.settings.cards[6].cardMode = 2;
    s.settings.hwConf[11] = {11, 1, {}, {}};
    return s;
}

struct Rig {
    DeviceState state = baseState();
    DialogRegistry dialogs;
    FakeView view;
    FakeTimerHost timers;
    Host host;
    std::array<FakeDialog, kDialogs> sinks;
    DispatchContext context{state, dialogs, view, timers, host};
    CResponseDecoder decoder;

    Rig() {
        dialogs.operatingTime = &sinks[OpTime];
        dialogs.xyControl = &sinks[Xy];
        dialogs.manualIpRouting = &sinks[ManualIp];
        dialogs.autoIpRouting = &sinks[AutoIp];
        dialogs.firmwareUpdate = &sinks[Firmware];
        dialogs.signalInputStatus = &sinks[Inputs];
        dialogs.channelLabels = &sinks[Labels];
        dialogs.gainSettings = &sinks[Gain];
        dialogs.ppmStreams = &sinks[Ppm];
        dialogs.levelDetectors = &sinks[Level];
        dialogs.hwConfiguration = &sinks[HwConf];
        dialogs.controlPanelUnit = &sinks[Panel];
    }

    CommandId feed(const std::string& line) {
        DeviceMessage m;
        EXPECT_TRUE(decoder.decode(line + "\r", m).delivered) << line;
        dispatch(context, m, m.flags == FlagReply, decoder);
        return m.command;
    }
};

void expectSameState(const DeviceState& actual, const DeviceState& expected) {
    EXPECT_TRUE(actual.settings == expected.settings) << "settings differ";
    EXPECT_TRUE(actual.live == expected.live) << "live status differs";
    EXPECT_EQ(actual.family, expected.family);
    EXPECT_EQ(actual.deviceTitleName, expected.deviceTitleName);
}

TEST(DispatchTable, EachRowStoresItsValuesAndNothingElse) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.line);
        Rig rig;
        DeviceState expected = rig.state;
        row.expect(expected);
        rig.feed(row.line);
        expectSameState(rig.state, expected);
        if (row.dialog != None) {
            EXPECT_FALSE(rig.sinks[at(row.dialog)].received.empty()) << "its dialog not told";
        }
        EXPECT_EQ(rig.host.sent.size(), static_cast<std::size_t>(row.requests));
    }
}

// A refused reply to a row that ignores refusals changes nothing at all.
TEST(DispatchTable, IgnoredRefusalsChangeNothing) {
    int checked = 0;
    int ignoring = 0;
    for (const Row& row : rows()) {
        CResponseDecoder decoder;
        DeviceMessage original;
        decoder.decode(std::string(row.line) + "\r", original);
        ignoring += row.line[0] == ':' && !handlesRefusals(original.command);
        EXPECT_EQ(dispatchErrorRule(original.command),
                  handlesRefusals(original.command) ? OnError::Handle : OnError::Ignore)
            << row.line;
        std::string line = row.line;
        const std::size_t comma = line.find(",0");
        if (comma == std::string::npos || line[0] != ':')
            continue;
        line.replace(comma, 2, ",7");
        Rig rig;
        DeviceMessage m;
        if (!rig.decoder.decode(line + "\r", m).delivered || handlesRefusals(m.command))
            continue;
        SCOPED_TRACE(line);
        ++checked;
        const DeviceState before = rig.state;
        dispatch(rig.context, m, true, rig.decoder);
        expectSameState(rig.state, before);
        for (const FakeDialog& sink : rig.sinks)
            EXPECT_TRUE(sink.received.empty());
        EXPECT_TRUE(rig.host.sent.empty());
    }
    EXPECT_EQ(checked, ignoring) << "every reply row that ignores refusals is tried";
}

// A row added to the dispatch needs a row above, and a row above needs one there.
TEST(DispatchTable, CoversEveryDispatchRow) {
    std::set<CommandId> tested;
    for (const Row& row : rows()) {
        DeviceMessage m;
        CResponseDecoder decoder;
        ASSERT_TRUE(decoder.decode(std::string(row.line) + "\r", m).delivered) << row.line;
        EXPECT_TRUE(tested.insert(m.command).second) << "two rows for " << row.line;
        EXPECT_NE(dispatchErrorRule(m.command), OnError::NoRow)
            << row.line << " has no dispatch row";
    }
    int handled = 0;
    for (int k = 0; k < kCommandCount; ++k) {
        const auto id = static_cast<CommandId>(k);
        if (dispatchErrorRule(id) == OnError::NoRow)
            continue;
        ++handled;
        EXPECT_TRUE(tested.contains(id)) << keywordOf(id) << " has no row in this table";
    }
    EXPECT_EQ(handled, static_cast<int>(tested.size()));
}

} // namespace
} // namespace velmar
