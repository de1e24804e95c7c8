#include "ctl/FlashProgress.h"

namespace velmar {

namespace {

std::string minutesAndSeconds(std::int64_t seconds) {
    const std::int64_t s = seconds % 60;
    return std::to_string(seconds / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

} // namespace

std::string flashProgressText(int fileIndex, int fileCount, int sent, int total,
                              std::int64_t elapsedMs) {
    std::string out = "File " + std::to_string(fileIndex) + " of " + std::to_string(fileCount) +
                      ": " + std::to_string(sent) + " of " + std::to_string(total) + " records, ";
    if (sent <= 0 || elapsedMs <= 0)
        return out + "-- records/s, -- left";
    const std::int64_t rate = std::int64_t{sent} * 1000 / elapsedMs;
    const std::int64_t left =
        total > sent ? (std::int64_t{total - sent} * elapsedMs / sent + 999) / 1000 : 0;
    return out + std::to_string(rate) + " records/s, " + minutesAndSeconds(left) + " left";
}

} // namespace velmar
