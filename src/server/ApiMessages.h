#pragma once

#include "events/Event.h"
#include "server/ApiTable.h"
#include "server/FrameSnapshot.h"

#include <optional>
#include <string>
#include <vector>

namespace velmar {

// The messages of the event stream, one JSON object each, with "type" first:
//   {"type":"hello","name":...,"role":...,"frames":[summary...]}
//   {"type":"frame","frame":ID,"summary":{...}}   state or health changed
//   {"type":"route","frame":ID,"output":O,"input":I or null}
//   {"type":"label","frame":ID,"channel":N,"input":"...","output":"..."}
//   {"type":"event","frame":ID,"time":"...","severity":...,"kind":...,"text":...}
std::string helloMessage(std::string_view name, std::string_view role,
                         const std::vector<const FrameSnapshot*>& frames);
std::string frameMessage(const FrameSnapshot& frame);
std::string routeMessage(std::string_view frame, const RouteChange& change);
std::string labelMessage(std::string_view frame, const LabelChange& change);
std::string eventMessage(std::string_view frame, const Event& event);

// {"name":...,"role":...}; name null on a server without tokens.
std::string whoAmIJson(const std::string* name, std::string_view role);

// Whether the frames list would show the frame differently (state, health,
// name, type): the stream tells its clients only then.
bool summaryDiffers(const FrameSnapshot& a, const FrameSnapshot& b);

} // namespace velmar
