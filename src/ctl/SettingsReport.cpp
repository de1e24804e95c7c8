#include "ctl/SettingsReport.h"

#include "protocol/JsonWriter.h"
#include "protocol/RequestEncoder.h"
#include "protocol/TerminalText.h"
#include "settings/SettingsFile.h"

#include <algorithm>
#include <array>

namespace velmar {

std::vector<SettingsGroup> settingsGroups(const DeviceSettings& settings) {
    const std::string file = writeSettingsFile(settings);
    std::vector<SettingsGroup> groups;
    std::size_t start = 0;
    while (start < file.size()) {
        std::size_t end = file.find("\r\n", start);
        if (end == std::string::npos)
            end = file.size();
        const std::string_view line = std::string_view(file).substr(start, end - start);
        start = end + 2;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            // "[Device settings]" heads the file; "--- System delay ---" starts a group.
            std::string_view name = line;
            if (name.starts_with("---") && name.ends_with("---") && name.size() >= 6)
                name = name.substr(3, name.size() - 6);
            while (!name.empty() && name.front() == ' ')
                name.remove_prefix(1);
            while (!name.empty() && name.back() == ' ')
                name.remove_suffix(1);
            if (!line.starts_with("["))
                groups.push_back({std::string(name), {}});
            continue;
        }
        if (groups.empty())
            groups.push_back({});
        groups.back().values.emplace_back(std::string(line.substr(0, equals)),
                                          std::string(line.substr(equals + 1)));
    }
    return groups;
}

std::string settingsText(const DeviceSettings& settings) {
    std::string out;
    for (const SettingsGroup& group : settingsGroups(settings)) {
        // Piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on
        // "text" + std::string temporaries.
        out += '[';
        out += terminalSafe(group.name);
        out += "]\n";
        for (const auto& [key, value] : group.values) {
            out += "  ";
            out += terminalSafe(key);
            out += " = ";
            out += terminalSafe(value);
            out += '\n';
        }
    }
    return out;
}

void writeSettingsJson(CJsonWriter& out, const DeviceSettings& settings) {
    out.beginObject().key("groups").beginArray();
    for (const SettingsGroup& group : settingsGroups(settings)) {
        out.beginObject().field("name", std::string_view(group.name)).key("values").beginObject();
        for (const auto& [key, value] : group.values)
            out.field(key, std::string_view(value));
        out.endObject().endObject();
    }
    out.endArray().endObject();
}

std::vector<std::string> requestLines(const std::vector<DeviceMessage>& requests) {
    std::vector<std::string> lines;
    std::array<char, kEncodeBufferSize> buffer{};
    for (const DeviceMessage& request : requests) {
        std::string line(buffer.data(), encodeMessage(request, buffer));
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

void CSettingsReplyTracker::expect(const DeviceMessage& request) {
    const std::vector<std::string> line = requestLines({request});
    add(request.command, {line.front(), request.command});
}

bool CSettingsReplyTracker::onMessage(const DeviceMessage& message, bool isReply) {
    if (!isReply)
        return false;
    Entry* entry = answer(message.command);
    if (!entry)
        return false;
    entry->status = message.status;
    entry->outcome = message.status == 0 ? Outcome::Confirmed : Outcome::Refused;
    return true;
}

bool networkChangeConfirmed(const CSettingsReplyTracker& tracker) {
    return std::any_of(tracker.entries().begin(), tracker.entries().end(), [](const auto& e) {
        const bool network = e.command == CommandId::sip || e.command == CommandId::sbkip ||
                             e.command == CommandId::sbksecip ||
                             e.command == CommandId::sswmodeip;
        return network && e.outcome == ReplyOutcome::Confirmed;
    });
}

std::string settingsOutcomeText(const CSettingsReplyTracker& tracker) {
    using Outcome = CSettingsReplyTracker::Outcome;
    std::string out;
    for (const auto& e : tracker.entries()) {
        out += terminalSafe(e.line) + ": " + std::string(outcomeName(e.outcome));
        if (e.outcome == Outcome::Refused)
            out += " (status " + std::to_string(e.status) + ")";
        out += "\n";
    }
    out += std::to_string(tracker.count(Outcome::Confirmed)) + " confirmed, " +
           std::to_string(tracker.count(Outcome::Refused)) + " refused, " +
           std::to_string(tracker.count(Outcome::Unanswered)) + " unanswered\n";
    return out;
}

void writeSettingsOutcomeJson(CJsonWriter& out, const CSettingsReplyTracker& tracker) {
    using Outcome = CSettingsReplyTracker::Outcome;
    out.beginObject().key("requests").beginArray();
    for (const auto& e : tracker.entries())
        out.beginObject()
            .field("line", std::string_view(e.line))
            .field("result", outcomeName(e.outcome))
            .field("status", static_cast<int>(e.status))
            .endObject();
    out.endArray()
        .field("confirmed", tracker.count(Outcome::Confirmed))
        .field("refused", tracker.count(Outcome::Refused))
        .field("unanswered", tracker.count(Outcome::Unanswered))
        .endObject();
}

} // namespace velmar
