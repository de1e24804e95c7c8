#pragma once

#include "videohub/VideohubBlocks.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

// A frame as its router clients see it. Channels count from 1 here, as on the
// frame; the protocol's ports count from 0.
struct VideohubFrame {
    std::string id;      // the server's name for it, the friendly name when the frame has none
    std::string name;    // the frame's own name; empty when not reported
    std::string type;    // "460"; empty when not reported
    std::string serial;  // empty when not reported
    bool read = false;   // its routes are known
    int crosspoints = 0; // 0: not known yet
    std::vector<std::int32_t> routes;      // [1..crosspoints]: input, 0 unrouted
    std::vector<std::string> inputLabels;  // [1..crosspoints]; empty: the channel's name
    std::vector<std::string> outputLabels; // [1..crosspoints]
};

// A change a client asked for, for the frame to carry out. Input 0 unroutes.
struct VideohubRoute {
    int output = 0;
    int input = 0;
};
struct VideohubLabel {
    int channel = 0;
    bool output = false;
    std::string text;
};

using VideohubClient = std::uint64_t;

// Text for one client.
struct VideohubSend {
    VideohubClient client = 0;
    std::string text;
};

// What a client's block asks the frame to do; the answer to the client is
// already among the sends.
struct VideohubRequest {
    std::vector<VideohubRoute> routes;
    std::vector<VideohubLabel> labels;
};

// One frame as a router: what each client has been told, and who holds each
// output's lock. It never changes a route or a label itself: it hands the
// requests on and reports only what the frame then reports, so a client's
// view is always the frame's. The last input, "Unrouted", stands for no route.
class CVideohubRouter {
public:
    explicit CVideohubRouter(bool readOnly) : m_readOnly(readOnly) {}

    // A new client: its prelude.
    std::string connect(VideohubClient client);
    // Its locks are let go; the other clients hear of it.
    void disconnect(VideohubClient client, std::vector<VideohubSend>& sends);
    // A client's block: ACK, NAK or nothing (an unknown block) and any dump it
    // asked for go into `sends`; the changes for the frame are returned.
    VideohubRequest handle(VideohubClient client, const VideohubBlock& block,
                           std::vector<VideohubSend>& sends);

    // The frame as it now stands: whatever differs from what the clients were
    // told goes to all of them.
    void frameChanged(const VideohubFrame& frame, std::vector<VideohubSend>& sends);
    // Routes (output, input; 0 unrouted) the frame has confirmed or announced.
    void routesReported(const std::vector<VideohubRoute>& routes, std::vector<VideohubSend>& sends);
    void labelsReported(const std::vector<VideohubLabel>& labels, std::vector<VideohubSend>& sends);

    int outputs() const { return m_frame.crosspoints; }
    int inputs() const { return m_frame.crosspoints + 1; }
    // Who holds an output's lock (0-based); 0 when nobody does.
    VideohubClient lockOwner(int output) const;
    bool readOnly() const { return m_readOnly; }

private:
    VideohubDevice device() const;
    std::string labelsBlock(bool output) const;
    std::string locksBlock(VideohubClient client, const std::vector<int>& outputs) const;
    std::string routingBlock(const std::vector<int>& outputs) const;
    std::vector<int> allOutputs() const;
    std::string shownLabel(int channel, bool output) const;
    int shownInput(int channel) const; // the port a frame's route shows as
    void toAll(const std::string& text, std::vector<VideohubSend>& sends) const;
    void locksToAll(const std::vector<int>& outputs, std::vector<VideohubSend>& sends) const;
    void routesToAll(const std::vector<int>& outputs, std::vector<VideohubSend>& sends) const;
    std::string everything(VideohubClient client) const; // all blocks but the preamble

    const bool m_readOnly;
    VideohubFrame m_frame;
    std::vector<VideohubClient> m_clients;
    std::vector<VideohubClient> m_locks; // [0..outputs-1]: owner, 0 none
};

// "Velmar 460": the model name a client shows.
std::string videohubModelName(std::string_view frameType);

} // namespace velmar
