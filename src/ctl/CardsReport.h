#pragma once

#include "protocol/JsonWriter.h"
#include "ctl/SettingsReport.h"
#include "engine/DeviceState.h"
#include "settings/CardConfPage.h"
#include "settings/HwConfDialog.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// "cards": the modules as the HW configuration dialog lists them, then each
// fitted card with its settings as the Card configuration page shows them.
// A module the frame never reported is said to be so, not shown as empty.

struct CardSettings {
    int slot = 0;
    std::string type;        // the slot list's Type: the first nine characters
    std::string description; // the board name, empty for an unknown code
    std::vector<CardParamRow> parameters;
};
// The fitted cards of a frame whose cards are listed, in slot order.
std::vector<CardSettings> fittedCardSettings(const DeviceState& state);

// Text: a table of the modules (Module, Type and version, Serial number, SW
// versions; "not fitted" or "not reported" in place of the texts), then per
// fitted card a line "Card slot 1: 460130A X  AD converter" and its rows
// (Channel, Parameter, Value), "  no settings" for a card without any.
// Without `parametersReported` (the card poll did not run) the cards are
// listed without rows and say "settings not reported".
std::string cardsText(const DeviceState& state, bool parametersReported);
// {"modules":[{"module":"Main board","entry":2,"reported":true,"fitted":true,
// "typeAndVersion":"...","serialNumber":"...","swVersions":"..."},...],
// "cards":[{"slot":1,"type":"460130A X","description":"AD converter",
// "parameters":[{"channel":"1","parameter":"Mode","value":"line"},...]}]};
// the texts of a module that is not fitted and the parameters that were not
// reported are null.
void writeCardsJson(CJsonWriter& out, const DeviceState& state, bool parametersReported);

// "cards --make": what a plan would send. One request line per card, then
// "N requests would be sent; nothing was sent", or "nothing to change: every
// fitted card is of X type already".
std::string cardChangePlanText(const CardChangePlan& plan, CardMake make);
// Per card "slot 1: '460130A   230115' -> '460130A X 230115': confirmed"
// (with the status of a refusal), then "N confirmed, N refused, N unanswered".
// The tracker holds the plan's requests in the plan's order.
std::string cardChangeOutcomeText(const CardChangePlan& plan, const CSettingsReplyTracker& tracker);
// {"make":"X","dryRun":false,"changes":[{"slot":1,"from":"...","to":"...",
// "line":"&sboardinfo,...","result":"confirmed","status":0}],"leftAlone":[{"slot":3,"reason":"..."}],
// "confirmed":N,"refused":N,"unanswered":N}; without a tracker (dry run)
// the changes carry no result and the counts are left out.
void writeCardChangeJson(CJsonWriter& out, const CardChangePlan& plan, CardMake make, bool dryRun,
                         const CSettingsReplyTracker* tracker);
// Why a card was left alone, one line per card, for standard error.
std::vector<std::string> cardsLeftAlone(const CardChangePlan& plan, const DeviceState& state);

} // namespace velmar
