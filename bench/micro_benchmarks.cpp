// Micro-benchmarks of the work done per key stroke and per scan.
#include "capture/capture_control.h"
#include "capture/key_queue.h"
#include "capture/scan_assembly.h"
#include "capture/scan_translation.h"
#include "forwarding/scan_frame.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A scanner's typing: press and release of letters and digits, with Shift now and then.
std::vector<std::pair<uint16_t, bool>> ScannerStrokes() {
    std::vector<std::pair<uint16_t, bool>> strokes;
    const uint16_t codes[] = {0x1E, 0x30, 0x2E, 0x20, 0x02, 0x03, 0x04, 0x1C};
    for (int k = 0; k < 256; ++k) {
        uint16_t code = codes[k % 8];
        if (k % 16 == 5) {
            strokes.emplace_back(0x2A, false);
        }
        strokes.emplace_back(code, false);
        strokes.emplace_back(code, true);
        if (k % 16 == 5) {
            strokes.emplace_back(0x2A, true);
        }
    }
    return strokes;
}

void TranslateStrokeBenchmark(benchmark::State& state) {
    auto strokes = ScannerStrokes();
    ModifierState modifiers;
    size_t at = 0;
    for (auto _ : state) {
        auto& stroke = strokes[at];
        benchmark::DoNotOptimize(TranslateStroke(stroke.first, stroke.second, modifiers));
        at = at + 1 == strokes.size() ? 0 : at + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(TranslateStrokeBenchmark);

void BuildScanFrameBenchmark(benchmark::State& state) {
    std::string scan;
    for (int64_t k = 0; k < state.range(0); ++k) {
        scan.push_back(static_cast<char>("0123456789ABCDEFGHIJ\r\xe9"[k % 22]));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildScanFrame(scan));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));  // per scan byte
}
BENCHMARK(BuildScanFrameBenchmark)->Arg(13)->Arg(300)->Arg(7000);

// The capture thread's append while the UI thread takes the queue whole, as fast as it can.
void KeyQueueAppendBenchmark(benchmark::State& state) {
    KeyQueueClear();
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> taken{0};
    std::thread taker([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            taken += KeyQueueTakeAll().size();
        }
    });
    for (auto _ : state) {
        KeyQueueAppend({KeyEventKind::Character, 'A'});
    }
    stop = true;
    taker.join();
    KeyQueueClear();
    state.SetItemsProcessed(state.iterations());
    state.counters["taken"] = static_cast<double>(taken.load());
}
BENCHMARK(KeyQueueAppendBenchmark)->UseRealTime();

void KeyQueueTakeAllBenchmark(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        for (int k = 0; k < state.range(0); ++k) {
            KeyQueueAppend({KeyEventKind::Character, 'A'});
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(KeyQueueTakeAll());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(KeyQueueTakeAllBenchmark)->Arg(16)->Arg(7000);

// One timer tick's work per key event: scans of 20 characters, no client, no window.
void ProcessKeyEventsBenchmark(benchmark::State& state) {
    captureActive = true;
    const int64_t events = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        for (int64_t k = 0; k < events; ++k) {
            bool end = k % 21 == 20;
            KeyQueueAppend({end ? KeyEventKind::End : KeyEventKind::Character,
                            static_cast<uint8_t>('A' + k % 26)});
        }
        state.ResumeTiming();
        ProcessKeyEvents();
    }
    captureActive = false;
    ScanBufferClear();
    state.SetItemsProcessed(state.iterations() * events);
}
BENCHMARK(ProcessKeyEventsBenchmark)->Arg(21)->Arg(2100);

}  // namespace

BENCHMARK_MAIN();
