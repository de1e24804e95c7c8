#include "session/RouteTracker.h"

#include "protocol/JsonWriter.h"
#include "protocol/ChannelNames.h"

#include <algorithm>

namespace velmar {

bool CRouteTracker::onMessage(const DeviceMessage& message, bool isReply) {
    if (!isReply || message.command != CommandId::scross)
        return false;
    Entry* entry = answer(message.i(1));
    if (!entry)
        return false;
    entry->status = message.status;
    entry->reported = message.status == 0 ? message.i(2) : 0;
    entry->outcome = message.status == 0 && entry->reported == entry->input ? Outcome::Confirmed
                                                                            : Outcome::Refused;
    return true;
}

std::string_view outcomeName(ReplyOutcome outcome) {
    switch (outcome) {
    case ReplyOutcome::Pending: return "pending";
    case ReplyOutcome::Confirmed: return "confirmed";
    case ReplyOutcome::Refused: return "refused";
    case ReplyOutcome::Unanswered: return "unanswered";
    }
    return "unknown";
}

namespace {

std::string inputText(int input) {
    return input > 0 ? "input " + std::to_string(input) + " " + channelDisplayName(input)
                     : std::string("nothing");
}

} // namespace

std::string routeOutcomeText(const CRouteTracker& tracker) {
    using O = CRouteTracker::Outcome;
    std::string out;
    for (const CRouteTracker::Entry& e : tracker.entries()) {
        out += "output " + std::to_string(e.output) + " " + channelDisplayName(e.output) + " <- " +
               inputText(e.input) + ": " + std::string(outcomeName(e.outcome));
        if (e.outcome == O::Refused) {
            if (e.status != 0)
                out += " (status " + std::to_string(e.status) + ")";
            else
                out += " (the frame reports " + inputText(e.reported) + ")";
        }
        out += '\n';
    }
    out += std::to_string(tracker.count(O::Confirmed)) + " confirmed, " +
           std::to_string(tracker.count(O::Refused)) + " refused, " +
           std::to_string(tracker.count(O::Unanswered)) + " unanswered\n";
    return out;
}

void writeRouteOutcomeJson(CJsonWriter& out, const CRouteTracker& tracker) {
    using O = CRouteTracker::Outcome;
    out.beginObject().key("routes").beginArray();
    for (const CRouteTracker::Entry& e : tracker.entries()) {
        out.beginObject()
            .field("output", e.output)
            .field("input", e.input)
            .field("result", outcomeName(e.outcome));
        if (e.outcome == O::Confirmed || e.outcome == O::Refused) {
            out.field("status", e.status);
            if (e.status == 0)
                out.field("reported", e.reported);
        }
        out.endObject();
    }
    out.endArray()
        .field("confirmed", tracker.count(O::Confirmed))
        .field("refused", tracker.count(O::Refused))
        .field("unanswered", tracker.count(O::Unanswered))
        .endObject();
}

} // namespace velmar
