// The firmware commands: flash and flash-join.
#include "ctl/CtlCommands.h"

namespace velmar {

namespace {

using Words = std::span<const std::string_view>;

// HOST FILE...: programmed in the order named.
bool readFiles(CtlOperandReader& r, Words rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, Words rest) {
        if (rest.empty())
            return r.missing("FILE");
        for (const std::string_view word : rest) {
            if (word.empty())
                return r.fail("FILE must not be empty");
            r.options.files.emplace_back(word);
        }
        return true;
    });
}

// --type 460|450 DIR OUT: the type picks the component images joined.
bool readJoin(CtlOperandReader& r, Words rest) {
    const std::string& type = r.options.type;
    if (type != "460" && type != "450")
        return r.fail("flash-join needs --type 460 or --type 450" +
                      (type.empty() ? std::string() : ", not " + ctlQuoted(type)));
    if (rest.size() < 2)
        return r.missing(rest.empty() ? "DIR and OUT" : "OUT");
    if (rest.size() > 2)
        return r.unexpected(rest[2]);
    if (rest[0].empty() || rest[1].empty())
        return r.fail("DIR and OUT must not be empty");
    r.options.folder = std::string(rest[0]);
    r.options.file = std::string(rest[1]);
    return true;
}

constexpr CtlCommandSpec kRows[] = {
    {"flash", "", CtlVerb::Flash, readFiles, "flash HOST FILE... [--yes] [--restart]", "",
     "Program flash images (*.flash) into the frame, one record per\n"
     "acknowledgement, in the order named; every file is checked before\n"
     "anything is sent. A file whose header names no type is only sent\n"
     "with --yes; an explicit --timeout bounds each acknowledgement.\n"
     "With --restart, a frame that took every file is restarted (a\n"
     "frame in recovery mode loads its application).\n"
     "Progress shows on a terminal; otherwise a line per tenth.\n"
     "velmarctl flash 192.168.1.20 frame.flash --restart"},
    {"flash-join", "", CtlVerb::FlashJoin, readJoin,
     "flash-join --type 460|450 [--release R] DIR OUT", "",
     "Join the component images of one release found in DIR into OUT, as\n"
     "the window's \"Save all flash file\" does; with --release the joined\n"
     "file starts with its header line.\n"
     "velmarctl flash-join --type 460 --release 2.1 images all.flash"},
};

} // namespace

std::span<const CtlCommandSpec> ctlFlashCommands() { return kRows; }

} // namespace velmar
