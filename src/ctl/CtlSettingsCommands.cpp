// The device settings and the cards: settings show, save and apply, cards.
#include "ctl/CtlCommands.h"

namespace velmar {

namespace {

constexpr CtlCommandSpec kRows[] = {
    {"settings", "show", CtlVerb::SettingsShow, ctlHostOnly, "settings show HOST", "",
     "Show every frame-wide setting, grouped and named as a .cfg file\n"
     "names them.\n"
     "velmarctl settings show 192.168.1.20 --json"},
    {"settings", "save", CtlVerb::SettingsSave, ctlHostFile, "settings save HOST FILE", "",
     "Save the frame's settings to a .cfg file, as the settings dialog's\n"
     "\"Save to file...\" does.\n"
     "velmarctl settings save 192.168.1.20 show.cfg"},
    {"settings", "apply", CtlVerb::SettingsApply, ctlHostFile,
     "settings apply HOST FILE [--dry-run]", "",
     "Read a .cfg file over the frame's settings and send what differs, as\n"
     "the settings dialog's \"Save changes\" does; each reply is reported as\n"
     "confirmed, refused or unanswered. A line out of its place or a value\n"
     "the pages do not take refuses the whole file: each such line is named,\n"
     "nothing is sent, exit status 2. With --dry-run, print the request lines\n"
     "that would be sent and send nothing.\n"
     "velmarctl settings apply 192.168.1.20 show.cfg --dry-run"},
    {"cards", "", CtlVerb::Cards, ctlHostOnly, "cards HOST [--make x|brix [--dry-run]]", "",
     "Show the frame's modules as the HW configuration dialog lists them\n"
     "(type and version, serial number, software versions) and the settings\n"
     "of each fitted card as the Card configuration page shows them. With\n"
     "--make, rewrite the make letter in the type of every fitted card that\n"
     "has another one, as the dialog's \"Change cards to X type\" and \"Change\n"
     "cards to Brix type\" do; each card's reply is reported as confirmed,\n"
     "refused or unanswered. With --dry-run, print the requests that would\n"
     "be sent and send nothing.\n"
     "velmarctl cards 192.168.1.20 --json\n"
     "velmarctl cards 192.168.1.20 --make x --dry-run"},
};

} // namespace

std::span<const CtlCommandSpec> ctlSettingsCommands() { return kRows; }

} // namespace velmar
