#include "ctl/CtlIpRouting.h"
#include "ctl/CtlOptions.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {
namespace {

CtlParse parse(std::vector<std::string_view> words) { return parseCtlArguments(words); }

TEST(CtlIpRoutingOptions, CommandsAndTheirOperands) {
    struct Case {
        std::vector<std::string_view> words;
        CtlVerb verb;
    };
    const Case cases[] = {
        {{"flows", "10.0.1.20"}, CtlVerb::Flows},
        {{"flow", "create", "10.0.1.20", "tx", "3", "8", "10.0.9.1", "14530"}, CtlVerb::FlowCreate},
        {{"flow", "create", "10.0.1.20", "rx", "1", "2", "14528", "0"}, CtlVerb::FlowCreate},
        {{"flow", "delete", "10.0.1.20", "rx", "all"}, CtlVerb::FlowDelete},
        {{"dante", "routes", "10.0.1.20"}, CtlVerb::DanteRoutes},
        {{"dante", "route", "10.0.1.20", "64", "studio-b", "1"}, CtlVerb::DanteRoute},
        {{"dante", "unroute", "10.0.1.20", "1"}, CtlVerb::DanteUnroute},
        {{"ppm", "10.0.1.20"}, CtlVerb::Ppm},
        {{"ppm", "create", "10.0.1.20", "7", "10.0.0.152", "10100"}, CtlVerb::PpmCreate},
        {{"ppm", "remove", "10.0.1.20", "7"}, CtlVerb::PpmRemove},
        {{"ppm", "assign", "10.0.1.20", "7", "0"}, CtlVerb::PpmAssign},
    };
    for (const Case& c : cases) {
        const CtlParse p = parse(c.words);
        ASSERT_TRUE(p.options) << c.words[0] << " " << p.error;
        EXPECT_EQ(p.options->verb, c.verb) << c.words[0];
        EXPECT_EQ(p.options->host, "10.0.1.20");
    }

    const CtlParse create = parse({"flow", "create", "10.0.1.20", "rx", "4", "2", "14529", "700"});
    const CtlFlowArgs flow = flowArgsOf(CtlVerb::FlowCreate, create.options->words);
    EXPECT_EQ(flow.direction, FlowDirection::Rx);
    EXPECT_EQ(flow.id, 4);
    EXPECT_EQ(flow.port, 14529);
    EXPECT_EQ(flow.latency, 700);
    const CtlParse ppm = parse({"ppm", "create", "10.0.1.20", "7", "10.0.0.152", "10100", "16"});
    const CtlPpmArgs stream = ppmArgsOf(CtlVerb::PpmCreate, ppm.options->words);
    EXPECT_EQ(stream.create.channels, 16);
    EXPECT_EQ(stream.create.rate, 50) << "the default rate";
}

TEST(CtlIpRoutingOptions, OperandsOutOfRangeAreUsageErrors) {
    const std::pair<std::vector<std::string_view>, std::string_view> cases[] = {
        {{"flow", "create", "10.0.1.20", "tx", "33", "2", "10.0.9.1", "14530"},
         "ID must be 1 to 32, not '33'"},
        {{"flow", "create", "10.0.1.20", "tx", "3", "2", "0.0.0.0", "14530"},
         "ADDRESS must be a dotted IPv4 address, not '0.0.0.0'"},
        {{"flow", "create", "10.0.1.20", "rx", "3", "2", "14592", "100"},
         "PORT must be 14528 to 14591, not '14592'"},
        {{"flow", "create", "10.0.1.20", "rx", "3", "2", "14528"}, "missing operands"},
        {{"flow", "delete", "10.0.1.20", "tx", "1", "2"}, "unexpected '2'"},
        {{"dante", "route", "10.0.1.20", "0", "studio-b", "1"}, "X must be 1 to 64, not '0'"},
        {{"dante", "route", "10.0.1.20", "1", "studio-b", "65"}, "Y must be 1 to 64, not '65'"},
        {{"ppm", "assign", "10.0.1.20", "7", "4097"}, "FIRST must be 0 to 4096, not '4097'"},
        {{"ppm", "create", "10.0.1.20", "7", "10.0.0.152", "10100", "1"},
         "CHANNELS must be 2 to 255, not '1'"},
        {{"flow", "10.0.1.20"}, "flow needs create or delete, not '10.0.1.20'"},
    };
    for (const auto& [words, message] : cases) {
        const CtlParse p = parse(words);
        EXPECT_FALSE(p.options) << message;
        EXPECT_NE(p.error.find(message), std::string::npos) << p.error;
    }
}

} // namespace
} // namespace velmar
