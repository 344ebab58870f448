// Runs where the audio service cannot give the program a session: the system's own
// service (under Wine it has no session list), no device, no session list, and a
// session that refuses ISimpleAudioVolume.
#include "driver/runs.h"

namespace driver {
namespace {

const int AllButtons[] = {Volume0Command, Volume25Command, Volume50Command, Volume100Command, SwapMuteCommand};

// The zero status: empty identifier panel, Volume: 0.000, Mute: 0, Inactive, PUID: 0.
void ExpectZeroStatus(Case& c, const Settings& settings, HWND window) {
    ShownStatus zero;
    ExpectPicture(c, settings, window, zero, Region::Panel, "empty identifier panel");
    ExpectPicture(c, settings, window, zero, Region::ValueRow, "zero value row");
}

void ExpectQuiet(Case& c, const Program& program) {
    std::string stray = StrayWindows(program);
    c.Expect(stray.empty(), "other windows shown: %s", stray.c_str());
}

size_t CommandCalls(const std::vector<e2e::CallRecord>& records) {
    return Only(records, e2e::CallSetMasterVolume).size() + Only(records, e2e::CallSetMute).size();
}

void ClickAll(Case& c, HWND window) {
    for (int id : AllButtons) c.Expect(Click(window, id), "BM_CLICK to button %d failed", id);
}

}  // namespace

void RunOverSystemService(const Settings& settings) {
    Run run;
    bool started;
    {
        Case c("system audio service: the window opens quietly and shows the zero status");
        started = run.StartWithoutChannel(settings, c);
        if (started) {
            ExpectQuiet(c, run.program);
            ExpectZeroStatus(c, settings, run.window);
            ClickAll(c, run.window);
            ExpectZeroStatus(c, settings, run.window);
            ExpectQuiet(c, run.program);
        }
    }
    if (!started) return;
    Case c("system audio service: WM_CLOSE ends the program with exit code 0");
    DWORD exitCode = 0xFFFFFFFF;
    if (c.Expect(run.program.Close(ExitTimeoutMs, &exitCode), "the program did not end after WM_CLOSE"))
        c.Expect(exitCode == 0, "exit code %lu (0x%08lx)", exitCode, exitCode);
}

void RunWithoutDevice(const Settings& settings) {
    e2e::Script script = OneDeviceScript();
    script.endpointResult = NotFound;
    Run run;
    {
        Case c("no playback device: zero status shown, no message box, buttons do nothing");
        if (!run.Start(settings, script, c)) return;
        ExpectQuiet(c, run.program);
        ExpectZeroStatus(c, settings, run.window);
        std::vector<e2e::CallRecord> records = run.channel.Records();
        c.Expect(Only(records, e2e::CallGetDefaultAudioEndpoint).size() == 1, "GetDefaultAudioEndpoint not asked once");
        c.Expect(Only(records, e2e::CallActivate).empty(), "Activate called without an endpoint");
        ClickAll(c, run.window);
        c.Expect(CommandCalls(run.channel.Records()) == 0, "a button reached the service");
        ExpectZeroStatus(c, settings, run.window);
    }
    {
        Case c("no playback device: exit code 0, device enumerator given back");
        ExpectCleanExit(c, run);
    }
}

void RunWithoutSessionList(const Settings& settings) {
    e2e::Script script = OneDeviceScript();
    script.sessionEnumeratorResult = E_NOTIMPL;
    Run run;
    Case c("session list refused: zero status; endpoint and session manager held until exit, then given back");
    if (!run.Start(settings, script, c)) return;
    ExpectQuiet(c, run.program);
    ExpectZeroStatus(c, settings, run.window);
    c.Expect(run.channel.Refs(e2e::SlotDevice) == 1 && run.channel.Refs(e2e::SlotSessionManager) == 1,
             "endpoint and session manager hold %ld and %ld references while running, expected 1 each",
             run.channel.Refs(e2e::SlotDevice), run.channel.Refs(e2e::SlotSessionManager));
    c.Expect(run.channel.Refs(e2e::SlotDeviceEnumerator) == 0, "device enumerator still held after binding");
    ClickAll(c, run.window);
    c.Expect(CommandCalls(run.channel.Records()) == 0, "a button reached the service");
    ExpectCleanExit(c, run);
}

void RunWithoutSimpleVolume(const Settings& settings) {
    e2e::Script script = OneDeviceScript();
    script.count = 1;
    script.sessions[0] = EligibleSession(L"{0.0.0.00000000}.{...}|\\Device\\quiet.exe%b{4}", 31, 0.6f, TRUE, 1);
    script.sessions[0].simpleVolumeResult = E_NOINTERFACE;
    Run run;
    {
        Case c("session without ISimpleAudioVolume: bound, shown with volume 0 and mute 0");
        if (!run.Start(settings, script, c)) return;
        std::vector<e2e::CallRecord> records = run.channel.Records();
        c.Expect(Only(records, e2e::CallRegisterNotification).size() == 1, "the session was not bound");
        c.Expect(Only(records, e2e::CallGetMasterVolume).empty() && Only(records, e2e::CallGetMute).empty(),
                 "volume or mute read without ISimpleAudioVolume");
        ShownStatus status;
        status.identifier = L"{0.0.0.00000000}.{...}|\\Device\\quiet.exe%b{4}";
        status.state = 1;
        status.processId = 31;
        ExpectPicture(c, settings, run.window, status, Region::Panel, "identifier panel");
        ExpectPicture(c, settings, run.window, status, Region::ValueRow, "Volume: 0.000, Mute: 0, Active, PUID: 31");
    }
    {
        Case c("session without ISimpleAudioVolume: buttons ask for it and change nothing; clean exit");
        size_t before = Only(run.channel.Records(), e2e::CallQueryInterface).size();
        ClickAll(c, run.window);
        std::vector<e2e::CallRecord> records = run.channel.Records();
        size_t asked = 0;
        std::vector<e2e::CallRecord> queries = Only(records, e2e::CallQueryInterface);
        for (size_t i = before; i < queries.size(); ++i)
            if (SameGuid(queries[i].guid, IidISimpleAudioVolume)) ++asked;
        c.Expect(asked == 5, "%zu requests for ISimpleAudioVolume after five clicks", asked);
        c.Expect(CommandCalls(records) == 0, "a volume or mute call reached the service");
        ExpectCleanExit(c, run);
    }
}

}  // namespace driver
