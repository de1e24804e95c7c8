#include "ctl/CardsReport.h"

#include "protocol/TerminalText.h"

#include <algorithm>

namespace velmar {

namespace {

constexpr std::string_view kNotFitted = "not fitted";
constexpr std::string_view kNotReported = "not reported";

// The frame answered "ghwconf" for the entry (its record carries the number then).
bool reported(const DeviceState& state, int entry) {
    return state.settings.hwConf[static_cast<std::size_t>(entry)].module == entry;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

// Rows of cells, each column as wide as its widest cell, lines without
// trailing blanks. Every cell is terminal-safe already.
void table(std::string& out, const std::vector<std::vector<std::string>>& rows,
           std::string_view indent) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t k = 0; k < row.size(); ++k)
            widths[k] = std::max(widths[k], row[k].size());
    }
    for (const auto& row : rows) {
        std::string line(indent);
        for (std::size_t k = 0; k < row.size(); ++k)
            line += k + 1 < row.size() ? padded(row[k], widths[k] + 2) : row[k];
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
}

std::string quotedText(std::string_view text) {
    std::string out = "'";
    out += terminalSafe(text, "'");
    out += '\'';
    return out;
}

std::string plural(std::size_t count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

} // namespace

std::vector<CardSettings> fittedCardSettings(const DeviceState& state) {
    std::vector<CardSettings> out;
    const std::vector<CardSlotRow> slots =
        cardSlotRows(state.settings, cardSlotsShown(state.family));
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (!slots[k].fitted)
            continue;
        const int slot = static_cast<int>(k) + 1;
        out.push_back({slot, slots[k].type, slots[k].description,
                       cardParameterRows(state.settings.cards[static_cast<std::size_t>(slot)])});
    }
    return out;
}

std::string cardsText(const DeviceState& state, bool parametersReported) {
    std::string out;
    std::vector<std::vector<std::string>> modules{
        {"Module", "Type and version", "Serial number", "SW versions"}};
    for (const HwRow& row : hwConfDialogRows(state.settings, state.family)) {
        if (row.fitted)
            modules.push_back({row.module, terminalSafe(row.typeAndVersion),
                               terminalSafe(row.serialNumber), terminalSafe(row.swVersions)});
        else
            modules.push_back(
                {row.module, std::string(reported(state, row.entry) ? kNotFitted : kNotReported)});
    }
    table(out, modules, "");

    for (const CardSettings& card : fittedCardSettings(state)) {
        std::string head =
            "Card slot " + std::to_string(card.slot) + ": " + terminalSafe(card.type);
        if (!card.description.empty())
            head += "  " + card.description;
        out += "\n" + head + "\n";
        if (!parametersReported) {
            out += "  settings not reported\n";
            continue;
        }
        if (card.parameters.empty()) {
            out += "  no settings\n";
            continue;
        }
        std::vector<std::vector<std::string>> rows{{"Channel", "Parameter", "Value"}};
        for (const CardParamRow& p : card.parameters)
            rows.push_back({p.channel, std::string(p.parameter), p.value});
        table(out, rows, "  ");
    }
    return out;
}

void writeCardsJson(CJsonWriter& out, const DeviceState& state, bool parametersReported) {
    out.beginObject().key("modules").beginArray();
    for (const HwRow& row : hwConfDialogRows(state.settings, state.family)) {
        out.beginObject()
            .field("module", std::string_view(row.module))
            .field("entry", row.entry)
            .field("reported", reported(state, row.entry))
            .field("fitted", row.fitted);
        for (const auto& [name, text] : {std::pair{"typeAndVersion", &row.typeAndVersion},
                                         std::pair{"serialNumber", &row.serialNumber},
                                         std::pair{"swVersions", &row.swVersions}}) {
            out.key(name);
            if (row.fitted)
                out.value(std::string_view(*text));
            else
                out.null();
        }
        out.endObject();
    }
    out.endArray().key("cards").beginArray();
    for (const CardSettings& card : fittedCardSettings(state)) {
        out.beginObject()
            .field("slot", card.slot)
            .field("type", std::string_view(card.type))
            .field("description", std::string_view(card.description))
            .key("parameters");
        if (!parametersReported) {
            out.null().endObject();
            continue;
        }
        out.beginArray();
        for (const CardParamRow& p : card.parameters)
            out.beginObject()
                .field("channel", std::string_view(p.channel))
                .field("parameter", p.parameter)
                .field("value", std::string_view(p.value))
                .endObject();
        out.endArray().endObject();
    }
    out.endArray().endObject();
}

