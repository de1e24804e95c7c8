#pragma once

#include "ctl/CtlOptions.h"
#include "protocol/JsonWriter.h"
#include "iprouting/AutoRouting.h"
#include "iprouting/FlowControl.h"
#include "iprouting/PpmStreams.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

// Why the operands after HOST of a flow, dante or ppm change do not read, or
// nothing when they do.
std::optional<std::string> ipRoutingOperandProblem(CtlVerb verb,
                                                   const std::vector<std::string>& words);

// The operands once they read.
struct CtlFlowArgs {
    FlowDirection direction = FlowDirection::Tx;
    int id = 0; // delete: 0 with `all`
    bool all = false;
    int slots = 0;
    std::string address;
    int port = 0;
    int latency = 0;
};
CtlFlowArgs flowArgsOf(CtlVerb verb, const std::vector<std::string>& words);

struct CtlDanteArgs {
    int x = 0;
    std::string sourceHost;
    int y = 0;
};
CtlDanteArgs danteArgsOf(CtlVerb verb, const std::vector<std::string>& words);

struct CtlPpmArgs {
    std::uint32_t id = 0;
    PpmCreateSettings create;
    int firstChannel = 0; // assign: 0 clears every slot
};
CtlPpmArgs ppmArgsOf(CtlVerb verb, const std::vector<std::string>& words);

// What `flows`, `dante routes` and `ppm` print.
std::string flowsText(const CFlowLogic& flows);
void writeFlowsJson(CJsonWriter& out, const CFlowLogic& flows);
std::string danteRoutesText(const CAutoRoutingLogic& routes);
void writeDanteRoutesJson(CJsonWriter& out, const CAutoRoutingLogic& routes);
std::string ppmText(const CPpmLogic& streams);
void writePpmJson(CJsonWriter& out, const CPpmLogic& streams);

} // namespace velmar
