#pragma once

#include <cstdint>
#include <string>

namespace velmar {

struct DeviceState;

// Which frame an event is about, as far as it was known when it happened.
struct FrameIdentity {
    std::string address; // dotted IPv4
    std::int32_t id = 0;
    std::string name;
    std::string serial;
    friend bool operator==(const FrameIdentity&, const FrameIdentity&) = default;
};

// The frame as the state names it; the address alone before it answered.
FrameIdentity frameIdentityOf(const DeviceState& state);

} // namespace velmar
