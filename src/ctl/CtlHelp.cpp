// The text of velmarctl --help: the commands' entries come from their rows.
#include "ctl/CtlCommands.h"

namespace velmar {

namespace {

constexpr std::string_view kIntro = R"(Usage: velmarctl [OPTIONS] COMMAND [OPERANDS]

Talks to frames from scripts, with the same engine as the Velmar window.
Options may stand before or after the command words; "--" ends them.

HOST is the frame's dotted IPv4 address. It may carry the mark that discover
prints in front of a frame in recovery mode ("*") or in the "#" state ("#"),
as in *192.168.1.20. Without --type, velmarctl first searches for the frame
to learn its type, as the window's device list does.

Commands:
)";

constexpr std::string_view kOptionsAndExit = R"(Options:
  --json          Print JSON instead of text.
  --timeout MS    Wait at most MS milliseconds for the frame each time: to
                  connect, for each reply (default 5000).
  --telnet        Connect to the telnet port, as the window's telnet switch
                  does.
  --type MODEL    The frame's type as the device list's Type column shows it
                  (460, 461, 465, 450, QB16, RB16 or GRID); skips the search
                  for the frame.
  --wait MS       discover and health --all only: collect replies for MS
                  milliseconds (default 1000).
  --make MAKE     cards only: change every fitted card to X type (x) or to
                  Brix type (brix).
  --dry-run       xpt load, settings apply, cards --make and labels import
                  only: change nothing.
  --csv           labels get only: print a label file.
  --input TEXT    labels set only: the channel's input label.
  --output TEXT   labels set only: the channel's output label.
  --skip-invalid  labels import only: send the rows that are not refused.
  --yes           flash only: send a file whose type cannot be verified.
  --restart       flash only: restart the frame after a successful run.
  --release R     flash-join only: the release named in the header line.
  --dhcp          set-ip only: automatic addressing.
  --serial SN     set-ip only: readdress the frame with this serial number
                  without connecting to it.
  --cards, --mini, --dante
                  dump only: the modules written.
  --watch         inputs only: follow the status until interrupted.
  --all           health only: check every frame that answers a search.
  --log DIR       watch only: append the events to the event log in DIR.
  -v, --verbose   send: also print the lines that are not the reply (the
                  frame's own messages, stray lines) as unsolicited.
  -h, --help      Print this help.
  --version       Print the version.
  --              End the options; every word after it is an operand.
MS is a whole number from 1 to 3600000. An option with a value may also be
written --name=value, as in --timeout=2000.

Exit status:
  0  success
  1  the frame refused or did not answer (flash: a programming error, with
     the record it stopped at)
  2  usage error (also a file that cannot be read or written, a settings
     or flash file that is refused, or routes beyond the frame's
     crosspoints; nothing is sent then)
  3  frame not reachable, or it closed the connection
Errors are written to standard error; with --json, standard output also
gets {"error": "...", "exit": N} when the command printed no other document.
)";

// Each line of `text` with `indent` in front.
void appendIndented(std::string& out, std::string_view text, std::string_view indent) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        out += indent;
        out += text.substr(0, end);
        out += '\n';
        text = end == text.npos ? std::string_view() : text.substr(end + 1);
    }
}

} // namespace

std::string ctlHelpText() {
    std::string text(kIntro);
    for (const CtlCommandSpec& row : ctlCommands()) {
        appendIndented(text, row.synopsis.empty() ? row.usage : row.synopsis, "  ");
        appendIndented(text, row.help, "      ");
        if (!row.grouped)
            text += '\n';
    }
    text += kOptionsAndExit;
    return text;
}

} // namespace velmar
