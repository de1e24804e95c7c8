#pragma once

#include "protocol/CommandId.h"
#include "protocol/DeviceMessage.h"
#include "protocol/ResponseDecoder.h"

#include <optional>
#include <string>
#include <string_view>

namespace velmar {

class CJsonWriter;
struct DeviceState;

// How velmarctl shows a decoded message and reads a request line a user types.
//
//   frame bytes --CResponseDecoder (reply column)--> DeviceMessage
//        --messageText--------> "reply gcross status 0: 5, 17"
//        --writeMessageJson---> {"kind":"reply","command":"gcross","status":0,"args":[5,17]}
//
//   "gcross,5" --parseRequestLine--> DeviceMessage --encodeMessage--> "?gcross,5\r"

// How a message came. A "!" line and a "%" line both decode with no direction
// flag at all, so after decoding they cannot be told apart: both are Message.
enum class MessageKind {
    Reply,   // ":" line
    Message, // "!" or "%" line: the frame speaking on its own
    Request, // "?" or "&" line
};

MessageKind messageKindOf(const DeviceMessage& message);
// "reply", "message", "request".
std::string_view messageKindName(MessageKind kind);

// One line of text for a decoded message:
//   reply gcross status 0: 5, 17
//   reply gdevid status 0: 7, 'Studio A'
//   message gsyncstat status 0: 3, 0
//   reply lcross status 0: 1, 4; items: 17, 0, 3, 0
//   reply gcross status 1 (refused): 5
//   reply gswver status 0: 2; pairs: '2.1.0.5' 'App', '1.0' 'Boot'
//   reply llabel status 0: 1, 33, 2; items: 33 'Kick', 34 'Snare'
//   reply gmaster status 0: 1 tag 7
//   reply gcross (does not decode)
//
// Replies and messages show the reply column of the command's layout as far as
// their status carries it (a non-zero status stops at the bar); requests show
// the request column and no status. Texts stand in single quotes, raw texts
// too. Inside them a quote is written \' and a backslash \\; control
// characters, DEL, the C1 controls and bytes that are not UTF-8 are written
// \xNN, so nothing a frame sends can act on the terminal. Decimals read
// -0.75, unsigned values as unsigned.
//
// List replies with status 0 are followed by the items of the decoder's list
// table, as many as the message's count says (never more than the table
// holds); "lppmid" has no count and shows the table's non-zero ids. The
// tables belong to the last list reply of their kind, so call this right
// after decoding the message.
std::string messageText(const DeviceMessage& message, const CResponseDecoder& decoder);

// The same message as one JSON object, written into `out`:
//   {"kind":"reply","command":"gcross","status":0,"args":[5,17]}
// "status" is left out for requests. Decimals are JSON numbers, texts
// strings. Lists add "items":[...] (numbers; {"direction":..,"channel":..,
// "text":..} for labels; {"channel":..,"text":..} for input status), "gswver"
// adds "pairs":[["2.1.0.5","App"],...], and a non-zero tag adds "tag":7 at
// the end. A line that did not decode gives
//   {"kind":"reply","command":"gcross","invalid":true}
// with "command":null when even the keyword was unknown.
//
// With the connected frame's state, a message that names channels ("gcross",
// "scross", and the label, gain and level detector messages) adds
//   "channels":[{"direction":"output","channel":5,"name":"CARD1  05","card":"AD"},...]
// ("card" only where the frame reported a card in that slot; an input 0, no
// crosspoint, is left out).
void writeMessageJson(CJsonWriter& out, const DeviceMessage& message,
                      const CResponseDecoder& decoder, const DeviceState* state = nullptr);

// The channels a message names, for a line beside messageText:
//   gcross 5, 17 -> "output 5 = CARD1  05 (AD), input 17 = CARD1  17 (AD)"
//   gcross 9, 0  -> "output 9 = CARD1  09, input none"
// The card kind is given where `state` knows a card in that slot. Empty for a
// message that names no channel, or a number that is no channel.
std::string channelNote(const DeviceMessage& message, const DeviceState* state);

// A request line as a user types it for `velmarctl send`:
//   "?gcross,5"   "&scross,5,17,0,0"   "&sdevid,7,'Studio A'"   "&sgain,1,20,-0.75,0,0"
//   "gcross,5"    without a prefix: "&" for keywords starting with "s", "?" for
//                 every other keyword (the prefix the encoder writes for them)
//   "%gmaster,1"  a "%" line: passed on as one (flags 0); frames do not answer it
// A "?" in front of a set keyword or "&" in front of a get keyword is taken as
// a request all the same; the encoder writes the right prefix.
//
// Trailing CR/LF and blanks around the line are ignored. The arguments follow
// the request column of the layout and are read by CResponseDecoder, so they
// must have the form the frames expect: texts in single quotes, decimals with
// two digits after the point (-0.50, not -0.5), a trailing "*N" tag
// (1..65535) is allowed. Anything the line format could not carry is refused
// rather than changed on the way: a text holding a comma or a single quote, a
// text longer than its field, a value out of range, an argument too many.
// "&sprog,1#..." carries its programming line after "#" (step 1 only).
//
// On success `message` holds the request, and encodeMessage gives back the
// line in its canonical form (prefix, runs of commas, leading zeros
// normalised). Otherwise `error` names the problem in plain words.
struct ParsedRequest {
    std::optional<DeviceMessage> message;
    std::string error;
};
ParsedRequest parseRequestLine(std::string_view line);

// What a request takes, for error messages and help: "int, int, int, int" for
// scross, "int, text(31)" for gcrossip. Kinds: int, unsigned, decimal,
// text(N) (in single quotes), raw(N) (without quotes); N is the most
// characters the field holds. Empty when the request has no arguments or the
// id is no command.
std::string requestSignature(CommandId id);

} // namespace velmar
