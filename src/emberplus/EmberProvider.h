#pragma once

#include "emberplus/Glow.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velmar {

// A frame's labels of one side, [1..crosspoints], shared with whoever made
// them: a frame's state is handed over often, its labels change seldom.
using EmberLabels = std::shared_ptr<const std::vector<std::string>>;
// The label of a channel; empty when there is none.
const std::string& emberLabel(const EmberLabels& labels, std::size_t channel);

// A frame as its Ember+ consumers see it. Channels count from 1 here, as on
// the frame; the matrix's targets and sources count from 0.
struct EmberFrame {
    std::string id;         // the server's name for it
    std::string name;       // the frame's own name; empty when not reported
    std::string type;       // "460"; empty when not reported
    std::string serial;     // empty when not reported
    std::string firmware;   // empty when not reported
    bool online = false;    // connected and read
    std::string syncSource; // a word of the frame's sync source table; empty: not reported
    std::optional<bool> syncLocked;
    std::string sampleRate; // "48 kHz"...; empty when not reported
    // Fitted units: 1 OK, 0 faulty, -1 not reported.
    std::vector<std::pair<int, int>> psus; // unit number, state
    std::vector<std::pair<int, int>> fans;
    int crosspoints = 0;              // outputs = inputs; 0 while not known
    std::vector<std::int32_t> routes; // [1..crosspoints]: input, 0 unrouted
    EmberLabels inputLabels;          // [1..crosspoints]; empty: no label; null: none at all
    EmberLabels outputLabels;
};

using EmberClient = std::uint64_t;

// One whole Glow message for one client.
struct EmberSend {
    EmberClient client = 0;
    std::string glow;
};

// A change a consumer asked for, for the frame to carry out. Input 0 unroutes.
struct EmberRoute {
    int output = 0;
    int input = 0;
};
struct EmberLabel {
    int channel = 0;
    bool output = false;
    std::string text;
};
struct EmberRequest {
    int frame = 0;
    std::vector<EmberRoute> routes;
    std::vector<EmberLabel> labels;
};

struct EmberProviderLimits {
    std::size_t maxElementsPerMessage = 256; // updates of many elements go out in several messages
    std::size_t maxCommandsPerMessage = 64;  // further commands of one message are ignored
    std::size_t maxWatchesPerClient = 4096;
};

// Element numbers under a frame's node (the frame's own number is its place
// in the configuration, from 1).
namespace ember {
inline constexpr std::uint32_t kIdentity = 1;
inline constexpr std::uint32_t kStatus = 2;
inline constexpr std::uint32_t kCrosspoints = 3;
inline constexpr std::uint32_t kLabels = 4;
inline constexpr std::uint32_t kTargetLabels = 1; // under kLabels
inline constexpr std::uint32_t kSourceLabels = 2;
inline constexpr std::uint32_t kPsuBase = 10; // psu N is 10 + N
inline constexpr std::uint32_t kFanBase = 20; // fan N is 20 + N
} // namespace ember

// The frames as an Ember+ tree: one node per frame with its identity, its
// status, its crosspoint matrix and the matrix's labels. It never changes a
// route or a label itself: it hands requests on and tells consumers only what
// the frames report, so a consumer's view is always the frames'. A consumer
// hears of changes to what it has read (a directory) or subscribed to.
class CEmberProvider {
public:
    explicit CEmberProvider(int frames, EmberProviderLimits limits = {});

    void connect(EmberClient client);
    void disconnect(EmberClient client);
    // A consumer's message: replies go into `sends`; the changes asked of
    // each frame are returned (at most one request per frame).
    std::vector<EmberRequest> handle(EmberClient client, const std::vector<GlowElement>& message,
                                     std::vector<EmberSend>& sends);

    // The frame as it now stands: what differs from what consumers were told
    // goes to those who follow it.
    void frameChanged(int frame, EmberFrame now, std::vector<EmberSend>& sends);
    // Routes (output, input; 0 unrouted) the frame confirmed or announced.
    void routesReported(int frame, const std::vector<EmberRoute>& routes,
                        std::vector<EmberSend>& sends);
    void labelsReported(int frame, const std::vector<EmberLabel>& labels,
                        std::vector<EmberSend>& sends);
    // A request has ended (confirmed, refused or unanswered): the client that
    // made it hears how its targets and labels now stand, with a tally.
    void settled(EmberClient client, const EmberRequest& request, std::vector<EmberSend>& sends);

    int frames() const { return static_cast<int>(m_frames.size()); }
    const EmberFrame& frame(int index) const {
        return m_frames.at(static_cast<std::size_t>(index));
    }
    std::size_t watches(EmberClient client) const;

private:
    struct Walk {
        EmberClient client = 0;
        std::size_t commands = 0;
        std::map<int, EmberRequest> requests;
    };

    void walk(Walk& w, const GlowElement& e, const GlowPath& parent, std::vector<EmberSend>& sends);
    void command(Walk& w, const GlowPath& path, GlowCommandType type,
                 std::vector<EmberSend>& sends);
    void directory(EmberClient client, const GlowPath& path, std::vector<EmberSend>& sends);
    void buildDirectory(EmberClient client, const GlowPath& path,
                        std::vector<EmberSend>& sends) const;
    // Drops the kept directories of a frame's matrix or labels.
    void forget(int frame, std::initializer_list<std::uint32_t> containers);
    void connections(Walk& w, const GlowPath& path, const std::vector<GlowConnection>& asked,
                     std::vector<EmberSend>& sends);
    void setValue(Walk& w, const GlowPath& path, const GlowValue& value,
                  std::vector<EmberSend>& sends);
    bool exists(const GlowPath& path) const;
    void watch(EmberClient client, const GlowPath& path);

    // Elements as they stand now.
    std::vector<GlowElement> children(const GlowPath& path) const; // empty when none
    std::optional<GlowElement> parameter(const GlowPath& path) const;
    static std::optional<GlowElement> parameterOf(const EmberFrame& frame, const GlowPath& path);
    GlowElement frameNode(int frame) const;
    GlowElement matrix(int frame) const;
    GlowConnection connection(int frame, int target) const;

    // Sending.
    void send(EmberClient client, std::vector<GlowElement> root,
              std::vector<EmberSend>& sends) const;
    // Every client following `path` (or, for a parameter, its parent).
    std::vector<EmberClient> followers(const GlowPath& path, bool orParent) const;
    void toFollowers(const GlowPath& path, bool orParent, std::vector<GlowElement> root,
                     std::vector<EmberSend>& sends) const;
    void sendConnections(const std::vector<EmberClient>& to, int frame,
                         const std::vector<int>& targets, GlowConnectionDisposition disposition,
                         std::vector<EmberSend>& sends) const;
    void sendValues(const std::vector<GlowPath>& paths, std::vector<EmberSend>& sends) const;

    const EmberProviderLimits m_limits;
    std::vector<EmberFrame> m_frames;
    std::map<EmberClient, std::set<GlowPath>> m_watches;
    std::map<GlowPath, std::string> m_directories; // encoded, until their frame changes
};

} // namespace velmar
