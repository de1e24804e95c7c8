// The cost of one search reply against the size of the device selection list.
// A frame flooding replies must not make each one cost more as the list grows:
// the figures for 10 and for 2000 listed frames should be alike (the
// benchmark's fitted complexity should read O(1)).

#include "link/DeviceList.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace {

std::string replyFrom(std::uint32_t n) {
    return velmar::formatIpv4(0x0A000000U + n) + ",1," + std::to_string(n % 100) +
           ",'Frame','460',x,'SN" + std::to_string(n) + "',";
}

// A list of state.range(0) frames; each iteration is one more reply from a
// listed frame (refreshed in place) and a look-up of the last row.
void replyIntoList(benchmark::State& state) {
    const auto rows = static_cast<std::uint32_t>(state.range(0));
    velmar::CDeviceList list;
    for (std::uint32_t n = 1; n <= rows; ++n)
        list.addRowFromText(replyFrom(n), velmar::CDeviceList::Source::SearchReply, std::nullopt);
    const std::string listed = replyFrom(rows / 2 + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            list.addRowFromText(listed, velmar::CDeviceList::Source::SearchReply, std::nullopt));
        benchmark::DoNotOptimize(list.findRow(0x0A000000U + rows));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(replyIntoList)->RangeMultiplier(4)->Range(8, 2048)->Complexity();

} // namespace

BENCHMARK_MAIN();
