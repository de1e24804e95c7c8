#pragma once

#include "protocol/CommandId.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace velmar::framesim {

// Ways the simulated frame misbehaves on purpose, so the program's reliability
// paths can be driven on cue. All off by default; every field can be set in a
// profile and changed while the frame runs.
struct FaultPlan {
    int closeAfterLines = 0; // > 0: drop the link right after sending this many lines
    bool silent = false;     // send nothing at all, but keep the link and keep reading
    int replyDelayMs = 0;    // hold every outgoing line this long
    std::map<CommandId, std::int32_t> refused; // command -> non-zero status it is answered with
    bool garbageBetweenLines = false;          // noise bytes in front of every line
    bool overlongLineAtConnect = false; // greet a new client with > 1024 bytes and no line end
    bool oneByteChunks = false;         // hand every byte to the socket on its own
    bool refuseEcho = false;            // ignore the UDP echo probe
    bool ignoreSetAddress = false;      // ignore "%eip" even with the frame's own serial number
    int failProgramAtRecord = 0;        // > 0: the firmware record with this number is refused
    int silentProgramAtRecord = 0; // > 0: the firmware record with this number is never answered
    int programReplyDelayMs = 0;   // hold every firmware acknowledgement this long
    // > 0: the firmware record with this number is acknowledged twice
    int duplicateProgramAtRecord = 0;
    // > 0: the link drops when the firmware record with this number arrives
    int dropLinkAtRecord = 0;
    // link floods
    int floodAliveLines = 0; // > 0: a new client is no longer read and gets this many
                             // "?aliverequest" lines, as fast as its socket takes them

    // velmarctl faults
    bool dropTags = false;          // answer without the request's tag
    bool strayBeforeTagged = false; // an untagged refusal line before each tagged reply
    std::set<CommandId> unanswered; // commands read and never answered

    // answers that answer something else
    std::set<CommandId> otherId;            // the reply names the next ID (or block) up
    std::set<CommandId> negativeCount;      // the reply's count (or first value) is -1
    std::optional<std::string> labelAnswer; // every "slabel" answered with this label
    bool unaskedLabels = false; // after each "llabel" reply, an unasked ":slabel" for its first
                                // channel with the label kUnaskedLabel
    static constexpr char kUnaskedLabel[] = "UNASKED";

    // Noise that carries none of the line start characters, so a correct reader
    // drops it (a carriage return among it included).
    static constexpr char kGarbage[] = "\x01\x7f~zz\r\n\x03";
    static constexpr int kOverlongLength = 1100;

    // input status announcements
    int announceInputsMs = 0; // > 0: every this many ms one input's status changes ("!" line)

    // search bursts
    int searchBurst = 0; // > 1: answer a search with this many replies, each from its own address
    static constexpr int kMaxSearchBurst = 10000;
};

} // namespace velmar::framesim
