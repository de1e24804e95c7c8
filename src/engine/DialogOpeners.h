#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QWidget; // the window that owns an opened dialog; only handed on here

namespace velmar {

class CPollingEngine;
class IQuestions;

// What a dialog opened from a menu may use of the window that opens it. The
// window fills it in; each subsystem's openers read it, so the window needs
// to know no dialog by name.
struct DialogContext {
    CPollingEngine& engine;
    IQuestions& questions;
    QWidget* parent = nullptr;
    // The frames of the device list, as bare dotted addresses.
    std::vector<std::string> listedAddresses;
    std::function<void(std::string_view)> showStatus; // a line in the status bar
    std::function<void()> labelsChanged;              // the lists show labels anew
    // The frame restarts into new firmware: its row and its link go.
    std::function<void()> frameRestarting;
};

// One menu command and the dialog it opens.
struct DialogOpener {
    int commandId = 0;
    std::function<void(const DialogContext&)> open;
};
using DialogOpeners = std::vector<DialogOpener>;

} // namespace velmar
