// Reads arbitrary bytes as each request body velmar-server parses itself (a
// route, a salvo, labels, the event stream's token message) and checks what
// must hold: a body is either refused or gives only channels of
// the frame, each output or channel once, and never half a list.

#include "FuzzSupport.h"
#include "server/ApiTable.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    // The first byte picks the frame's size, so small and full frames are both seen.
    const int crosspoints = size > 0 && (data[0] & 1) ? 1536 : 8;

    const auto route = velmar::parseRouteBody(body, crosspoints);
    FUZZ_CHECK(route.ok() ? route.value >= 0 && route.value <= crosspoints : route.value == 0);

    const auto salvo = velmar::parseSalvoBody(body, crosspoints);
    FUZZ_CHECK(salvo.ok() != salvo.value.empty());
    std::set<int> outputs;
    for (const velmar::RouteChange& c : salvo.value) {
        FUZZ_CHECK(c.output >= 1 && c.output <= crosspoints);
        FUZZ_CHECK(c.input >= 0 && c.input <= crosspoints);
        FUZZ_CHECK(outputs.insert(c.output).second);
    }

    const auto labels = velmar::parseLabelsBody(body, crosspoints);
    FUZZ_CHECK(labels.ok() != labels.value.empty());
    std::set<int> channels;
    for (const velmar::LabelChange& c : labels.value) {
        FUZZ_CHECK(c.channel >= 1 && c.channel <= crosspoints);
        FUZZ_CHECK(c.input || c.output);
        FUZZ_CHECK(channels.insert(c.channel).second);
    }
    (void)velmar::parseTokenMessage(body);
    return 0;
}
