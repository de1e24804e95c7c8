#pragma once

namespace velmar {

// The commands of the device list's popup menu and the window's Device menu,
// by id. The device menu decides when each is offered; the subsystems open
// the dialogs behind them (DialogOpeners.h).
namespace devcmd {
inline constexpr int kRestart = 1501;
inline constexpr int kClearSettings = 1502;
inline constexpr int kNetworkSettings = 1503;
inline constexpr int kIdSettings = 1504;
inline constexpr int kRefresh = 1505;
inline constexpr int kConnect = 1506;
inline constexpr int kClose = 1507;
inline constexpr int kXyControl = 1508;
inline constexpr int kFirmwareUpdate = 1509;
inline constexpr int kLoadOtherMode = 1510; // "Load recovery mode" / "Load application mode"
inline constexpr int kRemoveFromList = 1511;
inline constexpr int kHwConfiguration = 1512;
inline constexpr int kInputStatus = 1513;
inline constexpr int kManualIpRouting = 1517;
inline constexpr int kAutoIpRouting = 1518;
inline constexpr int kChannelLabels = 1519;
inline constexpr int kGainSettings = 1520;
inline constexpr int kPpmStreams = 1521;
inline constexpr int kLevelDetectors = 1522;
inline constexpr int kKeySettings = 1528;
inline constexpr int kOperationalTime = 1530;
inline constexpr int kFirst = 1500;
inline constexpr int kLast = 1530;
} // namespace devcmd

} // namespace velmar
