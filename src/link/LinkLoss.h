#pragma once

#include <string_view>

namespace velmar {

// Why a link ended without the operator closing it.
enum class LinkLoss {
    Closed,  // the frame closed the connection (or reset it)
    Broken,  // the socket failed
    Silent,  // nothing arrived for two alive periods
    Stalled, // the frame stopped reading: too much waits to be sent
};

constexpr std::string_view linkLossText(LinkLoss cause) {
    switch (cause) {
    case LinkLoss::Closed: return "the frame closed the connection";
    case LinkLoss::Broken: return "the connection broke";
    case LinkLoss::Silent: return "the frame stopped answering";
    case LinkLoss::Stalled: return "the frame stopped reading what was sent to it";
    }
    return "the link was lost";
}

} // namespace velmar
