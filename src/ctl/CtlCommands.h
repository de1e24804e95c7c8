#pragma once

// velmarctl's command table. Each command family keeps its rows, and the
// operand rules only it has, in a file of its own; the parser, the usage
// messages, the command list and the help text are all made from the rows.

#include "ctl/CtlOptions.h"
#include "link/Ipv4.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmar {

struct CtlCommandSpec;

// Reads the words after the command words into the options, or names what is
// wrong with them.
class CtlOperandReader {
public:
    CtlOperandReader(CtlOptions& options, const CtlCommandSpec& command, bool sawSerial)
        : options(options), command(command), sawSerial(sawSerial) {}

    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }
    // "usage is velmarctl ..." for the command being read.
    std::string usage() const;
    bool missing(std::string_view what);
    bool unexpected(std::string_view word);
    // A frame's address, with the device list's mark allowed in front.
    bool readHost(std::string_view word);
    // HOST, then the row's own reader for what follows it.
    bool readHostThen(std::span<const std::string_view> rest,
                      bool (*then)(CtlOperandReader&, std::span<const std::string_view>));

    CtlOptions& options;
    const CtlCommandSpec& command;
    const bool sawSerial; // --serial was given (set-ip without a HOST)
    std::string error;
};

using CtlOperands = bool (*)(CtlOperandReader&, std::span<const std::string_view> rest);

struct CtlCommandSpec {
    std::string_view first;  // the command word
    std::string_view second; // the word after it ("xpt save"), else empty
    CtlVerb verb;
    CtlOperands operands;
    std::string_view usage; // after "velmarctl " in usage messages
    // The help's lines for it: the synopsis (its usage when empty; more than
    // one line when the forms differ) and the paragraph below it.
    std::string_view synopsis;
    std::string_view help;
    // No blank line after the paragraph: the next row continues the entry
    // (as dante's and ppm's commands share their example).
    bool grouped = false;
};

// The families' rows; the help lists them in the order ctlCommands() gives.
std::span<const CtlCommandSpec> ctlSearchCommands();
std::span<const CtlCommandSpec> ctlCrosspointCommands();
std::span<const CtlCommandSpec> ctlMessageCommands();
std::span<const CtlCommandSpec> ctlSettingsCommands();
std::span<const CtlCommandSpec> ctlFlashCommands();
std::span<const CtlCommandSpec> ctlAdminCommands();
std::span<const CtlCommandSpec> ctlInputCommands();
std::span<const CtlCommandSpec> ctlIpRoutingCommands();
std::span<const CtlCommandSpec> ctlLabelCommands();
std::span<const CtlCommandSpec> ctlHealthCommands();

// Every command, in the help's order.
std::span<const CtlCommandSpec> ctlCommands();
// "discover, status, ..., health": what the unknown-command message lists.
std::string ctlCommandList();

// Operand readers more than one family uses.
bool ctlNoOperands(CtlOperandReader& r, std::span<const std::string_view> rest);
bool ctlHostOnly(CtlOperandReader& r, std::span<const std::string_view> rest);
bool ctlHostFile(CtlOperandReader& r, std::span<const std::string_view> rest);

// Plain decimal digits whose value lies in [low, high].
std::optional<int> ctlParseBounded(std::string_view text, int low, int high);
// Why no frame can have this address, or empty when one can.
std::string_view ctlNotAFrameAddress(Ipv4Address address);
std::string ctlQuoted(std::string_view word);

} // namespace velmar
