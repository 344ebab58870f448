// Finding and binding the first eligible session, and giving everything back.
#include <unistd.h>

#include <string>

#include "audio_fixture.h"

namespace {

using platform::test::AudioCall;
using platform::test::AudioFault;
using platform::test::ScriptedSession;

std::u16string SessionId() { return std::u16string(AppState.sink.sessionId); }

class BindingTest : public AudioTest {};

TEST_F(BindingTest, DemoServiceBindsTheApplicationSessionAfterSystemSounds) {
    std::shared_ptr<platform::mmdevapi::AudioService> demo = platform::test::UseDemoAudio();
    BindAudioSession();

    ASSERT_NE(AppState.session, nullptr);
    EXPECT_NE(AppState.device, nullptr);
    EXPECT_NE(AppState.sessionManager, nullptr);
    const std::u16string demoIdentifier = SessionId();
    // The window shows the identifier: it must tell the user the session is not real.
    EXPECT_NE(demoIdentifier.find(u"simulated"), std::u16string::npos);
    EXPECT_EQ(demoIdentifier.find(u"#"), std::u16string::npos) << "the system-sounds session was bound";
    EXPECT_EQ(AppState.sink.processId, static_cast<DWORD>(getpid()));
    EXPECT_EQ(AppState.sink.volume.load(), 1.0f);
    EXPECT_EQ(AppState.sink.mute.load(), 0);
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateActive);
    // The sink's own reference plus the one the service took when registering it.
    EXPECT_REF(AppState.sink.refCount.load(), 2);
    EXPECT_EQ(demo->Notifications().RegisteredCount(), 1u);

    ReleaseAudioSession();
    EXPECT_EQ(demo->Notifications().RegisteredCount(), 0u);
    EXPECT_EQ(AppState.session, nullptr);
    EXPECT_EQ(AppState.sessionManager, nullptr);
    EXPECT_EQ(AppState.device, nullptr);
    EXPECT_REF(AppState.sink.refCount.load(), 1);
    EXPECT_EQ(platform::test::LiveAudioObjects(), 0u);
    // The sink keeps the last status it had.
    EXPECT_EQ(SessionId(), demoIdentifier);

    ReleaseAudioSession();  // nothing left: does nothing
    EXPECT_REF(AppState.sink.refCount.load(), 1);
}

TEST_F(BindingTest, LowerIndexWinsAndTheOtherIsNeverRegistered) {
    Use({AppSession(u"first", 100), AppSession(u"second", 200)});
    BindAudioSession();
    EXPECT_EQ(SessionId(), u"first");
    EXPECT_EQ(AppState.sink.processId, 100u);
    EXPECT_EQ(service->RegisteredCount(), 1u);

    service->OtherClientSetVolume(1, 0.3f);
    service->OtherClientSetVolume(0, 0.6f);
    service->Flush();
    EXPECT_EQ(AppState.sink.volume.load(), 0.6f);
}

// Each case spoils the first session in one way; the scan must skip it and bind the
// second, whose process ID is then shown.
struct Spoiler {
    const char* name;
    void (*spoil)(ScriptedSession&);
    std::vector<AudioFault> faults;  // on the first session
};

const Spoiler spoilers[] = {
    {"GetSession fails", nullptr, {{AudioCall::GetSession, E_FAIL, 0}}},
    {"no IAudioSessionControl2", [](ScriptedSession& s) { s.hasControl2 = false; }, {}},
    {"system sounds", [](ScriptedSession& s) { s.systemSounds = true; }, {}},
    {"GetProcessId fails", nullptr, {{AudioCall::GetProcessId, E_FAIL, 0}}},
    {"GetProcessId returns S_FALSE", nullptr, {{AudioCall::GetProcessId, S_FALSE, 0}}},
    {"GetSessionIdentifier fails", nullptr, {{AudioCall::GetSessionIdentifier, E_OUTOFMEMORY, 0}}},
    {"GetSessionIdentifier returns S_FALSE", nullptr, {{AudioCall::GetSessionIdentifier, S_FALSE, 0}}},
    {"empty identifier", [](ScriptedSession& s) { s.identifier.clear(); }, {}},
};

