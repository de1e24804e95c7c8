// Reading label files of 1 MiB built to make a CSV reader slow (blanks then
// quotes, a field that never closes, nothing but separators). Each must be
// accepted or refused within a second; the program times every one once more
// after the benchmarks and exits non-zero when one takes longer.
//   velmar_labelcsv_bench [benchmark options]

#include "channels/LabelCsv.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace velmar;

constexpr std::size_t kMiB = 1024 * 1024;
constexpr ChannelRange kRange{0, 1536, false};

std::vector<std::pair<std::string, std::string>> hostileFiles() {
    const std::string header = std::string(kLabelCsvHeader) + "\n";
    const std::size_t half = (kMiB - header.size()) / 2;
    std::string rows = header;
    while (rows.size() + 40 < kMiB)
        rows += std::to_string(rows.size() % 1536 + 1) + ",CARD 1,\"In, \"\"quoted\"\"\",Out\r\n";
    return {
        {"blanks-letter-quotes",
         header + "1," + std::string(half, ' ') + "x" + std::string(half - 12, '"') + ",a,b\n"},
        {"quoted-blanks-quotes",
         header + "1,\"" + std::string(half, ' ') + "\"x" + std::string(half - 12, '"') + ",a,b\n"},
        {"unclosed-quote", header + "1,\"" + std::string(kMiB - header.size() - 3, 'x')},
        {"commas", header + std::string(kMiB - header.size(), ',')},
        {"line-breaks", header + std::string(kMiB - header.size(), '\n')},
        {"cr-only", header + std::string(kMiB - header.size(), '\r')},
        {"quoted-rows", rows},
    };
}

void readFile(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        const LabelCsvRead read = readLabelCsv(text, kRange);
        benchmark::DoNotOptimize(read.rows.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

} // namespace

int main(int argc, char** argv) {
    const auto files = hostileFiles();
    for (const auto& [name, text] : files)
        benchmark::RegisterBenchmark(name.c_str(), readFile, text)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    int slow = 0;
    for (const auto& [name, text] : files) {
        const auto start = std::chrono::steady_clock::now();
        const LabelCsvRead read = readLabelCsv(text, kRange);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-22s %7zu bytes  %8.4f s  %zu rows, %zu refused%s\n", name.c_str(),
                    text.size(), seconds, read.rows.size(), read.refused.size(),
                    read.error.empty() ? "" : ", refused whole");
        slow += seconds > 1.0 ? 1 : 0;
    }
    if (slow > 0)
        std::printf("%d file(s) took more than a second\n", slow);
    return slow > 0 ? 1 : 0;
}
