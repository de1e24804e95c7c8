// Reads arbitrary bytes as requests on one connection and checks what must
// hold whatever a client sends: the parser never takes more than it is given
// nor anything after an error, the limits hold for every request it lets
// through, the result does not depend on how the bytes were split, and what
// it hands on can be echoed into a response without splitting it.

#include "FuzzSupport.h"
#include "server/HttpMessage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

const velmar::HttpLimits kLimits{512, 8, 256};

// Every request and the final state, in one comparable text.
std::string run(std::string_view bytes, std::size_t chunk) {
    velmar::CHttpRequestParser parser(kLimits);
    std::string log;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const std::string_view piece = rest.substr(0, chunk);
        const std::size_t taken = parser.feed(piece);
        FUZZ_CHECK(taken <= piece.size());
        rest.remove_prefix(taken);
        if (parser.state() == velmar::CHttpRequestParser::State::Error) {
            FUZZ_CHECK(parser.feed(rest) == 0);
            const int status = parser.errorStatus();
            FUZZ_CHECK(status == 400 || status == 413 || status == 431 || status == 501 ||
                       status == 505);
            FUZZ_CHECK(!parser.errorText().empty());
            log += "error ";
            log += std::to_string(status);
            return log;
        }
        if (parser.state() != velmar::CHttpRequestParser::State::Complete) {
            FUZZ_CHECK(taken == piece.size());
            continue;
        }
        const velmar::HttpRequest r = parser.takeRequest();
        FUZZ_CHECK(!r.method.empty() && !r.target.empty());
        FUZZ_CHECK(r.versionMinor == 0 || r.versionMinor == 1);
        FUZZ_CHECK(r.headers.size() <= kLimits.maxHeaders);
        FUZZ_CHECK(r.body.size() <= kLimits.maxBodyBytes);
        FUZZ_CHECK(r.target.starts_with(r.path));
        std::vector<std::pair<std::string, std::string>> echoed;
        for (const auto& [name, value] : r.headers) {
            FUZZ_CHECK(!name.empty());
            FUZZ_CHECK(std::none_of(name.begin(), name.end(),
                                    [](char c) { return c >= 'A' && c <= 'Z'; }));
            FUZZ_CHECK(value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
            std::string echoedName = "X-";
            echoedName += name;
            echoedName += "-Echo";
            echoed.emplace_back(std::move(echoedName), value);
        }
        if (const auto segments = velmar::splitPath(r.path))
            for (const std::string& s : *segments)
                FUZZ_CHECK(s.find('/') == std::string::npos && s != "..");
        (void)r.queryParam("frame");
        (void)r.keepAlive();
        // Echoing the client's headers back must not add lines of its own.
        const std::string response = velmar::httpResponse(200, "text/plain", "", echoed);
        const auto lines =
            static_cast<std::size_t>(std::count(response.begin(), response.end(), '\n'));
        FUZZ_CHECK(lines <= 4 + echoed.size());
        log += r.method;
        log += ' ';
        log += r.target;
        log += ' ';
        log += std::to_string(r.headers.size());
        log += ' ';
        log += r.body;
        log += '\n';
    }
    log += parser.inMessage() ? "partial" : "idle";
    return log;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses how the rest is cut into reads.
    const std::size_t chunk = data[0] % 16 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    FUZZ_CHECK(run(bytes, bytes.size() + 1) == run(bytes, chunk));
    return 0;
}
