#include "driver/run_support.h"

#include <cstring>

namespace driver {

const GUID IidIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID IidIMMDeviceEnumerator = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
const GUID IidIAudioSessionManager2 = {0x77AA99A0, 0x1BD6, 0x484F, {0x8B, 0xC7, 0x2C, 0x65, 0x4C, 0x9A, 0x9B, 0x6F}};
const GUID IidIAudioSessionControl2 = {0xBFB7FF88, 0x7239, 0x4FC9, {0x8F, 0xA2, 0x07, 0xC9, 0x50, 0xBE, 0x9C, 0x6D}};
const GUID IidISimpleAudioVolume = {0x87CE5498, 0x68D6, 0x44E5, {0x92, 0x15, 0x6D, 0xA4, 0x7E, 0xF8, 0x83, 0xD8}};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

bool IsNullGuid(const GUID& guid) {
    static const GUID zero = {};
    return SameGuid(guid, zero);
}

e2e::SessionScript EligibleSession(const std::wstring& identifier, DWORD processId, float volume, BOOL mute, LONG state) {
    e2e::SessionScript session = {};
    session.present = 1;
    session.control2Result = S_OK;
    session.simpleVolumeResult = S_OK;
    session.systemSoundsResult = S_FALSE;
    session.processIdResult = S_OK;
    session.processId = processId;
    session.identifierResult = S_OK;
    session.identifierUnits = static_cast<LONG>(identifier.size());
    for (size_t unit = 0; unit < identifier.size() && unit < e2e::MaxIdentifierUnits; ++unit)
        session.identifier[unit] = identifier[unit];
    session.volume = volume;
    session.mute = mute;
    session.muteResult = S_OK;
    session.state = state;
    return session;
}

e2e::Script OneDeviceScript() {
    e2e::Script script = {};
    script.createInstanceResult = S_OK;
    script.endpointResult = S_OK;
    script.activateResult = S_OK;
    script.sessionEnumeratorResult = S_OK;
    script.countResult = S_OK;
    script.count = 0;
    script.notifyMode = e2e::NotifyAtOnce;
    return script;
}

bool Run::Start(const Settings& settings, const e2e::Script& script, Case& c) {
    if (!c.Expect(channel.Create(script), "cannot create the service channel (error %lu)", GetLastError())) return false;
    std::string why;
    bool started = program.Start(settings.exe, channel.Name(), &why);
    if (!c.Expect(started, "%s", why.c_str())) return false;
    window = program.WaitForWindow(WindowTimeoutMs);
    if (!c.Expect(window != nullptr, "no visible main window (class %s, title \"%s\") within %lu ms%s", MainWindowClass,
                  MainWindowTitle, WindowTimeoutMs, program.Running() ? "" : "; the program has exited"))
        return false;
    return c.Expect(channel.ServiceLoaded(),
                    "the program did not load the test audio service: MMDeviceEnumerator is not registered to it");
}

bool Run::StartWithoutChannel(const Settings& settings, Case& c) {
    std::string why;
    bool started = program.Start(settings.exe, std::string(), &why);
    if (!c.Expect(started, "%s", why.c_str())) return false;
    window = program.WaitForWindow(WindowTimeoutMs);
    return c.Expect(window != nullptr, "no visible main window within %lu ms%s", WindowTimeoutMs,
                    program.Running() ? "" : "; the program has exited");
}

bool IsProgramCall(const e2e::CallRecord& record) {
    return record.method < e2e::SinkOnSimpleVolumeChanged && record.method != e2e::CallReleasedObjectUsed;
}

bool Click(HWND window, int controlId) {
    HWND button = GetDlgItem(window, controlId);
    if (button == nullptr) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
}

bool WaitForCalls(const ServiceChannel& channel, e2e::Method method, size_t already, DWORD timeoutMs) {
    DWORD from = GetTickCount();
    for (;;) {
        if (Only(channel.Records(), method).size() > already) return true;
        if (GetTickCount() - from >= timeoutMs) return false;
        Sleep(20);
    }
}

std::string StrayWindows(const Program& program) {
    std::string stray;
    for (const TopWindow& top : program.TopWindows()) {
        if (!top.visible || top.handle == program.Window()) continue;
        if (!stray.empty()) stray += ", ";
        stray += "\"" + top.title + "\" (" + top.className + ")";
    }
    return stray;
}

bool ExpectPicture(Case& c, const Settings& settings, HWND window, const ShownStatus& status, Region region, const char* label) {
    std::string why;
    if (WaitForPicture(window, status, region, PictureTimeoutMs, &why)) return true;
    c.Fail("%s: %s", label, why.c_str());
    if (!settings.picturesDir.empty()) {
        std::string stem = settings.picturesDir + "\\";
        for (const char* p = label; *p != 0; ++p) stem += (isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
        SavePictures(window, status, stem);
    }
    return false;
}

std::vector<e2e::CallRecord> ExpectCleanExit(Case& c, Run& run) {
    DWORD exitCode = 0xFFFFFFFF;
    if (c.Expect(run.program.Close(ExitTimeoutMs, &exitCode), "the program did not end within %lu ms of WM_CLOSE", ExitTimeoutMs))
        c.Expect(exitCode == 0, "exit code %lu (0x%08lx), expected 0", exitCode, exitCode);
    std::vector<e2e::CallRecord> records = run.channel.Records();
    for (LONG slot = 0; slot < e2e::SlotCount; ++slot)
        c.Expect(run.channel.Refs(slot) == 0, "service object %ld still holds %ld reference(s) at exit", slot,
                 run.channel.Refs(slot));
    for (const e2e::CallRecord& record : Only(records, e2e::CallReleasedObjectUsed))
        c.Fail("service object %ld used after its last reference was given back (method %ld)", record.slot, record.integer);
    c.Expect(run.channel.RecordsDropped() == 0, "the call log overflowed");
    return records;
}

}  // namespace driver
