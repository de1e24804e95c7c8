// The channel commands: labels get, set, import and export, gains, levels.
#include "ctl/CtlCommands.h"

namespace velmar {

namespace {

using Words = std::span<const std::string_view>;

// HOST CHANNEL
bool readChannel(CtlOperandReader& r, Words rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, Words rest) {
        if (rest.empty())
            return r.missing("CHANNEL");
        if (rest.size() > 1)
            return r.unexpected(rest[1]);
        const std::optional<int> channel = ctlParseBounded(rest[0], 1, 2048);
        if (!channel)
            return r.fail("CHANNEL must be a number from 1 to 2048, not " + ctlQuoted(rest[0]));
        r.options.channel = *channel;
        return true;
    });
}

constexpr CtlCommandSpec kRows[] = {
    {"labels", "get", CtlVerb::LabelsGet, ctlHostOnly, "labels get HOST [--csv]", "",
     "Read every channel's input and output label, as the Channel labels\n"
     "dialog lists them; with --csv as a label file on standard output.\n"
     "velmarctl labels get 192.168.1.20 --csv"},
    {"labels", "set", CtlVerb::LabelsSet, readChannel,
     "labels set HOST CHANNEL [--input TEXT] [--output TEXT]", "",
     "Set one channel's labels (at most 16 bytes of UTF-8, no quote, comma or\n"
     "control character; an empty TEXT clears); only a label that differs\n"
     "from the frame's is sent.\n"
     "velmarctl labels set 192.168.1.20 17 --input Kick --output Desk-1"},
    {"labels", "import", CtlVerb::LabelsImport, ctlHostFile,
     "labels import HOST FILE.csv [--dry-run] [--skip-invalid]", "",
     "Write the labels of a label file (header channel,type,input,output,\n"
     "as a spreadsheet saves CSV); only labels that differ from the frame's\n"
     "are sent, and the frame's confirmations and refusals are counted.\n"
     "Refused rows are reported with their line numbers; then nothing is\n"
     "sent unless --skip-invalid is given. With --dry-run, print what\n"
     "would be sent and send nothing.\n"
     "velmarctl labels import 192.168.1.20 labels.csv --dry-run"},
    {"labels", "export", CtlVerb::LabelsExport, ctlHostFile, "labels export HOST FILE.csv", "",
     "Save every channel's labels as a label file.\n"
     "velmarctl labels export 192.168.1.20 labels.csv"},
    {"gains", "", CtlVerb::Gains, ctlHostOnly, "gains HOST", "",
     "List every channel's input and output gain, phase and mute, as the\n"
     "Gain settings dialog does.\n"
     "velmarctl gains 192.168.1.20 --json"},
    {"levels", "", CtlVerb::Levels, ctlHostOnly, "levels HOST", "",
     "List every channel's input and output level detector: time 1,\n"
     "level 1, time 2, level 2, enable and status, as the Level detectors\n"
     "dialog does.\n"
     "velmarctl levels 192.168.1.20"},
};

} // namespace

std::span<const CtlCommandSpec> ctlLabelCommands() { return kRows; }

} // namespace velmar
