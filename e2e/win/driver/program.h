// One run of sessionvol.exe: start it (with or without a service channel), find its
// main window, look into its memory, close it and collect its exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/command_buttons.h"
#include "program_names.h"

namespace driver {

// The count and the bound session's status, as the program's SessionEventSink holds
// them (src/audio/session_event_sink.h): ReadSink copies each field from where the
// program's own class puts it.
struct SinkImage {
    ULONG refCount;
    WCHAR sessionId[512];
    float volume;
    BOOL mute;
    INT sessionGone;
    INT state;
    DWORD processId;
};

struct TopWindow {
    HWND handle;
    std::string className;
    std::string title;
    bool visible;
};

class Program {
public:
    Program() = default;
    ~Program();  // a program still running at this point is terminated
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // `channel` empty: the program gets whatever audio service the system registers.
    bool Start(const std::string& exe, const std::string& channel, std::string* why);
    // Waits generously for the main window of this process.
    HWND WaitForWindow(DWORD timeoutMs);
    HWND Window() const { return window_; }
    DWORD WindowThread() const;
    DWORD ProcessId() const { return info_.dwProcessId; }

    std::vector<TopWindow> TopWindows() const;
    bool ReadSink(UINT64 address, SinkImage* image) const;
    bool Running() const;

    // Posts WM_CLOSE and waits for the process to end.
    bool Close(DWORD timeoutMs, DWORD* exitCode);

private:
    PROCESS_INFORMATION info_ = {};
    HWND window_ = nullptr;
};

// Every button the program made: class, text, identifier, rectangle in the parent's
// client coordinates, styles.
struct ChildWindow {
    HWND handle;
    std::string className;
    std::string text;
    LONG_PTR id;
    RECT rect;
    LONG_PTR style;
    LONG_PTR exStyle;
};
std::vector<ChildWindow> Children(HWND parent);

}  // namespace driver
