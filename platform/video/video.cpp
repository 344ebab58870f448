// Picks the video backend: the first entry of the requested order that creates.
#include "video/video.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform::video {
namespace {

struct Selection {
    std::mutex lock;
    std::unique_ptr<Backend> open;
    std::vector<std::string> overrideOrder;
};

Selection& selection() {
    // Never destroyed: windows, their surfaces and the display connection stay valid
    // until the process ends, whatever order static destructors run in.
    static Selection* instance = new Selection;
    return *instance;
}

std::vector<std::string> SplitNames(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string name = list.substr(start, comma - start);
        while (!name.empty() && name.front() == ' ') name.erase(name.begin());
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (!name.empty()) names.push_back(name);
        start = comma + 1;
    }
    return names;
}

const BackendEntry* FindEntry(const std::string& name) {
    for (const BackendEntry& entry : AllBackends()) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

std::vector<std::string> RequestedOrder(const Selection& state) {
    if (!state.overrideOrder.empty()) return state.overrideOrder;
    if (const char* fromEnvironment = std::getenv("PLATFORM_VIDEO")) {
        std::vector<std::string> names = SplitNames(fromEnvironment);
        if (!names.empty()) return names;
    }
    return DefaultOrder();
}

}  // namespace

std::span<const BackendEntry> AllBackends() {
    static const BackendEntry entries[] = {X11BackendEntry, OffscreenBackendEntry};
    return entries;
}

std::vector<std::string> DefaultOrder() { return {"x11"}; }

Backend* Current() {
    Selection& state = selection();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.open) return state.open.get();
    std::string tried;
    for (const std::string& name : RequestedOrder(state)) {
        std::string whyNot;
        if (const BackendEntry* entry = FindEntry(name)) {
            state.open = entry->create(whyNot);
            if (state.open) return state.open.get();
        } else {
            whyNot = "unknown backend";
        }
        if (!tried.empty()) tried += ", ";
        tried += name + " (" + whyNot + ")";
    }
    std::fprintf(stderr, "video: no backend could start; tried %s\n", tried.empty() ? "nothing" : tried.c_str());
    return nullptr;
}

Backend* CurrentIfOpen() {
    Selection& state = selection();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.open.get();
}

void Close() {
    std::unique_ptr<Backend> closing;
    {
        Selection& state = selection();
        std::lock_guard<std::mutex> guard(state.lock);
        closing = std::move(state.open);
    }
}

void OverrideOrder(std::vector<std::string> names) {
    Close();
    Selection& state = selection();
    std::lock_guard<std::mutex> guard(state.lock);
    state.overrideOrder = std::move(names);
}

}  // namespace platform::video
