#include "driver/program.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "audio/session_event_sink.h"
#include "channel.h"

namespace driver {
namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
    std::vector<TopWindow>* all;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    char className[256] = {};
    char title[256] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (search->all != nullptr) search->all->push_back({window, className, title, IsWindowVisible(window) != FALSE});
    if (lstrcmpA(className, MainWindowClass) == 0 && lstrcmpA(title, MainWindowTitle) == 0) search->found = window;
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
    auto* children = reinterpret_cast<std::vector<ChildWindow>*>(parameter);
    ChildWindow found = {};
    found.handle = child;
    char text[256] = {};
    GetClassNameA(child, text, sizeof text);
    found.className = text;
    text[0] = 0;
    GetWindowTextA(child, text, sizeof text);
    found.text = text;
    found.id = GetWindowLongPtrA(child, GWLP_ID);
    GetWindowRect(child, &found.rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&found.rect), 2);
    found.style = GetWindowLongPtrA(child, GWL_STYLE);
    found.exStyle = GetWindowLongPtrA(child, GWL_EXSTYLE);
    children->push_back(found);
    return TRUE;
}

}  // namespace

Program::~Program() {
    if (info_.hProcess != nullptr) {
        if (Running()) {
            TerminateProcess(info_.hProcess, 0xDEAD);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool Program::Start(const std::string& exe, const std::string& channel, std::string* why) {
    // The child inherits the driver's environment; the channel name rides along only
    // for this one start.
    SetEnvironmentVariableA(e2e::ChannelVariable, channel.empty() ? nullptr : channel.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    BOOL started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_);
    DWORD error = GetLastError();
    SetEnvironmentVariableA(e2e::ChannelVariable, nullptr);
    if (!started) {
        info_ = {};
        if (why != nullptr) *why = "CreateProcess failed with error " + std::to_string(error) + " for " + exe;
        return false;
    }
    return true;
}

HWND Program::WaitForWindow(DWORD timeoutMs) {
    DWORD from = GetTickCount();
    while (GetTickCount() - from < timeoutMs) {
        WindowSearch search = {info_.dwProcessId, nullptr, nullptr};
        EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && IsWindowVisible(search.found)) {
            window_ = search.found;
            return window_;
        }
        if (!Running()) return nullptr;
        Sleep(50);
    }
    return nullptr;
}

DWORD Program::WindowThread() const { return window_ != nullptr ? GetWindowThreadProcessId(window_, nullptr) : 0; }

std::vector<TopWindow> Program::TopWindows() const {
    std::vector<TopWindow> all;
    WindowSearch search = {info_.dwProcessId, nullptr, &all};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&search));
    return all;
}

namespace {

// A status field's value type: the program's atomics hold plain words.
template <typename T>
struct Held {
    using type = T;
};
template <typename T>
struct Held<std::atomic<T>> {
    using type = T;
};

}  // namespace

// SessionEventSink has a table of virtual functions, so offsetof on it is only
// conditionally supported; mingw-w64's GCC, which built the program too, supports it
// and gives the offsets the program's code uses. The pointer the program registered
// is the object's address: IAudioSessionEvents is the class's only base.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#define SESSIONVOL_COPY_SINK_FIELD(field)                                                                              \
    static_assert(std::is_same_v<Held<decltype(SessionEventSink::field)>::type, decltype(image->field)>,               \
                  "SinkImage::" #field " has another type than the program's");                                        \
    static_assert(sizeof(SessionEventSink::field) == sizeof image->field, "the program's " #field " is another size"); \
    std::memcpy(&image->field, bytes + offsetof(SessionEventSink, field), sizeof image->field)

bool Program::ReadSink(UINT64 address, SinkImage* image) const {
    alignas(SessionEventSink) unsigned char bytes[sizeof(SessionEventSink)];
    SIZE_T read = 0;
    if (!ReadProcessMemory(info_.hProcess, reinterpret_cast<const void*>(address), bytes, sizeof bytes, &read) ||
        read != sizeof bytes)
        return false;
    SESSIONVOL_COPY_SINK_FIELD(refCount);
    SESSIONVOL_COPY_SINK_FIELD(sessionId);
    SESSIONVOL_COPY_SINK_FIELD(volume);
    SESSIONVOL_COPY_SINK_FIELD(mute);
    SESSIONVOL_COPY_SINK_FIELD(sessionGone);
    SESSIONVOL_COPY_SINK_FIELD(state);
    SESSIONVOL_COPY_SINK_FIELD(processId);
    return true;
}
#undef SESSIONVOL_COPY_SINK_FIELD
#pragma GCC diagnostic pop

bool Program::Running() const { return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

bool Program::Close(DWORD timeoutMs, DWORD* exitCode) {
    if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(info_.hProcess, exitCode) != FALSE;
}

std::vector<ChildWindow> Children(HWND parent) {
    std::vector<ChildWindow> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

}  // namespace driver