TEST_F(BindingTest, AnIneligibleSessionIsSkippedAndTheNextEligibleOneBound) {
    for (const Spoiler& spoiler : spoilers) {
        SCOPED_TRACE(spoiler.name);
        ResetAppState();
        ScriptedSession bad = AppSession(u"bad", 111);
        if (spoiler.spoil) spoiler.spoil(bad);
        Use({bad, AppSession(u"good", 222)}, spoiler.faults);

        BindAudioSession();
        EXPECT_EQ(SessionId(), u"good");
        EXPECT_EQ(AppState.sink.processId, 222u);
        EXPECT_EQ(service->RegisteredCount(), 1u);

        ReleaseAudioSession();
        EXPECT_EQ(platform::test::LiveAudioObjects(), 0u);
        EXPECT_EQ(platform::test::OutstandingTaskMemory(), 0u);
        EXPECT_EQ(service->RegisteredCount(), 0u);
    }
}

TEST_F(BindingTest, ASessionSharedByProcessesIsEligibleWithTheReportedId) {
    ScriptedSession shared = AppSession(u"shared", 4321);
    Use({SystemSoundsSession(), shared}, {{AudioCall::GetProcessId, AUDCLNT_S_NO_SINGLE_PROCESS, 1}});
    BindAudioSession();
    EXPECT_EQ(SessionId(), u"shared");
    EXPECT_EQ(AppState.sink.processId, 4321u);
}

TEST_F(BindingTest, IdentifierIsCutAt511Units) {
    std::u16string longId;
    for (int i = 0; i < 600; ++i) longId += static_cast<char16_t>(u'A' + i % 26);
    Use({AppSession(longId)});
    BindAudioSession();
    EXPECT_EQ(SessionId(), longId.substr(0, 511));
    EXPECT_EQ(AppState.sink.sessionId[511], 0);
}

TEST_F(BindingTest, IdentifierIsCopiedAsUtf16Units) {
    // Non-Latin text and a surrogate pair pass through unchanged.
    const std::u16string text = u"{0.0.0.00000000}|Программа 音楽 \U0001F3B5%b";
    Use({AppSession(text)});
    BindAudioSession();
    EXPECT_EQ(SessionId(), text);
}

TEST_F(BindingTest, OnlyAMuteOfOneCountsAtBinding) {
    const std::pair<BOOL, BOOL> cases[] = {{1, 1}, {0, 0}, {5, 0}, {-1, 0}};
    for (auto [reported, shown] : cases) {
        SCOPED_TRACE(reported);
        ResetAppState();
        ScriptedSession session = AppSession(u"app");
        session.mute = reported;
        Use({session});
        BindAudioSession();
        EXPECT_EQ(AppState.sink.mute.load(), shown);
        ReleaseAudioSession();
    }
}

TEST_F(BindingTest, NotificationsStoreTheMuteAsReceived) {
    ScriptedSession session = AppSession(u"app");
    session.mute = 5;
    Use({session});
    BindAudioSession();
    EXPECT_EQ(AppState.sink.mute.load(), 0);

    service->SendVolumeNotification(0, 0.5f, 5);
    service->Flush();
    EXPECT_EQ(AppState.sink.mute.load(), 5);
    EXPECT_EQ(AppState.sink.volume.load(), 0.5f);
}

TEST_F(BindingTest, StatusReadsThatFailLeaveZeros) {
    ScriptedSession session = AppSession(u"app", 77);
    session.volume = 0.5f;
    session.mute = 1;
    session.state = AudioSessionStateActive;
    Use({session}, {{AudioCall::GetMasterVolume, E_FAIL}, {AudioCall::GetMute, E_FAIL}, {AudioCall::GetState, E_FAIL}});
    BindAudioSession();
    ASSERT_NE(AppState.session, nullptr);
    EXPECT_EQ(AppState.sink.volume.load(), 0.0f);
    EXPECT_EQ(AppState.sink.mute.load(), 0);
    EXPECT_EQ(AppState.sink.state.load(), 0);
    EXPECT_EQ(AppState.sink.processId, 77u);
}

