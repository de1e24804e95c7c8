#pragma once

#include "session/ReplyBook.h"
#include "protocol/DeviceMessage.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CJsonWriter;

// Keeps the crosspoints a client (velmarctl, velmar-server) has asked for and what the frame answered to
// each. A route is done only when the frame's "scross" reply says so: status 0
// and the input asked for. Replies are matched by output, oldest request
// first, so the same output may be asked twice in one run.
struct RouteRequest {
    int output = 0;
    int input = 0; // asked for; 0 clears the output
    ReplyOutcome outcome = ReplyOutcome::Pending;
    std::int32_t status = 0; // the reply's status
    int reported = 0;        // the input the reply reports
};

class CRouteTracker : public CReplyBook<int, RouteRequest> { // filed by output
public:
    using Outcome = ReplyOutcome;
    using Entry = RouteRequest;

    void expect(int output, int input) { add(output, {output, input}); }
    // A message from the frame; true when it answered a pending entry. Only
    // replies to "scross" count: "!gcross" messages report other clients' work.
    bool onMessage(const DeviceMessage& message, bool isReply);
};

// One line per entry ("output 5 CARD1  05 <- input 17 CARD3  01: confirmed"),
// then a summary line.
std::string routeOutcomeText(const CRouteTracker& tracker);
// {"routes":[{"output":5,"input":17,"result":"confirmed","status":0,"reported":17}...],
//  "confirmed":N,"refused":N,"unanswered":N}
void writeRouteOutcomeJson(CJsonWriter& out, const CRouteTracker& tracker);

} // namespace velmar
