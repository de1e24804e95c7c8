// Codec throughput, measured against the least any line reader must do: find
// the line end. Every decode case runs twice, once through the decoder and once
// as a bare memchr for '\r' over the same bytes; the ratio of the two says how
// much the decoder costs on top of framing, independent of the machine.
//
// The program also counts heap allocations made inside the timed calls. The
// codec is meant to run per received line without touching the heap, so any
// allocation there makes the program exit non-zero.

#include "protocol/CommandId.h"
#include "protocol/DeviceMessage.h"
#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Allocation counting. The replaced global operator new counts into whatever
// counter is open; only the codec calls inside the timed loops open one, so the
// benchmark library's own bookkeeping never shows up in the figures.

std::size_t* g_allocationSink = nullptr;

class AllocationWindow {
public:
    explicit AllocationWindow(std::size_t& counter) : m_counter(&counter) {}
    void open() { g_allocationSink = m_counter; }
    void close() { g_allocationSink = nullptr; }

private:
    std::size_t* m_counter;
};

void* countedAlloc(std::size_t size) {
    if (g_allocationSink != nullptr)
        ++*g_allocationSink;
    return std::malloc(size == 0 ? 1 : size);
}

void* countedAlignedAlloc(std::size_t size, std::align_val_t alignment) {
    if (g_allocationSink != nullptr)
        ++*g_allocationSink;
    const auto a = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + a - 1) / a * a;
    return std::aligned_alloc(a, rounded == 0 ? a : rounded);
}

// Kept out of line: once inlined into a delete expression, GCC pairs the free()
// with the operator new it sees and warns about a mismatch that is none.
[[gnu::noinline]] void release(void* p) noexcept { std::free(p); }

