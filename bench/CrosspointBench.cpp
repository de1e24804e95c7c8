// The crosspoint work of a full poll and of a file load, on a 1536-output
// frame, through the same core objects the window uses:
//   lcross-1536   decode the 12 "lcross" blocks, dispatch them into the state,
//                 redraw the whole crosspoint list and produce every row's texts;
//   xpt-load-1536 read a 1536-line crosspoint file into the load table and
//                 encode the 1536 "scross" lines it sends.
// Run with --once to do each case a single time (for callgrind's instruction
// counts, which are stable on these machines):
//   valgrind --tool=callgrind --toggle-collect='*runCase*' velmar_crosspoint_bench --once

#include "engine/CrosspointFile.h"
#include "engine/Crosspoints.h"
#include "engine/LoadStatusLogic.h"
#include "engine/PollingEngine.h"
#include "engine/XyBurst.h"
#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace velmar;

struct NoTimers final : ITimerHost {
    void startTimer(int, int) override {}
    void stopTimer(int) override {}
};

// Encodes every line as the connection would and counts the bytes.
struct CountingLink final : ILink {
    std::size_t bytes = 0;
    int open(std::string_view, int, bool) override { return 0; }
    void close() override {}
    void send(const DeviceMessage& m) override {
        std::array<char, kEncodeBufferSize> line{};
        bytes += encodeMessage(m, line);
    }
};

struct Silent final : IOperator, IQuestions {
    void showMessage(std::string_view) override {}
    bool askYesNo(std::string_view) override { return true; }
    bool askYesNo(std::string_view, std::string_view) override { return true; }
};

// The window's part: a finished list redraws everything and shows every row.
struct ListView final : IMainView {
    CCrosspointList* list = nullptr;
    std::size_t characters = 0;
    void crosspointListChanged() override {
        list->redrawAll(kSortByOutput);
        for (int row = 0; row < list->rowCount(); ++row)
            for (int column = 0; column < 3; ++column)
                characters += list->text(row, column).size();
    }
    void crosspointRowChanged(int output) override { list->redrawOutput(output); }
    void crosspointListCleared() override { list->clear(); }
    void titleChanged(std::string_view) override {}
    void statusFieldsChanged(const StatusFields&) override {}
    void settingsEnabledChanged(bool) override {}
    void crosspointControlsEnabledChanged(bool) override {}
    void connectButtonTextChanged(std::string_view) override {}
    void deviceListReset() override {}
    void deviceRowInfoChanged(std::string_view, std::string_view, std::string_view) override {}
    void deviceRowIdentityChanged(std::string_view, int, std::string_view) override {}
    void rebuildCrosspointTypeLists() override {}
    void ipFlowListChanged(bool) override {}
    void inputOutputSelectionCleared() override {}
    void statusMessage(std::string_view) override {}
    void deviceOffline(std::string_view) override {}
};

struct Rig {
    NoTimers timers;
    CountingLink link;
    Silent silent;
    ListView view;
    CPollingEngine engine{timers, link, silent, view};
    CXyBurst burst{timers, engine};
    CCrosspointList list{engine.state(), engine, silent, burst};
    CResponseDecoder decoder;

    Rig() {
        view.list = &list;
        engine.selectDevice("127.0.0.2", "127.0.0.2", "460");
        feed(":gswver,0,2,'Main','2.1.0.5'\r"); // 1536 crosspoints from this version on
    }
    void feed(std::string_view bytes) {
        while (!bytes.empty()) {
            DeviceMessage m;
            const DecodeResult r = decoder.decode(bytes, m);
            if (r.consumed == 0)
                break;
            if (r.delivered)
                engine.onMessage(m, true, decoder);
            bytes.remove_prefix(r.consumed);
        }
    }
};

std::string lcrossBlocks() {
    std::string text;
    for (int first = 1; first <= 1536; first += 128) {
        text += ":lcross,0," + std::to_string(first) + ",128";
        for (int o = first; o < first + 128; ++o)
            text += "," + std::to_string((o * 7) % 1536 + 1);
        text += '\r';
    }
    return text;
}

std::string xptFile() {
    std::string text = "; a full set\r\n";
    for (int o = 1; o <= 1536; ++o)
        text += std::to_string(o) + "=" + std::to_string(o) + "," +
                std::to_string((o * 11) % 1536 + 1) + "\r\n";
    return text;
}

// The measured bodies, kept out of line so callgrind can collect just them.
__attribute__((noinline)) std::size_t runCaseLcross(Rig& rig, const std::string& blocks) {
    rig.view.characters = 0;
    rig.feed(blocks);
    return rig.view.characters;
}

__attribute__((noinline)) std::size_t runCaseXptLoad(Rig& rig, const std::string& file) {
    const CLoadStatusLogic logic("set.xpt", file, rig.engine.state().crosspointCount());
    rig.link.bytes = 0;
    logic.confirm(rig.engine.state(), rig.burst, rig.engine);
    return rig.link.bytes;
}

void benchLcross(benchmark::State& state) {
    Rig rig;
    const std::string blocks = lcrossBlocks();
    std::size_t characters = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(characters = runCaseLcross(rig, blocks));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1536);
    state.counters["rows"] = static_cast<double>(rig.list.rowCount());
    state.counters["chars"] = static_cast<double>(characters);
}

void benchXptLoad(benchmark::State& state) {
    Rig rig;
    const std::string file = xptFile();
    std::size_t bytes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes = runCaseXptLoad(rig, file));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1536);
    state.counters["sent_bytes"] = static_cast<double>(bytes);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--once") == 0) {
        Rig rig;
        const std::size_t chars = runCaseLcross(rig, lcrossBlocks());
        const std::size_t bytes = runCaseXptLoad(rig, xptFile());
        std::printf("lcross-1536: %d rows, %zu characters drawn; xpt-load-1536: %zu bytes sent\n",
                    rig.list.rowCount(), chars, bytes);
        return rig.list.rowCount() == 1536 && bytes > 0 ? 0 : 1;
    }
    benchmark::RegisterBenchmark("crosspoints/lcross-1536", benchLcross)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("crosspoints/xpt-load-1536", benchXptLoad)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
