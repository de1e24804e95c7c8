#pragma once

#include "protocol/DeviceMessage.h"

#include <QString>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace velmar {

class CPollingEngine;

// Sends a long run of requests with a bounded number in flight, showing a
// progress dialog with Cancel once it takes longer than half a second. The
// event loop keeps running, so replies, the alive supervision and the open
// dialog's refreshes go on. Ends when everything is answered, on Cancel (once
// the requests on the way are answered), when the link goes down or when the
// frame stays silent for kStallMs. A run that stalls is reported as a partial
// apply naming what was and was not sent, and the operator may send the rest
// again. Returns what the frame made of it, in plain words ("The frame
// confirmed 3072 of 3072 labels.").
std::string runRequestsWithProgress(CPollingEngine& engine, std::vector<DeviceMessage> requests,
                                    std::string_view what, const QString& label, QWidget* parent);

inline constexpr int kStallMs = 5000;
// How long a silent frame is waited for; tests shorten it (0 restores kStallMs).
void setRunStallMs(int ms);

} // namespace velmar