TEST_F(BindingTest, WithoutSimpleVolumeTheSessionIsStillBound) {
    ScriptedSession session = AppSession(u"app");
    session.hasSimpleVolume = false;
    session.volume = 0.8f;
    session.mute = 1;
    session.state = AudioSessionStateExpired;
    Use({session});
    BindAudioSession();
    ASSERT_NE(AppState.session, nullptr);
    EXPECT_EQ(AppState.sink.volume.load(), 0.0f);
    EXPECT_EQ(AppState.sink.mute.load(), 0);
    // State plays no part in eligibility.
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateExpired);
}

TEST_F(BindingTest, FailuresBeforeTheScanLeaveWhatWasReached) {
    struct Case {
        const char* name;
        AudioFault fault;
        bool device, manager;
    };
    const Case cases[] = {
        {"CoCreateInstance", {AudioCall::CoCreateInstance, REGDB_E_CLASSNOTREG}, false, false},
        {"GetDefaultAudioEndpoint", {AudioCall::GetDefaultAudioEndpoint, E_NOTFOUND}, false, false},
        {"Activate", {AudioCall::Activate, AUDCLNT_E_DEVICE_INVALIDATED}, true, false},
        {"GetSessionEnumerator", {AudioCall::GetSessionEnumerator, E_NOTIMPL}, true, true},
        {"GetCount", {AudioCall::GetCount, E_FAIL}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetAppState();
        Use({AppSession(u"app")}, {c.fault});

        BindAudioSession();
        EXPECT_EQ(AppState.device != nullptr, c.device);
        EXPECT_EQ(AppState.sessionManager != nullptr, c.manager);
        EXPECT_EQ(AppState.session, nullptr);
        EXPECT_EQ(SessionId(), u"");
        EXPECT_EQ(AppState.sink.refCount.load(), 0u);
        EXPECT_EQ(service->RegisteredCount(), 0u);

        ReleaseAudioSession();
        EXPECT_EQ(platform::test::LiveAudioObjects(), 0u);
    }
}

TEST_F(BindingTest, NoEligibleSessionBindsNothingButKeepsTheEndpoint) {
    ScriptedSession noId = AppSession(u"x");
    Use({SystemSoundsSession(), noId}, {{AudioCall::GetSessionIdentifier, E_FAIL, 1}});
    BindAudioSession();
    EXPECT_EQ(AppState.session, nullptr);
    EXPECT_NE(AppState.sessionManager, nullptr);
    EXPECT_EQ(SessionId(), u"");
    EXPECT_EQ(AppState.sink.processId, 0u);
}

TEST_F(BindingTest, WithoutCoInitializeNothingIsReached) {
    CoUninitialize();
    Use({AppSession(u"app")});
    BindAudioSession();
    EXPECT_EQ(AppState.device, nullptr);
    EXPECT_EQ(AppState.session, nullptr);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);  // for TearDown's balance
}

TEST_F(BindingTest, ChangesReachTheSinkUntilRelease) {
    Use({AppSession(u"app")});
    BindAudioSession();

    service->OtherClientSetMute(0, TRUE);
    service->ChangeState(0, AudioSessionStateInactive);
    service->Flush();
    EXPECT_EQ(AppState.sink.mute.load(), 1);
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateInactive);

    service->ChangeState(0, AudioSessionStateExpired);
    service->Flush();
    EXPECT_EQ(AppState.sink.sessionGone.load(), 1);
    // An expired session stays bound.
    EXPECT_NE(AppState.session, nullptr);

    ReleaseAudioSession();
    service->OtherClientSetVolume(0, 0.1f);
    service->Disconnect(0, DisconnectReasonServerShutdown);
    service->Flush();
    EXPECT_EQ(AppState.sink.volume.load(), 1.0f);
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateExpired);
}

}  // namespace
