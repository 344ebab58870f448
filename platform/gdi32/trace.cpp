#include "gdi32/trace.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace platform::gdi32 {
namespace {

std::atomic<bool> traceEnabled{false};
thread_local int platformDrawingDepth = 0;

struct TraceLog {
    std::mutex lock;
    std::vector<GdiCall> calls;
};

TraceLog& RecordedTrace() {
    static TraceLog instance;
    return instance;
}

}  // namespace

PlatformDrawing::PlatformDrawing() { ++platformDrawingDepth; }
PlatformDrawing::~PlatformDrawing() { --platformDrawingDepth; }

void EnableTrace(bool enabled) {
    traceEnabled.store(enabled);
    TakeTrace();
}

bool TraceWanted() { return traceEnabled.load() && platformDrawingDepth == 0; }

void Record(GdiCall call) {
    if (!TraceWanted()) return;
    TraceLog& state = RecordedTrace();
    std::lock_guard<std::mutex> guard(state.lock);
    state.calls.push_back(std::move(call));
}

std::vector<GdiCall> TakeTrace() {
    TraceLog& state = RecordedTrace();
    std::lock_guard<std::mutex> guard(state.lock);
    std::vector<GdiCall> taken;
    taken.swap(state.calls);
    return taken;
}

std::string Describe(const GdiCall& call) {
    std::string line = call.function + "(dc=" + std::to_string(reinterpret_cast<uintptr_t>(call.dc));
    for (long long argument : call.args) line += ", " + std::to_string(argument);
    if (call.function.rfind("DrawText", 0) == 0) {
        char detail[160];
        std::snprintf(detail, sizeof detail, ", (%d,%d,%d,%d), flags=0x%x, textColor=0x%06x, bkMode=%d", call.rect.left,
                      call.rect.top, call.rect.right, call.rect.bottom, call.flags, call.textColor, call.bkMode);
        line += ", \"" + call.text + "\"" + detail;
    }
    return line + ") = " + std::to_string(call.result);
}

}  // namespace platform::gdi32
