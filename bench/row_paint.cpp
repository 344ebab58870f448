// What one value-row change costs the window thread: the WM_TIMER arm finding a new
// volume, drawing the row through GetDC and sending it to the X display. The program's
// own window on the display named by DISPLAY, with the simulated audio service.
//
//   row_paint [CHANGES]     (default 2000)
// Prints the percentiles of wall time and of the thread's CPU time per change.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "display/value_row.h"

namespace {

int64_t Now(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void Print(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))]; };
    std::printf("row change painted and presented, %s over %zu: p50 %.3f ms, p95 %.3f ms, p99 %.3f ms\n", what, samples.size(),
                at(0.5), at(0.95), at(0.99));
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 2000;
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    windowClass.lpszClassName = "RowPaintBench";
    if (!RegisterClassA(&windowClass)) return 1;
    ResetAppState();
    CoInitialize(nullptr);
    HWND window = CreateWindowExA(0, "RowPaintBench", "row paint bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 800, 400, nullptr, nullptr, nullptr, nullptr);
    if (!window) return 1;
    AppState.hwndMain = window;
    UpdateWindow(window);
    std::vector<double> wall, cpu;
    for (int i = 0; i < changes; ++i) {
        AppState.sink.volume.store(i % 2 ? 0.5f : 0.25f);
        const int64_t wallStart = Now(CLOCK_MONOTONIC), cpuStart = Now(CLOCK_THREAD_CPUTIME_ID);
        MainWndProc(window, WM_TIMER, RefreshTimerId, 0);
        cpu.push_back((Now(CLOCK_THREAD_CPUTIME_ID) - cpuStart) / 1e6);
        wall.push_back((Now(CLOCK_MONOTONIC) - wallStart) / 1e6);
    }
    Print("wall time", wall);
    Print("CPU time", cpu);
    DestroyWindow(window);
    CoUninitialize();
    return 0;
}