void* orThrow(void* p) {
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(std::size_t size) { return orThrow(countedAlloc(size)); }
void* operator new[](std::size_t size) { return orThrow(countedAlloc(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedAlloc(size);
}
void* operator new(std::size_t size, std::align_val_t a) {
    return orThrow(countedAlignedAlloc(size, a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return orThrow(countedAlignedAlloc(size, a));
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return countedAlignedAlloc(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return countedAlignedAlloc(size, a);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

namespace {

using velmar::CommandId;
using velmar::CResponseDecoder;
using velmar::DeviceMessage;

// Short enough that the whole program runs in a few seconds; pass
// --benchmark_min_time for steadier figures.
constexpr double kDefaultMinTime = 0.2;

// ---------------------------------------------------------------------------
// The cases. Each decode case checks once, before timing, that the line takes
// the intended path: timing the InvalidReply path by mistake would flatter the
// decoder.

struct DecodeCase {
    const char* name;
    std::string line;
    bool (*isExpected)(const CResponseDecoder&, const DeviceMessage&);
    std::size_t allocations = 0;
    bool measured = false;
};

std::string crosspointListLine() {
    std::string line = ":lcross,0,1,128";
    for (int output = 1; output <= 128; ++output)
        line += ',' + std::to_string((output * 37) % 1536 + 1);
    return line + '\r';
}

std::vector<DecodeCase> makeDecodeCases() {
    std::vector<DecodeCase> cases;
    cases.push_back(
        {"short-reply", ":gcross,0,5,17\r", [](const CResponseDecoder&, const DeviceMessage& m) {
             return m.command == CommandId::gcross && m.i(1) == 5 && m.i(2) == 17;
         }});
    cases.push_back(
        {"lcross-128", crosspointListLine(), [](const CResponseDecoder& d, const DeviceMessage& m) {
             return m.command == CommandId::lcross && m.i(2) == 128 &&
                    d.crosspointList()[127] == (128 * 37) % 1536 + 1;
         }});
    cases.push_back(
        {"gswver-4-pairs",
         ":gswver,0,1,'Main board','4.12.0.27','FPGA','3.1.0.12','Front panel','1.6.0.2',"
         "'IP module','4.2.2.1'\r",
         [](const CResponseDecoder&, const DeviceMessage& m) {
             return m.command == CommandId::gswver &&
                    m.text(velmar::fields::swVerFirst(3)) == "IP module" &&
                    m.text(velmar::fields::swVerSecond(3)) == "4.2.2.1";
         }});
    return cases;
}

struct EncodeCase {
    const char* name = "scross";
    std::string_view expected = "&scross,5,17,0,0\r";
    std::size_t allocations = 0;
    bool measured = false;
};

void benchDecode(benchmark::State& state, DecodeCase* c) {
    CResponseDecoder decoder;
    DeviceMessage message;
    const std::string_view bytes = c->line;
    const velmar::DecodeResult first = decoder.decode(bytes, message);
    if (!first.delivered || first.consumed != bytes.size() || !c->isExpected(decoder, message)) {
        state.SkipWithError("the line does not decode as expected");
        return;
    }
    AllocationWindow window(c->allocations);
    for (auto _ : state) {
        const char* data = bytes.data();
        benchmark::DoNotOptimize(data);
        window.open();
        const velmar::DecodeResult r = decoder.decode({data, bytes.size()}, message);
        window.close();
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    c->measured = true;
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

// The floor: finding the line end is all a reader has to do at the very least.
void benchFloor(benchmark::State& state, const DecodeCase* c) {
    const std::string_view bytes = c->line;
    for (auto _ : state) {
        const char* data = bytes.data();
        benchmark::DoNotOptimize(data);
        const void* end = std::memchr(data, '\r', bytes.size());
        benchmark::DoNotOptimize(end);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void benchEncode(benchmark::State& state, EncodeCase* c) {
    DeviceMessage message = DeviceMessage::request(CommandId::scross);
    message.setI(1, 5);
    message.setI(2, 17);
    std::array<char, velmar::kEncodeBufferSize> buffer{};
    const std::size_t first = velmar::encodeMessage(message, buffer);
    if (std::string_view(buffer.data(), first) != c->expected) {
        state.SkipWithError("the message does not encode as expected");
        return;
    }
    AllocationWindow window(c->allocations);
    std::size_t written = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(message);
        window.open();
        written = velmar::encodeMessage(message, buffer);
        window.close();
        benchmark::DoNotOptimize(written);
        benchmark::ClobberMemory();
    }
    c->measured = true;
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(written));
}

// ---------------------------------------------------------------------------
// Reporting: the usual console table, plus the per-iteration times kept by name
// so the ratios can be worked out once every benchmark has run.

class CollectingReporter : public benchmark::ConsoleReporter {
public:
    // Colour only on a terminal, so a captured run stays plain text.
    CollectingReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            // keyed by the registered name, without the "/min_time:..." suffix
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                m_nsPerLine[r.run_name.function_name] = r.GetAdjustedCPUTime();
            if (r.error_occurred)
                m_failed = true;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // ns per iteration, or a negative value when the benchmark did not run.
    double nsPerLine(const std::string& name) const {
        const auto it = m_nsPerLine.find(name);
        return it == m_nsPerLine.end() ? -1.0 : it->second;
    }
    bool anyFailed() const { return m_failed; }

private:
    std::map<std::string, double> m_nsPerLine;
    bool m_failed = false;
};

void printFigure(const char* what, const char* name, double ns, std::size_t bytes) {
    if (ns <= 0.0) {
        std::printf("%s %s: not run\n", what, name);
        return;
    }
    // bytes per ns times 1000 is MB/s (10^6 bytes)
    std::printf("%s %s: %.1f ns/line, %.1f MB/s (%zu bytes/line)\n", what, name, ns,
                static_cast<double>(bytes) / ns * 1000.0, bytes);
}

// A zero count only means something if the replaced operator new is the one in
// use (a sanitizer runtime, for one, brings its own).
bool allocationCountingWorks() {
    std::size_t count = 0;
    AllocationWindow window(count);
    window.open();
    std::vector<char> probe(64);
    window.close();
    benchmark::DoNotOptimize(probe.data());
    return count == 1;
}

bool hasFlag(int argc, char** argv, std::string_view flag) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with(flag))
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (!allocationCountingWorks()) {
        std::printf("FAILED: heap allocations cannot be counted in this build\n");
        return 1;
    }
    std::vector<DecodeCase> decodeCases = makeDecodeCases();
    EncodeCase encodeCase;
    const bool userMinTime = hasFlag(argc, argv, "--benchmark_min_time");

    const auto configure = [userMinTime](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kNanosecond);
        if (!userMinTime)
            b->MinTime(kDefaultMinTime);
    };
    for (DecodeCase& c : decodeCases) {
        configure(benchmark::RegisterBenchmark(("decode/" + std::string(c.name)).c_str(),
                                               benchDecode, &c));
        configure(
            benchmark::RegisterBenchmark(("floor/" + std::string(c.name)).c_str(), benchFloor, &c));
    }
    configure(benchmark::RegisterBenchmark("encode/scross", benchEncode, &encodeCase));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n");
    for (const DecodeCase& c : decodeCases)
        printFigure("decode", c.name, reporter.nsPerLine("decode/" + std::string(c.name)),
                    c.line.size());
    printFigure("encode", encodeCase.name, reporter.nsPerLine("encode/scross"),
                encodeCase.expected.size());
    for (const DecodeCase& c : decodeCases)
        printFigure("floor", c.name, reporter.nsPerLine("floor/" + std::string(c.name)),
                    c.line.size());

    for (const DecodeCase& c : decodeCases) {
        const double decode = reporter.nsPerLine("decode/" + std::string(c.name));
        const double floor = reporter.nsPerLine("floor/" + std::string(c.name));
        if (decode > 0.0 && floor > 0.0)
            std::printf("ratio decode/floor %s: %.1f\n", c.name, decode / floor);
    }

    std::size_t decodeAllocations = 0;
    bool decodeMeasured = false;
    for (const DecodeCase& c : decodeCases) {
        decodeAllocations += c.allocations;
        decodeMeasured = decodeMeasured || c.measured;
    }
    if (decodeMeasured)
        std::printf("allocations during decode: %zu\n", decodeAllocations);
    if (encodeCase.measured)
        std::printf("allocations during encode: %zu\n", encodeCase.allocations);

    if (reporter.anyFailed()) {
        std::printf("FAILED: a case did not take its intended path\n");
        return 1;
    }
    if (decodeAllocations != 0 || encodeCase.allocations != 0) {
        std::printf("FAILED: the codec allocated on the heap\n");
        return 1;
    }
    return 0;
}
