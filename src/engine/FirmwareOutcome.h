#pragma once

#include <string>

namespace velmar {

// How the last file of a run ended.
struct FlashOutcome {
    enum Kind { None, Programmed, Failed, Refused } kind = None;
    int recordsSent = 0;
    int totalRecords = 0;
    std::string path;
    std::string reason; // why a file was refused or its transfer failed
    bool linkLost = false;
};

} // namespace velmar
