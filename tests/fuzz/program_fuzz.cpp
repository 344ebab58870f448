// Fuzz target: the real WinMain on the offscreen window system over the simulated
// audio service, driven by a sequence of events decoded from the input bytes.
//
// Input: a header that scripts the session and its faults at binding, then events,
// each an opcode byte (its value modulo the number of arms picks the arm) followed by
// the arm's arguments. Missing bytes read as zero, so every input is a valid run.
//
// After the events the service is flushed and one timer tick passes; then the value
// row must show exactly the last volume, mute and state the service notified (the
// values read at binding when none came), the process ID must be the one bound, and
// once the program has exited every COM reference, task-memory block and
// registration must be back. A violation aborts, which the fuzzer reports as a crash.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "recording_events.h"
#include "testing/audio_test.h"
#include "testing/window_test.h"

namespace {

using platform::test::AudioCall;
using platform::test::AudioFault;
using platform::test::AudioScenario;
using platform::test::Program;
using platform::test::ScriptedAudioService;
using platform::test::ScriptedSession;
using platform::test::Step;

void Require(bool holds, const char* what, const std::string& detail = "") {
    if (holds) return;
    std::fprintf(stderr, "program fuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return next_ >= size_; }
    uint8_t U8() { return next_ < size_ ? data_[next_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    float F32() {
        uint32_t bits = U32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t next_ = 0;
};

// The scripted session and which of its reads and eligibility checks fail.
struct Script {
    AudioScenario scenario;
    std::vector<AudioFault> faults;
    bool volumeFails = false, muteFails = false, stateFails = false;
    size_t index = 0;  // the application session's place in the enumeration
    bool eligible = true;
    bool changeAtRegistration = false;
    float registrationVolume = 0.0f;
    int registrationState = 0;
};

Script DecodeScript(Bytes& in) {
    Script script;
    const uint8_t flags = in.U8();
    const uint8_t fault = in.U8();
    ScriptedSession app;
    app.identifier = u"{0.0.0.00000000}.{fuzz}|/usr/bin/player%b{1}";
    app.volume = in.F32();
    app.mute = in.I32();
    app.state = in.I32();
    app.processId = in.U32();
    script.registrationVolume = in.F32();
    script.registrationState = in.I32();

    if (flags & 0x01) {
        ScriptedSession systemSounds;
        systemSounds.identifier = u"system";
        systemSounds.systemSounds = true;
        script.scenario.sessions.push_back(systemSounds);
        script.index = 1;
    }
    app.hasSimpleVolume = (flags & 0x02) == 0;
    const size_t at = script.index;
    auto fail = [&script, at](AudioCall call, HRESULT result) { script.faults.push_back({call, result, at}); };
    script.volumeFails = (flags & 0x04) != 0;
    script.muteFails = (flags & 0x08) != 0;
    script.stateFails = (flags & 0x10) != 0;
    if (script.volumeFails) fail(AudioCall::GetMasterVolume, E_FAIL);
    if (script.muteFails) fail(AudioCall::GetMute, E_FAIL);
    if (script.stateFails) fail(AudioCall::GetState, E_FAIL);
    if (flags & 0x20) fail(AudioCall::GetProcessId, AUDCLNT_S_NO_SINGLE_PROCESS);
    script.changeAtRegistration = (flags & 0x40) != 0;
    if (flags & 0x80) {
        // One fault that leaves nothing bound.
        switch (fault % 11) {
        case 0: fail(AudioCall::GetSession, E_FAIL); break;
        case 1: app.hasControl2 = false; break;
        case 2: fail(AudioCall::GetProcessId, E_FAIL); break;
        case 3: fail(AudioCall::GetSessionIdentifier, E_OUTOFMEMORY); break;
        case 4: app.identifier.clear(); break;
        case 5: app.systemSounds = true; break;
        case 6: script.faults.push_back({AudioCall::CoCreateInstance, REGDB_E_CLASSNOTREG}); break;
        case 7: script.faults.push_back({AudioCall::GetDefaultAudioEndpoint, E_NOTFOUND}); break;
        case 8: script.faults.push_back({AudioCall::Activate, AUDCLNT_E_DEVICE_INVALIDATED}); break;
        case 9: script.faults.push_back({AudioCall::GetSessionEnumerator, E_NOTIMPL}); break;
        default: script.faults.push_back({AudioCall::GetCount, E_FAIL}); break;
        }
        script.eligible = false;
    }
    script.scenario.sessions.push_back(app);
    return script;
}

// The value row as the program draws it, from the drawing calls it made.
struct Row {
    std::string volume, mute, state, processId;
};

void TakeRow(Program& program, Row& row) {
    const LONG left = AppState.valueRowRect.left;
    for (const platform::test::GdiCall& call : program.TakeTrace()) {
        if (call.function != "DrawTextA" || call.rect.top != AppState.valueRowRect.top) continue;
        const LONG offset = call.rect.left - left;
        if (offset == 0) row.volume = call.text;
        if (offset == 310) row.mute = call.text;
        if (offset == 470) row.state = call.text;
        if (offset == 630) row.processId = call.text;
    }
}

std::string Format(const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string StateText(INT state) {
    switch (state) {
    case 0: return "Inactive";
    case 1: return "Active";
    case 2: return "Expired";
    default: return "no state";
    }
}

constexpr int CommandIds[] = {110, 111, 112, 113, 100};
constexpr int Arms = 9;

// One decoded event as a step on the window thread. Each step first lets the service
// deliver what earlier steps caused, so that runs replay exactly.
Step DecodeEvent(Bytes& in, ScriptedAudioService& audio, size_t session) {
    switch (in.U8() % Arms) {
    case 0: {
        const float volume = in.F32();
        const BOOL mute = in.I32();
        return [&audio, session, volume, mute](Program&) { audio.SendVolumeNotification(session, volume, mute); };
    }
    case 1: {
        const int state = in.I32();
        return [&audio, session, state](Program&) { audio.ChangeState(session, state); };
    }
    case 2: {
        const auto reason = static_cast<AudioSessionDisconnectReason>(in.I32());
        return [&audio, session, reason](Program&) { audio.Disconnect(session, reason); };
    }
    case 3: return [&audio, session](Program&) { audio.ChangeState(session, AudioSessionStateExpired); };
    case 4: {
        const int id = CommandIds[in.U8() % 5];
        return [id](Program& program) { program.Click(program.Control(id)); };
    }
    case 5: {
        const WPARAM command = in.U32();
        return [command](Program& program) { PostMessageA(program.MainWindow(), WM_COMMAND, command, 0); };
    }
    case 6: {
        const int width = in.U16(), height = in.U16();
        return [width, height](Program& program) { program.Resize(width, height); };
    }
    case 7: {
        const uint8_t how = in.U8();
        const RECT area = {static_cast<int16_t>(in.U16()), static_cast<int16_t>(in.U16()), static_cast<int16_t>(in.U16()),
                           static_cast<int16_t>(in.U16())};
        return [how, area](Program& program) {
            InvalidateRect(program.MainWindow(), (how & 1) ? nullptr : &area, (how & 2) ? TRUE : FALSE);
        };
    }
    default: {
        const uint32_t milliseconds = in.U16() % 2000;
        return [milliseconds](Program& program) { program.AdvanceTime(milliseconds); };
    }
    }
}

constexpr size_t MaxEvents = 64;

void RunOne(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    Script script = DecodeScript(in);
    const size_t session = script.index;
    auto audio = platform::test::UseScriptedAudio(script.scenario, script.faults);
    if (script.changeAtRegistration) {
        const float volume = script.registrationVolume;
        const int state = script.registrationState;
        audio->AtNextRegistration([&audio = *audio, volume, state](size_t registering) {
            audio.OtherClientSetVolume(registering, volume);
            audio.ChangeState(registering, state);
            audio.Flush();
        });
    }

    RecordingEvents recorder;
    Row row;
    bool bound = false;
    DWORD boundProcessId = 0;
    // What binding read, until a notification says otherwise.
    float expectedVolume = 0.0f;
    BOOL expectedMute = 0;
    INT expectedState = 0;

    std::vector<Step> steps;
    // First: what binding left, before anything else can happen.
    steps.push_back([&](Program& program) {
        TakeRow(program, row);
        bound = AppState.session != nullptr;
        Require(bound == script.eligible, "bound a session against the script, or missed one:", bound ? "bound" : "not bound");
        if (!bound) return;
        const ScriptedSession at = audio->Session(session);
        boundProcessId = at.processId;
        Require(AppState.sink.processId == boundProcessId, "bound the wrong process ID");
        // Binding reads the session after the registration change; failed reads leave zeros.
        const bool simple = at.hasSimpleVolume;
        expectedVolume = simple && !script.volumeFails ? at.volume : 0.0f;
        expectedMute = simple && !script.muteFails && at.mute == 1 ? 1 : 0;
        expectedState = !script.stateFails ? at.state : 0;
        Require(audio->Notifications().Register(session, &recorder) == S_OK, "cannot register the recorder");
    });
    for (size_t event = 0; event < MaxEvents && !in.Empty(); ++event) {
        Step step = DecodeEvent(in, *audio, session);
        steps.push_back([&, step](Program& program) {
            audio->Flush();
            step(program);
            TakeRow(program, row);
            Require(AppState.sink.processId == boundProcessId, "the process ID changed after binding");
        });
    }
    steps.push_back([&](Program& program) {
        audio->Flush();
        TakeRow(program, row);
        program.AdvanceTime(30);
    });
    steps.push_back([&](Program& program) {
        audio->Flush();
        TakeRow(program, row);
        if (bound) {
            const auto volumes = recorder.Volumes();
            const auto states = recorder.States();
            if (!volumes.empty()) {
                expectedVolume = volumes.back().volume;
                expectedMute = volumes.back().mute;
            }
            if (!states.empty()) expectedState = states.back();
            audio->Notifications().Unregister(session, &recorder);
        }
        // +0.0 and -0.0 compare equal, so a change between them alone is not redrawn.
        const std::string volume = Format("Volume: %0.3f", static_cast<double>(expectedVolume));
        const std::string otherZero = Format("Volume: %0.3f", static_cast<double>(-expectedVolume));
        Require(row.volume == volume || (expectedVolume == 0.0f && row.volume == otherZero),
                "volume shown:", row.volume + ", notified " + volume);
        Require(row.mute == "Mute: " + std::to_string(expectedMute), "mute shown:", row.mute);
        Require(row.state == StateText(expectedState), "state shown:", row.state + ", notified " + StateText(expectedState));
        Require(row.processId == "PUID: " + std::to_string(boundProcessId), "process ID shown:", row.processId);
        program.Close();
    });

    const platform::test::RunResult result = platform::test::RunWinMain(std::move(steps));
    Require(result.exitCode == 0, "exit code", std::to_string(result.exitCode));
    Require(!result.stepsExhausted && !result.forcedQuit, "the program did not quit when closed");
    Require(platform::test::LiveAudioObjects() == 0, "COM objects still referenced after exit");
    Require(platform::test::OutstandingTaskMemory() == 0, "task memory not freed");
    Require(audio->RegisteredCount() == 0, "the sink is still registered after exit");
    Require(AppState.sink.refCount.load() == (bound ? 1u : 0u),
            "sink references not given back:", std::to_string(AppState.sink.refCount.load()));
    Require(recorder.refs.load() == 0, "the recorder's references not given back");
    audio.reset();
    platform::test::ResetAudio();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunOne(data, size);
    return 0;
}
