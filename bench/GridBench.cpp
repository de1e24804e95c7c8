// The routing grid's painting on a 1536-output frame with every card slot
// fitted (eight EQ cards, both banks), both SFP ports in hotlink mode and the
// IP module, every output routed (about 1440 lines each way), all groups
// unfolded, through the same model and view the window uses:
//   grid/paint-window   one full repaint of a 1000 x 700 grid at the
//                       default zoom, scrolled into the middle;
//   grid/paint-fit-all  the same with every line in view;
//   grid/lcross-repaint the 12 "lcross" blocks of a full poll decoded and
//                       dispatched into the state, the grid's lines updated
//                       and the visible cells repainted.
// Run with --once to do each case a single time (for callgrind):
//   bench/callgrind-grid.sh [BUILD_DIR]

#include "grid/CRoutingGridView.h"
#include "grid/GridModel.h"
#include "grid/RouteJournal.h"
#include "engine/PollingEngine.h"
#include "protocol/ResponseDecoder.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace velmar;

struct NoTimers final : ITimerHost {
    void startTimer(int, int) override {}
    void stopTimer(int) override {}
};

struct NoLink final : ILink {
    int open(std::string_view, int, bool) override { return 0; }
    void close() override {}
    void send(const DeviceMessage&) override {}
};

struct NoSink final : IRequestSink {
    void sendRequest(DeviceMessage) override {}
};

struct Silent final : IOperator, IQuestions {
    void showMessage(std::string_view) override {}
    bool askYesNo(std::string_view) override { return true; }
    bool askYesNo(std::string_view, std::string_view) override { return true; }
};

// The window's part of a finished list: the grid's lines follow the routes.
struct GridWindow final : IMainView {
    CGridModel* model = nullptr;
    void crosspointListChanged() override {
        if (model != nullptr)
            model->routesChanged();
    }
    void crosspointRowChanged(int) override {}
    void crosspointListCleared() override {}
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

std::string lcrossBlocks(int shift) {
    std::string text;
    for (int first = 1; first <= 1536; first += 128) {
        text += ":lcross,0," + std::to_string(first) + ",128";
        for (int o = first; o < first + 128; ++o)
            text += "," + std::to_string((o * 7 + shift) % 1536 + 1);
        text += '\r';
    }
    return text;
}

struct Rig {
    NoTimers timers;
    NoLink link;
    NoSink sink;
    Silent silent;
    GridWindow window;
    CPollingEngine engine{timers, link, silent, window};
    CRouteJournal journal{engine.state(), sink, timers, silent};
    CResponseDecoder decoder;
    std::unique_ptr<CGridModel> model;
    std::unique_ptr<CRoutingGridView> view;
    QImage image;

    Rig() {
        engine.selectDevice("127.0.0.2", "127.0.0.2", "460");
        std::string setup = ":gswver,0,2,'Main','2.1.0.5'\r";
        for (int module = 9; module <= 16; ++module)
            setup += ":ghwconf,0," + std::to_string(module) + ",1,'460610','A'\r";
        // Both SFP ports in hotlink mode (128 channels each) and the IP module.
        setup += ":ghwconf,0,3,1,'460310','A'\r:goptmode,0,1,2\r:goptmode,0,2,2\r";
        setup += ":ghwconf,0,18,1,'460810','B'\r:ghwconf,0,20,0,'',''\r";
        feed(setup);
        model = std::make_unique<CGridModel>(engine.state(), journal);
        window.model = model.get();
        feed(lcrossBlocks(0));
        view = std::make_unique<CRoutingGridView>(*model);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->resize(1000, 700);
        view->show();
        QApplication::processEvents();
        image = QImage(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
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
    void middle() {
        view->setCellSize(14);
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum() / 2);
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    }
};

// The measured bodies, kept out of line so callgrind can collect just them.
__attribute__((noinline)) void runCasePaint(Rig& rig) { rig.view->viewport()->render(&rig.image); }

__attribute__((noinline)) void runCaseLcrossRepaint(Rig& rig, const std::string& blocks) {
    rig.feed(blocks);
    rig.view->modelChanged();
    rig.view->viewport()->render(&rig.image);
}

void benchPaintWindow(benchmark::State& state) {
    Rig rig;
    rig.middle();
    for (auto _ : state)
        runCasePaint(rig);
    state.counters["rows"] = rig.model->rowCount();
    state.counters["columns"] = rig.model->columnCount();
}

void benchPaintFitAll(benchmark::State& state) {
    Rig rig;
    rig.view->fitAll();
    for (auto _ : state)
        runCasePaint(rig);
    state.counters["cell_px"] = rig.view->cellSize();
}

void benchLcrossRepaint(benchmark::State& state) {
    Rig rig;
    rig.middle();
    // Alternate two sets, so every block really changes the routes.
    const std::string blocks[2] = {lcrossBlocks(1), lcrossBlocks(2)};
    int k = 0;
    for (auto _ : state)
        runCaseLcrossRepaint(rig, blocks[k++ % 2]);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--once") == 0) {
        Rig rig;
        rig.middle();
        runCasePaint(rig);
        rig.view->fitAll();
        runCasePaint(rig);
        rig.middle();
        runCaseLcrossRepaint(rig, lcrossBlocks(1));
        std::printf("grid: %d rows x %d columns\n", rig.model->rowCount(),
                    rig.model->columnCount());
        return rig.model->rowCount() > 1000 ? 0 : 1;
    }
    benchmark::RegisterBenchmark("grid/paint-window", benchPaintWindow)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grid/paint-fit-all", benchPaintFitAll)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grid/lcross-repaint", benchLcrossRepaint)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
