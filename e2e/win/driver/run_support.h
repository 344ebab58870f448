// What every run of the program needs: its settings, scripts, starting with a
// channel, clicking, waiting for the service to see a call, and the closing checks.
#pragma once

#include <string>
#include <vector>

#include "driver/program.h"
#include "driver/report.h"
#include "driver/service_channel.h"
#include "driver/window_picture.h"

namespace driver {

struct Settings {
    std::string exe;
    std::string picturesDir;  // empty: keep no pictures of failures
};

// Generous waits: a first start under Wine can take seconds.
constexpr DWORD WindowTimeoutMs = 60000;
constexpr DWORD PictureTimeoutMs = 10000;
constexpr DWORD CallTimeoutMs = 10000;
constexpr DWORD ExitTimeoutMs = 20000;

using e2e::NoSingleProcess;
constexpr HRESULT NotFound = static_cast<HRESULT>(0x80070490);

extern const GUID IidIUnknown;
extern const GUID IidIMMDeviceEnumerator;
extern const GUID IidIAudioSessionManager2;
extern const GUID IidIAudioSessionControl2;
extern const GUID IidISimpleAudioVolume;
bool SameGuid(const GUID& a, const GUID& b);
bool IsNullGuid(const GUID& guid);

e2e::SessionScript EligibleSession(const std::wstring& identifier, DWORD processId, float volume, BOOL mute, LONG state);
e2e::Script OneDeviceScript();  // every call up to the session list succeeds; no sessions

// A started program with its channel. `Start` reports its own failure into `c`.
struct Run {
    ServiceChannel channel;
    Program program;
    HWND window = nullptr;
    bool Start(const Settings& settings, const e2e::Script& script, Case& c);
    bool StartWithoutChannel(const Settings& settings, Case& c);
};

// The program's calls only: service -> sink records and fault records excluded.
bool IsProgramCall(const e2e::CallRecord& record);

// Presses a button with BM_CLICK, as a user's click would arrive.
bool Click(HWND window, int controlId);
// Waits until the log holds more than `already` records of `method`.
bool WaitForCalls(const ServiceChannel& channel, e2e::Method method, size_t already, DWORD timeoutMs);

// Top-level windows of the program other than its main window that are visible
// (a message box, a crash dialog), described for a failure line.
std::string StrayWindows(const Program& program);

// Compares one region, saving both pictures on a mismatch when asked to.
bool ExpectPicture(Case& c, const Settings& settings, HWND window, const ShownStatus& status, Region region, const char* label);

// WM_CLOSE, exit code 0, every service reference given back, no call on a released
// object. Returns the log as it stood at the end.
std::vector<e2e::CallRecord> ExpectCleanExit(Case& c, Run& run);

}  // namespace driver
