#pragma once

#include "VelmarVersion.h"
#include "settings/HwConfDialog.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Exit statuses of velmarctl.
inline constexpr int kExitOk = 0;          // success
inline constexpr int kExitFrame = 1;       // the frame refused or did not answer
inline constexpr int kExitUsage = 2;       // usage error
inline constexpr int kExitUnreachable = 3; // frame not reachable

inline constexpr std::string_view kCtlVersion = kVersion;

// Highest output or input number a crosspoint can name.
inline constexpr int kCtlMaxChannel = 1536;
// Bounds of every millisecond value on the command line (one hour at most).
inline constexpr int kCtlMinMs = 1;
inline constexpr int kCtlMaxMs = 3600000;

enum class CtlVerb {
    Help,
    Version,
    Discover,
    Status,
    Routes,
    Route,
    Unroute,
    XptSave,
    XptLoad,
    Watch,
    Send,
    SettingsShow,
    SettingsSave,
    SettingsApply,
    Cards,
    Flash,
    FlashJoin,
    SetId,
    SetIp,
    Uptime,
    Dump,
    Inputs,
    // IP audio routing
    Flows,
    FlowCreate,
    FlowDelete,
    DanteRoutes,
    DanteRoute,
    DanteUnroute,
    Ppm,
    PpmCreate,
    PpmRemove,
    PpmAssign,
    LabelsGet,
    LabelsSet,
    LabelsImport,
    LabelsExport,
    Gains,
    Levels,
    Health
};

struct CtlRoute {
    int output = 0;
    int input = 0;
    friend bool operator==(const CtlRoute&, const CtlRoute&) = default;
};

struct CtlOptions {
    CtlVerb verb = CtlVerb::Help;
    // As typed: "127.0.0.2", or with the device list's mark in front:
    // "*127.0.0.2" (recovery) or "#127.0.0.2".
    std::string host;
    // route: OUT IN pairs in order; unroute: each OUT with input 0.
    std::vector<CtlRoute> routes;
    std::string file; // xpt save/load, settings save/apply; flash-join: the joined file
    std::vector<std::string> files; // flash: the images, programmed in the order named
    std::string folder;             // flash-join: where the component images lie
    std::string release;            // flash-join: the release for the header line
    bool yes = false;               // flash: program a file whose header names no type
    bool restart = false;           // flash: restart the frame after a successful run
    bool watch = false;             // inputs: one line per change until interrupted
    std::string line;               // send: the request line as typed
    bool json = false;
    bool verbose = false; // send: show the lines that are not the reply too
    bool dryRun = false;  // xpt load, settings apply and cards --make only
    // cards: the make every fitted card is to be changed to; none: only show them.
    std::optional<CardMake> make;
    // Connect to the telnet port, as the window's telnet switch does.
    bool telnet = false;
    // The device list's Type column (e.g. "460"); when given, no search is
    // needed to find the frame's row.
    std::string type;
    int timeoutMs = 5000;  // bound on each wait for the frame (connect, replies)
    bool timeoutGiven = false; // --timeout was written (flash: it bounds the watchdog too)
    int waitMs = 1000;     // discover only: how long to collect search replies
    bool progress = false; // flash: write progress (set by the caller for a terminal)
    // set-id
    int deviceId = 0;
    std::string deviceName;
    // set-ip: automatic addressing, or the three dotted addresses; with a
    // serial number the frame is readdressed without a connection.
    bool dhcp = false;
    std::vector<std::string> addresses; // address, mask, gateway
    std::string serial;
    // dump: the modules written (none named: all three)
    bool dumpCards = false;
    bool dumpMini = false;
    bool dumpDante = false;
    // flow, dante and ppm changes: the operands after HOST, checked when parsed
    std::vector<std::string> words;
    // labels
    bool csv = false;                       // get: CSV on standard output
    int channel = 0;                        // set: the channel
    std::optional<std::string> inputLabel;  // set: --input TEXT
    std::optional<std::string> outputLabel; // set: --output TEXT
    bool skipInvalid = false; // import: send the valid rows of a file with refused rows
    // health: the frames named (HOST...), or every frame that answers a search.
    std::vector<std::string> hosts;
    bool all = false;
    std::string logFolder; // watch: also append the events to the event log here
};

struct CtlParse {
    std::optional<CtlOptions> options; // set on success
    // Plain words for stderr when options is empty (exit 2), without the
    // program's name in front. Empty whenever options is set; with no
    // arguments at all, options carries verb Help and the caller decides.
    std::string error;
};

// args: the command line without argv[0].
//
// Options may stand anywhere on the line and "--" ends them. "-h" or "--help"
// anywhere before "--" wins over everything else, even over words that would
// be errors, so that asking for help always gets it; "--version" wins next.
// Otherwise the first word that goes wrong is named in `error`.
CtlParse parseCtlArguments(std::span<const std::string_view> args);

// The whole text of `velmarctl --help`, every line under 80 columns.
std::string ctlHelpText();

// "velmarctl <version>".
std::string ctlVersionText();

} // namespace velmar
