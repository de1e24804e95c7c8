#pragma once

#include "ctl/ReplyBook.h"
#include "protocol/DeviceMessage.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CJsonWriter;

// Keeps the crosspoints velmarctl has asked for and what the frame answered to
// each. A route is done only when the frame's "scross" reply says so: status 0
// and the input asked for. Replies are matched by output, oldest request
// first, so the same output may be asked twice in one run.
class CRouteTracker {
public:
    using Outcome = ReplyOutcome;
    struct Entry {
        int output = 0;
        int input = 0; // asked for; 0 clears the output
        Outcome outcome = Outcome::Pending;
        std::int32_t status = 0; // the reply's status
        int reported = 0;        // the input the reply reports
    };

    void expect(int output, int input);
    // A message from the frame; true when it answered a pending entry. Only
    // replies to "scross" count: "!gcross" messages report other clients' work.
    bool onMessage(const DeviceMessage& message, bool isReply);
    // Entries still pending become unanswered (time-out or link lost).
    void giveUp() { m_book.giveUp(); }

    bool allAnswered() const { return m_book.allAnswered(); }
    bool allConfirmed() const { return m_book.allConfirmed(); }
    int count(Outcome outcome) const { return m_book.count(outcome); }
    const std::vector<Entry>& entries() const { return m_book.entries(); }

private:
    CReplyBook<int, Entry> m_book; // by output
};

// One line per entry ("output 5 CARD1  05 <- input 17 CARD3  01: confirmed"),
// then a summary line.
std::string routeOutcomeText(const CRouteTracker& tracker);
// {"routes":[{"output":5,"input":17,"result":"confirmed","status":0,"reported":17}...],
//  "confirmed":N,"refused":N,"unanswered":N}
void writeRouteOutcomeJson(CJsonWriter& out, const CRouteTracker& tracker);

} // namespace velmar
