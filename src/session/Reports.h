#pragma once

#include "protocol/JsonWriter.h"
#include "engine/CrosspointFile.h"
#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The reports of velmarctl and velmar-server, made from what the engine's DeviceState knows once
// the program has connected and polled as the window does. Every report comes
// as text for a terminal (lines end in '\n', no trailing blanks, texts the
// frame sent pass through terminalSafe) and as JSON written through
// a CJsonWriter (one value; the caller owns the writer and the document).
//
// What a frame did not report is left out, not shown empty: a 465 or a 450
// answers little beyond its identity and network, a recovery frame its network
// and main board. The rules, all taken from what the engine asks of whom:
//   - identity: ID and name when either was reported, model and model number
//     when the model was, serial number when it was; the family always;
//   - network: when any of its texts was reported;
//   - crosspoints: frames with a matrix (not 465 or 450) in application mode;
//   - versions: every module whose version text is not empty; modules: every
//     fitted one;
//   - cards, PSUs and fans: frames that report their whole inventory (not 465
//     or 450, not in recovery);
//   - sync source and sample rate: when the status fields hold a text.

// "status": everything a rack check needs, in this order: address, port and
// run mode; ID, name, model, model number, family, serial number; network;
// crosspoint count; firmware versions; fitted modules; cards per slot; sync
// source and lock, sample rate, PSU 1..2 and FAN 1..3. Sections are separated
// by blank lines; "Label:  value" lines are aligned over the whole report.
//
// JSON keys: address, port, runMode, id, name, model, modelNumber, family,
// serial, network {mode, address, mask, gateway, mac}, crosspoints,
// versions [{module, name, label, version}], modules [{module, name,
// boardCode, secondText}], cards [{slot, type}], sync {source, locked},
// sampleRate, psu and fans [{unit, fitted, ok, text}], notReported [texts].
// A unit is "OK" or "Faulty" only when the frame answered its status; else
// "not fitted" (ok null) or "not reported" (ok null, and fitted null when the
// frame did not say which units it has).
std::string statusText(const DeviceState& state, const StatusFields& fields);
void writeStatusJson(CJsonWriter& out, const DeviceState& state, const StatusFields& fields,
                     std::span<const std::string> notReported = {});

// What the status report should hold but the frame did not report: "sync
// source", "sample rate" (frames with a matrix in application mode), "PSU
// configuration", "PSU 2 status", "FAN 1 status" ..., and "card settings"
// when the card poll did not run (`cardsPolled` false; it follows the second
// PSU's status reply). Empty when the report is complete.
std::vector<std::string> notReportedStatus(const DeviceState& state, const StatusFields& fields,
                                           bool cardsPolled);

// "routes": the connected crosspoints (an input above 0) of outputs
// 1..crosspointCount(), ascending. Text: a header line, then one line per
// crosspoint with the output's number and name, "<-", and the input's number
// and name, numbers right-aligned and names left-aligned in columns:
//
//   OUTPUT                INPUT
//      5  CARD1  05   <-    17  CARD1  17
//   1536  CARD8  128  <-  1025  CARD1  65
//
// The name columns are ten wide, the widest channel name, so the layout does
// not change with the channels listed.
//
// With nothing connected the only line is "no crosspoints connected".
// JSON: {"crosspoints":1536,"routes":[{"output":5,"outputName":"CARD1  05",
// "input":17,"inputName":"CARD1  17"},...]}.
std::string routesText(const DeviceState& state);
void writeRoutesJson(CJsonWriter& out, const DeviceState& state);

// "xpt load --dry-run": what loading a file's table would change on the frame
// as it is now.
struct CrosspointChange {
    int output = 0;
    int from = 0; // the frame's input now, 0 none
    int to = 0;
    friend bool operator==(const CrosspointChange&, const CrosspointChange&) = default;
};

struct LoadPlan {
    std::vector<CrosspointChange> changes; // ascending by output
    int unchanged = 0;                     // entries the frame already has
    int entries = 0;                       // entries that would be sent
    XptLeftOut leftOut;                    // lines of the file not taken
};

// `table` as readCrosspointFile gives it: an input above 0 is an entry that
// loading sends, 0 sends nothing. Outputs beyond the frame's count are not
// looked at. `leftOut` as the file's reading counted it.
LoadPlan planCrosspointLoad(const DeviceState& state, const CrosspointLoadTable& table,
                            const XptLeftOut& leftOut = {});

// One line per change, "output    5  CARD1  05:   CARD1  17   ->  CARD3  03"
// ("none" for an output connected to nothing), the columns aligned; then
// "N of M entries would change, K already set"; then, when the file had lines
// that were not taken, "left out 3 lines: 2 for channels this frame does not
// have, 1 unreadable".
std::string loadPlanText(const LoadPlan& plan);
// {"entries":M,"changed":N,"unchanged":K,"changes":[{"output":5,
// "outputName":"CARD1  05","from":17,"fromName":"CARD1  17","to":131,
// "toName":"CARD3  03"},...],"leftOut":{"lines":3,"channelsNotOnFrame":2,
// "unreadable":1}}; "fromName" is null where "from" is 0.
void writeLoadPlanJson(CJsonWriter& out, const LoadPlan& plan);

// The names the reports use, for the program's other messages.
std::string_view runModeName(int runMode); // "recovery", "application", "#"; else "Error"
std::string familyName(int family);        // "460", "461", "465", "450"
std::string moduleName(int module);        // "main board", "SFP", "slot 1", "IP audio", "module N"
// "SDI" ... "card without ports", "empty" for 0; empty for a code it does not know.
std::string_view cardTypeName(int cardType);

} // namespace velmar
