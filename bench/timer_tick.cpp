// The refresh timer's common case: nothing changed, so the tick only compares.
// Measures the WM_TIMER arm as the window procedure runs it.
#include <benchmark/benchmark.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "display/value_row.h"

namespace {

void IdleTimerTick(benchmark::State& state) {
    ResetAppState();
    AppState.sink.volume = 0.25f;
    AppState.paintedVolume = 0.25f;
    for (auto _ : state) benchmark::DoNotOptimize(MainWndProc(nullptr, WM_TIMER, RefreshTimerId, 0));
}
BENCHMARK(IdleTimerTick);

}  // namespace

BENCHMARK_MAIN();