std::string cardChangePlanText(const CardChangePlan& plan, CardMake make) {
    if (plan.changes.empty())
        return "nothing to change: every fitted card is of " + std::string(cardMakeName(make)) +
               " type already\n";
    std::vector<DeviceMessage> requests;
    for (const CardChange& change : plan.changes)
        requests.push_back(change.request);
    std::string out;
    for (const std::string& line : requestLines(requests))
        out += terminalSafe(line) + "\n";
    out += plural(requests.size(), "request") + " would be sent; nothing was sent\n";
    return out;
}

std::string cardChangeOutcomeText(const CardChangePlan& plan,
                                  const CSettingsReplyTracker& tracker) {
    using Outcome = CSettingsReplyTracker::Outcome;
    std::string out;
    const auto& entries = tracker.entries();
    for (std::size_t k = 0; k < plan.changes.size() && k < entries.size(); ++k) {
        const CardChange& change = plan.changes[k];
        out += terminalSafe(entries[k].line) + "\n";
        out += "  slot " + std::to_string(change.slot) + ": " + quotedText(change.oldType) +
               " -> " + quotedText(change.newType) + ": " +
               std::string(outcomeName(entries[k].outcome));
        if (entries[k].outcome == Outcome::Refused)
            out += " (status " + std::to_string(entries[k].status) + ")";
        out += "\n";
    }
    out += std::to_string(tracker.count(Outcome::Confirmed)) + " confirmed, " +
           std::to_string(tracker.count(Outcome::Refused)) + " refused, " +
           std::to_string(tracker.count(Outcome::Unanswered)) + " unanswered\n";
    return out;
}

void writeCardChangeJson(CJsonWriter& out, const CardChangePlan& plan, CardMake make, bool dryRun,
                         const CSettingsReplyTracker* tracker) {
    using Outcome = CSettingsReplyTracker::Outcome;
    std::vector<DeviceMessage> requests;
    for (const CardChange& change : plan.changes)
        requests.push_back(change.request);
    const std::vector<std::string> lines = requestLines(requests);
    out.beginObject()
        .field("make", cardMakeName(make))
        .field("dryRun", dryRun)
        .key("changes")
        .beginArray();
    for (std::size_t k = 0; k < plan.changes.size(); ++k) {
        const CardChange& change = plan.changes[k];
        out.beginObject()
            .field("slot", change.slot)
            .field("from", std::string_view(change.oldType))
            .field("to", std::string_view(change.newType))
            .field("line", std::string_view(lines[k]));
        if (tracker != nullptr && k < tracker->entries().size()) {
            const auto& entry = tracker->entries()[k];
            out.field("result", outcomeName(entry.outcome))
                .field("status", static_cast<int>(entry.status));
        }
        out.endObject();
    }
    out.endArray().key("leftAlone").beginArray();
    for (const CardLeftAlone& card : plan.leftAlone)
        out.beginObject()
            .field("slot", card.slot)
            .field("reason", std::string_view(card.reason))
            .endObject();
    out.endArray();
    if (tracker != nullptr)
        out.field("confirmed", tracker->count(Outcome::Confirmed))
            .field("refused", tracker->count(Outcome::Refused))
            .field("unanswered", tracker->count(Outcome::Unanswered));
    out.endObject();
}

std::vector<std::string> cardsLeftAlone(const CardChangePlan& plan, const DeviceState& state) {
    std::vector<std::string> out;
    for (const CardLeftAlone& card : plan.leftAlone)
        out.push_back(
            "the card in slot " + std::to_string(card.slot) + " (" +
            quotedText(
                state.settings.hwConf[static_cast<std::size_t>(kModuleFirstCard + card.slot - 1)]
                    .boardCode.view()) +
            ") was left alone: " + card.reason);
    return out;
}

} // namespace velmar
