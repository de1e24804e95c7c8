// Reads arbitrary bytes as a Videohub client's stream, cut into pieces, and
// hands every block to a frame's router with two clients, confirming what it
// asks as a frame would. What must hold: the parser holds no more than its
// bounds, every change asked names channels of the frame, every answer to
// the client starts with ACK or NAK, and nobody but the two clients is told.

#include "FuzzSupport.h"
#include "videohub/VideohubRouter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int crosspoints = (data[0] & 1) ? 300 : 4; // a large frame costs runs, not paths
    const std::size_t piece = 1 + data[1] % 64;
    const bool readOnly = (data[0] & 2) != 0;
    const velmar::VideohubClient client = 1 + ((data[0] >> 2) & 1);
    data += 2;
    size -= 2;

    velmar::VideohubLimits limits;
    limits.maxLineBytes = 256;
    limits.maxBlockLines = 64;
    limits.maxBlocksPerFeed = 64;
    velmar::CVideohubParser parser(limits);
    velmar::CVideohubRouter router(readOnly);
    velmar::VideohubFrame frame;
    frame.id = "f";
    frame.read = true;
    frame.crosspoints = crosspoints;
    frame.routes.assign(static_cast<std::size_t>(crosspoints) + 1, 0);
    frame.inputLabels.assign(static_cast<std::size_t>(crosspoints) + 1, {});
    frame.outputLabels = frame.inputLabels;
    std::vector<velmar::VideohubSend> sends;
    router.frameChanged(frame, sends);
    router.connect(1);
    router.connect(2);

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<velmar::VideohubBlock> blocks;
    for (std::size_t at = 0; at < text.size(); at += piece) {
        if (!parser.feed(text.substr(at, piece), blocks)) {
            FUZZ_CHECK(!parser.error().empty());
            break;
        }
        FUZZ_CHECK(parser.pendingBytes() <= limits.maxLineBytes * (limits.maxBlockLines + 2));
        FUZZ_CHECK(blocks.size() <= limits.maxBlocksPerFeed);
        for (const velmar::VideohubBlock& block : blocks) {
            sends.clear();
            const velmar::VideohubRequest request = router.handle(client, block, sends);
            if (!sends.empty()) {
                FUZZ_CHECK(sends.front().client == client);
                const std::string_view first = sends.front().text;
                FUZZ_CHECK(first.substr(0, 5) == velmar::kVideohubAck ||
                           first.substr(0, 5) == velmar::kVideohubNak);
            }
            for (const velmar::VideohubSend& s : sends)
                FUZZ_CHECK(s.client == 1 || s.client == 2);
            FUZZ_CHECK(!readOnly || (request.routes.empty() && request.labels.empty()));
            for (const velmar::VideohubRoute& r : request.routes) {
                FUZZ_CHECK(r.output >= 1 && r.output <= crosspoints);
                FUZZ_CHECK(r.input >= 0 && r.input <= crosspoints);
            }
            for (const velmar::VideohubLabel& l : request.labels)
                FUZZ_CHECK(l.channel >= 1 && l.channel <= crosspoints);
            sends.clear();
            router.routesReported(request.routes, sends);
            router.labelsReported(request.labels, sends);
        }
        blocks.clear();
    }
    sends.clear();
    router.disconnect(client, sends);
    for (int output = 0; output < crosspoints; ++output)
        FUZZ_CHECK(router.lockOwner(output) != client);
    return 0;
}
