#pragma once

#include "events/Event.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The event log file: JSON lines, one object per line. The first line of
// every file names the program version that started it:
//   {"velmar":"2.0.0.0","log":"events","format":1,"time":1765218397000}
// and each further line is one event:
//   {"time":1765218397125,"at":"2026-12-08 18:26:37.125","severity":"alarm",
//    "kind":"psu","address":"10.0.1.20","id":3,"name":"Studio A",
//    "serial":"S1234","text":"PSU 2 failed"}
// ("at" is for people reading the file; "time" is what counts.)

inline constexpr int kEventLogFormat = 1;
// Rotation: the current file and kEventLogFiles - 1 older ones of at most
// kEventLogMaxBytes each (a few thousand events per file).
inline constexpr std::size_t kEventLogMaxBytes = 1024 * 1024;
inline constexpr int kEventLogFiles = 5;
// No line the program writes comes near this; a longer one is not ours.
inline constexpr std::size_t kEventLogMaxLine = 16 * 1024;

std::string eventLogHeaderLine(std::string_view version, std::int64_t timeMs);
std::string eventLogLine(const Event& event); // with the line end

struct EventLogContents {
    std::vector<Event> events;         // in file order
    std::vector<std::string> versions; // of every header line met, in order
    int skippedLines = 0;              // complete lines that are no event or header
    bool truncatedTail = false;        // the file ends inside a line (cut off by a crash)
};

// Reads a log file's bytes: every complete line that is an event is kept; a
// last line without its line end is left out and reported, as are lines that
// do not read. Appends to `into`, so rotated files can be read oldest first.
void readEventLog(std::string_view bytes, EventLogContents& into);

// One line of CSV for an event (time, severity, frame, ID, serial, kind,
// text), with the header line first in eventCsvHeader().
std::string eventCsvHeader();
std::string eventCsvLine(const Event& event);

} // namespace velmar
