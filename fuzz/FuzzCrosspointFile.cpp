// Reads arbitrary bytes as a crosspoint status file, for a 1024- and a
// 1536-output frame and for a count beyond the table, and checks what must
// hold whatever the file says: every entry of the load table is an input from
// 0 to the count, nothing lies beyond the count, and a file written from the
// table reads back to the same table.

#include "engine/CrosspointFile.h"
#include "engine/DeviceState.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

void readFor(std::string_view text, int count) {
    const velmar::CrosspointLoadTable table = velmar::readCrosspointFile(text, count);
    const int limit = std::min(count, velmar::kMaxCrosspoints);
    check(table[0] == 0, "output 0 stays empty");
    std::string again;
    for (int output = 1; output <= velmar::kMaxCrosspoints; ++output) {
        const std::int32_t input = table[static_cast<std::size_t>(output)];
        check(input >= 0 && input <= limit, "input within 0..count");
        check(output <= limit || input == 0, "nothing beyond the count");
        if (input > 0)
            again += "1=" + std::to_string(output) + "," + std::to_string(input) + "\r\n";
    }
    check(velmar::readCrosspointFile(again, count) == table, "the table survives a round trip");

    // Loading reads by the same rules unless it refuses the file as a whole,
    // and never counts more lines left out than the text has lines.
    const velmar::CrosspointFileContent content = velmar::parseCrosspointFile(text, count);
    if (content.refusal.empty())
        check(content.table == table, "loading reads as the lenient reader does");
    else
        check(content.table == velmar::CrosspointLoadTable{} && content.leftOut.total() == 0,
              "a refused file gives nothing");
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    check(content.leftOut.foreignChannels >= 0 && content.leftOut.unreadable >= 0 &&
              static_cast<std::size_t>(content.leftOut.total()) <= lines,
          "left-out counts within the lines");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    readFor(text, 1024);
    readFor(text, 1536);
    readFor(text, 4096);
    return 0;
}
