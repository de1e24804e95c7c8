#include "server/ApiMessages.h"

#include "protocol/JsonWriter.h"

namespace velmar {

namespace {

void summaryFields(CJsonWriter& out, const FrameSnapshot& frame) {
    out.field("id", frame.id).field("address", frame.address);
    out.key("name");
    frame.name.empty() ? out.null() : out.value(frame.name);
    out.key("type");
    frame.type.empty() ? out.null() : out.value(frame.type);
    out.field("state", frameLinkStateName(frame.link)).field("health", apiHealthName(frame));
}

} // namespace

std::string helloMessage(std::string_view name, std::string_view role,
                         const std::vector<const FrameSnapshot*>& frames) {
    CJsonWriter out;
    out.beginObject().field("type", "hello");
    out.key("name");
    name.empty() ? out.null() : out.value(name);
    out.field("role", role).key("frames").beginArray();
    for (const FrameSnapshot* f : frames)
        writeFrameSummaryJson(out, *f);
    out.endArray().endObject();
    return out.take();
}

std::string frameMessage(const FrameSnapshot& frame) {
    // The summary goes in an object of its own: its "type" (the frame's
    // model) would otherwise be a second "type" beside the message's.
    CJsonWriter out;
    out.beginObject().field("type", "frame").field("frame", frame.id).key("summary");
    out.beginObject();
    summaryFields(out, frame);
    out.endObject().endObject();
    return out.take();
}

std::string routeMessage(std::string_view frame, const RouteChange& change) {
    CJsonWriter out;
    out.beginObject().field("type", "route").field("frame", frame).field("output", change.output);
    out.key("input");
    change.input > 0 ? out.value(change.input) : out.null();
    out.endObject();
    return out.take();
}

std::string labelMessage(std::string_view frame, const LabelChange& change) {
    CJsonWriter out;
    out.beginObject().field("type", "label").field("frame", frame).field("channel", change.channel);
    out.field("input", change.input.value_or("")).field("output", change.output.value_or(""));
    out.endObject();
    return out.take();
}

std::string eventMessage(std::string_view frame, const Event& event) {
    CJsonWriter out;
    out.beginObject().field("type", "event").field("frame", frame);
    out.field("time", formatEventTime(event.timeMs)).field("severity", severityName(event.severity));
    out.field("kind", eventKindName(event.kind)).field("text", event.text).endObject();
    return out.take();
}

std::string whoAmIJson(const std::string* name, std::string_view role) {
    CJsonWriter out;
    out.beginObject().key("name");
    name ? out.value(*name) : out.null();
    out.field("role", role).endObject();
    return out.take();
}

bool summaryDiffers(const FrameSnapshot& a, const FrameSnapshot& b) {
    return a.link != b.link || apiHealthName(a) != apiHealthName(b) || a.name != b.name ||
           a.type != b.type;
}

} // namespace velmar
