#pragma once

#include "session/ReplyBook.h"
#include "engine/DeviceState.h"
#include "protocol/DeviceMessage.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CJsonWriter;

// The frame's settings as the .cfg file names them: one group per section of
// the file, each with its "key = value" settings in file order. Built from the
// file writer's own text, so the report and a saved file never disagree.
struct SettingsGroup {
    std::string name; // the section line without its dashes ("System delay")
    std::vector<std::pair<std::string, std::string>> values;
};
std::vector<SettingsGroup> settingsGroups(const DeviceSettings& settings);

// "[System delay]" then "  SystemDelay = 0" lines per group, texts escaped for
// the terminal.
std::string settingsText(const DeviceSettings& settings);
// {"groups":[{"name":"...","values":{"Key":"value",...}},...]}
void writeSettingsJson(CJsonWriter& out, const DeviceSettings& settings);

// Each planned request as it goes on the wire, without its line end.
std::vector<std::string> requestLines(const std::vector<DeviceMessage>& requests);

// Keeps the settings requests velmarctl has sent and what the frame answered
// to each. Replies are matched by command, oldest request first: a frame
// answers in order, and one apply may send the same command twice (one per
// port or slot).
struct SettingsRequest {
    std::string line; // the request as sent
    CommandId command = CommandId::InvalidReply;
    ReplyOutcome outcome = ReplyOutcome::Pending;
    std::int32_t status = 0;
};

class CSettingsReplyTracker : public CReplyBook<CommandId, SettingsRequest> { // by command
public:
    using Outcome = ReplyOutcome;
    using Entry = SettingsRequest;

    void expect(const DeviceMessage& request);
    // A message from the frame; true when it answered a pending entry.
    bool onMessage(const DeviceMessage& message, bool isReply);
};

// Whether the frame took a request that changes its network identity (its
// own address or the Dante module's): only then may it answer elsewhere.
bool networkChangeConfirmed(const CSettingsReplyTracker& tracker);

// One line per request ("ssystemdelay,12: confirmed"), then a summary line.
std::string settingsOutcomeText(const CSettingsReplyTracker& tracker);
// {"requests":[{"line":"...","result":"confirmed","status":0}...],
//  "confirmed":N,"refused":N,"unanswered":N}
void writeSettingsOutcomeJson(CJsonWriter& out, const CSettingsReplyTracker& tracker);

} // namespace velmar
