// The session link over a real PulseAudio server: a private daemon per test, streams
// played by pacat (and by this process where a stream must be corked), and pactl as
// the other client. Skips when the daemon cannot be started here.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "audio/session_binding.h"
#include "mmdevapi/pulse/pulse_service.h"
#include "mmdevapi/sim/sim_service.h"
#include "audio_fixture.h"
#include "provisioned.h"
#include "pulse/pulse_server.h"
#include "recording_events.h"
#include "testing/audio_test.h"

namespace {

using platform::mmdevapi::pulse::PulseAudioService;
using pulsetest::CorkablePlayer;
using pulsetest::Pacat;
using pulsetest::WaitUntil;

constexpr GUID OurContext = {0x5e55107f, 0x0b1d, 0x4a3c, {0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};

class PulseSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why = server.Start();
        if (!why.empty()) SKIP_FOR_MISSING(pulsetest::ServerKind()) << "no private server: " << why;
        ResetAppState();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        comReady = true;
        service = PulseAudioService::Connect(nullptr, std::chrono::seconds(5));
        ASSERT_NE(service, nullptr) << "the private daemon did not answer";
        platform::mmdevapi::InstallService(service);
    }

    // Whatever happened to the server, releasing gives every reference back.
    void TearDown() override {
        if (comReady) {
            if (recorderRegistered) Unregister();
            ReleaseAudioSession();
            ExpectReferencesGivenBack(service.get());
            EXPECT_EQ(recorder.refs.load(), 0u);
            CoUninitialize();
        }
        service.reset();
        platform::test::ResetAudio();
        server.Stop();
    }

    void Bind() {
        BindAudioSession();
        ASSERT_NE(AppState.session, nullptr) << "no session bound";
    }

    void RegisterRecorder() {
        ASSERT_EQ(AppState.session->RegisterAudioSessionNotification(&recorder), S_OK);
        recorderRegistered = true;
    }

    void Unregister() {
        EXPECT_EQ(AppState.session->UnregisterAudioSessionNotification(&recorder), S_OK);
        recorderRegistered = false;
    }

    // The bound session's ISimpleAudioVolume, released by the caller.
    ISimpleAudioVolume* SimpleVolume() {
        ISimpleAudioVolume* volume = nullptr;
        EXPECT_EQ(AppState.session->QueryInterface(IID_ISimpleAudioVolume, reinterpret_cast<void**>(&volume)), S_OK);
        return volume;
    }

    std::u16string BoundId() const { return AppState.sink.sessionId; }

    pulsetest::PrivateServer server;
    std::shared_ptr<PulseAudioService> service;
    RecordingEvents recorder;
    bool comReady = false;
    bool recorderRegistered = false;
};

std::u16string Identifier(const char* application, pid_t pid) {
    std::string text = std::string("pulse:sessionvol_null|") + application + "|" + std::to_string(pid);
    return std::u16string(text.begin(), text.end());
}

TEST_F(PulseSessionTest, BindsTheApplicationStreamAndOurChangesReachTheServer) {
    Pacat chime, player;
    ASSERT_TRUE(chime.Start({"--client-name=chime", "--property=media.role=event"}));
    ASSERT_TRUE(player.Start({"--client-name=player"}));
    ASSERT_LT(chime.Index(), player.Index());

    Bind();
    EXPECT_EQ(BoundId(), Identifier("player", player.Pid()));
    EXPECT_EQ(AppState.sink.processId, static_cast<DWORD>(player.Pid()));
    EXPECT_EQ(AppState.sink.volume.load(), 1.0f);
    EXPECT_EQ(AppState.sink.mute.load(), 0);
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateActive);
    EXPECT_EQ(service->Notifications().RegisteredCount(), 1u);
    RegisterRecorder();

    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.25f, &OurContext), S_OK);
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.25f; }));
    auto bound = pulsetest::SinkInputByIndex(player.Index());
    ASSERT_TRUE(bound.has_value());
    EXPECT_EQ(bound->percents, (std::vector<int>{25, 25}));
    EXPECT_EQ(bound->volumes, (std::vector<uint32_t>{PA_VOLUME_NORM / 4, PA_VOLUME_NORM / 4}));

    EXPECT_EQ(volume->SetMute(TRUE, &OurContext), S_OK);
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.mute.load() == 1; }));
    EXPECT_EQ(AppState.sink.volume.load(), 0.25f);
    EXPECT_TRUE(pulsetest::SinkInputByIndex(player.Index())->mute);
    volume->Release();

    // The event stream was never touched.
    auto event = pulsetest::SinkInputByIndex(chime.Index());
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->percents, (std::vector<int>{100, 100}));
    EXPECT_FALSE(event->mute);

    // Both reports carry the context the program passed.
    ASSERT_TRUE(WaitUntil([&] { return recorder.Volumes().size() >= 2; }));
    auto events = recorder.Volumes();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].volume, 0.25f);
    EXPECT_EQ(events[0].mute, FALSE);
    EXPECT_TRUE(IsEqualGUID(events[0].context, OurContext));
    EXPECT_EQ(events[1].mute, TRUE);
    EXPECT_TRUE(IsEqualGUID(events[1].context, OurContext));
    EXPECT_TRUE(recorder.States().empty());
}

TEST_F(PulseSessionTest, ChangesByAnotherClientReachTheSink) {
    Pacat player;
    ASSERT_TRUE(player.Start({"--client-name=player"}));
    Bind();
    RegisterRecorder();
    const std::string index = std::to_string(player.Index());

    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + index + " 50%"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f; }));
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-mute " + index + " 1"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.mute.load() == 1; }));
    EXPECT_EQ(AppState.sink.volume.load(), 0.5f);
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-mute " + index + " 0"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.mute.load() == 0; }));

    // A balance reads as its loudest channel, and above 100% as it is.
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + index + " 60% 20%"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() != 0.5f; }));
    EXPECT_NEAR(AppState.sink.volume.load(), 0.6f, 1.0f / PA_VOLUME_NORM);
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + index + " 150%"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() > 1.0f; }));
    EXPECT_EQ(AppState.sink.volume.load(), 1.5f);
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + index + " 60% 20%"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() < 1.0f; }));

    // One report per change, each with the context of another client. The recorder
    // registered after the sink, so it hears of a change after the sink does.
    ASSERT_TRUE(WaitUntil([&] { return recorder.Volumes().size() >= 6; }));
    auto events = recorder.Volumes();
    std::string reported;
    for (const auto& event : events) reported += std::to_string(event.volume) + (event.mute ? " muted; " : "; ");
    ASSERT_EQ(events.size(), 6u) << reported;
    for (const auto& event : events) EXPECT_TRUE(IsEqualGUID(event.context, PulseAudioService::OtherClientContext));

    // Setting a level moves the loudest channel there and keeps the balance: 50% / 17%.
    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.5f, &OurContext), S_OK);
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f; }));
    EXPECT_EQ(pulsetest::SinkInputByIndex(player.Index())->percents, (std::vector<int>{50, 17}));
    float level = -1.0f;
    EXPECT_EQ(volume->GetMasterVolume(&level), S_OK);
    EXPECT_EQ(level, 0.5f);
    ASSERT_TRUE(WaitUntil([&] { return recorder.Volumes().size() >= 7; }));
    EXPECT_TRUE(IsEqualGUID(recorder.Volumes().back().context, OurContext));
    volume->Release();
}

TEST_F(PulseSessionTest, RapidRequestsOfOursAreAllReportedWithOurContext) {
    Pacat player;
    ASSERT_TRUE(player.Start({"--client-name=player"}));
    Bind();
    RegisterRecorder();
    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    const float levels[] = {0.25f, 0.5f, 0.0f, 1.0f};
    for (int i = 0; i < 40; ++i) EXPECT_EQ(volume->SetMasterVolume(levels[i % 4], &OurContext), S_OK);
    // A last level outside the cycle: its report can only be the last one.
    EXPECT_EQ(volume->SetMasterVolume(0.75f, &OurContext), S_OK);
    volume->Release();
    ASSERT_TRUE(WaitUntil([&] {
        auto events = recorder.Volumes();
        return !events.empty() && events.back().volume == 0.75f;
    }));
    // Reports may merge requests, but none is taken for another client's.
    for (const auto& event : recorder.Volumes()) EXPECT_TRUE(IsEqualGUID(event.context, OurContext));
    EXPECT_EQ(AppState.sink.volume.load(), 0.75f);
}

TEST_F(PulseSessionTest, CorkingIsInactiveAndUncorkingActive) {
    Pacat chime;
    ASSERT_TRUE(chime.Start({"--client-name=chime", "--property=media.role=event"}));
    if (CorkablePlayer::Path() == nullptr) GTEST_SKIP() << "corkable-player not built (tests/pulse/CMakeLists.txt)";
    CorkablePlayer player;
    ASSERT_TRUE(player.Start("corker"));
    Bind();
    EXPECT_EQ(BoundId(), Identifier("corker", player.Pid()));
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateActive);

    ASSERT_TRUE(player.Cork(true));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateInactive; }));
    EXPECT_TRUE(pulsetest::SinkInputByIndex(player.Index())->corked);
    ASSERT_TRUE(player.Cork(false));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateActive; }));
    EXPECT_EQ(AppState.sink.sessionGone.load(), 0);
}

TEST_F(PulseSessionTest, AnEndedStreamIsExpired) {
    Pacat player;
    ASSERT_TRUE(player.Start({"--client-name=player"}));
    Bind();
    RegisterRecorder();
    player.Stop();
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateExpired; }));
    EXPECT_EQ(AppState.sink.sessionGone.load(), 1);
    ASSERT_TRUE(WaitUntil([&] { return !recorder.States().empty(); }));
    EXPECT_EQ(recorder.States(), (std::vector<AudioSessionState>{AudioSessionStateExpired}));

    AudioSessionState state = AudioSessionStateActive;
    EXPECT_EQ(AppState.session->GetState(&state), S_OK);
    EXPECT_EQ(state, AudioSessionStateExpired);
    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.5f, &OurContext), AUDCLNT_E_DEVICE_INVALIDATED);
    volume->Release();
}

TEST_F(PulseSessionTest, AServerThatGoesAwayDisconnectsTheSessionAndCallsFailQuietly) {
    Pacat player;
    ASSERT_TRUE(player.Start({"--client-name=player"}));
    Bind();
    RegisterRecorder();
    server.Kill();
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.sessionGone.load() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return !recorder.Disconnects().empty(); }));
    EXPECT_EQ(recorder.Disconnects(), (std::vector<AudioSessionDisconnectReason>{DisconnectReasonServerShutdown}));
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateActive);  // a disconnect is not a state
    // The service knows the connection is lost: it asks the server for nothing more.
    EXPECT_EQ(service->DefaultEndpoint(eRender, eMultimedia), AUDCLNT_E_SERVICE_NOT_RUNNING);

    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.5f, &OurContext), AUDCLNT_E_SERVICE_NOT_RUNNING);
    float level = -1.0f;
    EXPECT_EQ(volume->GetMasterVolume(&level), AUDCLNT_E_SERVICE_NOT_RUNNING);
    EXPECT_EQ(level, -1.0f);
    volume->Release();
    // A new scan finds no endpoint, and nothing crashes on the way.
    IMMDeviceEnumerator* enumerator = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                               reinterpret_cast<void**>(&enumerator)),
              S_OK);
    IMMDevice* device = reinterpret_cast<IMMDevice*>(0x1);
    EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &device), AUDCLNT_E_SERVICE_NOT_RUNNING);
    EXPECT_EQ(device, nullptr);
    enumerator->Release();
}

TEST_F(PulseSessionTest, AStreamWithoutAProcessIsSkipped) {
    // A module's own stream has no application.process.id. (PipeWire's PulseAudio
    // server has no module-sine; both servers have module-loopback.)
    ASSERT_TRUE(pulsetest::Pactl("load-module module-loopback sink=sessionvol_null"));
    ASSERT_TRUE(WaitUntil([] { return pulsetest::ListSinkInputs().size() == 1; }));
    Pacat player;
    ASSERT_TRUE(player.Start({"--client-name=player"}));
    std::vector<platform::mmdevapi::SessionKey> keys;
    ASSERT_EQ(service->ListSessions(&keys), S_OK);
    ASSERT_EQ(keys.size(), 2u);
    DWORD pid = 0xDEADBEEF;
    EXPECT_EQ(service->ProcessId(keys[0], &pid), E_NOTFOUND);
    EXPECT_EQ(pid, 0xDEADBEEFu);
    EXPECT_EQ(service->IsSystemSounds(keys[0]), S_FALSE);

    Bind();
    EXPECT_EQ(BoundId(), Identifier("player", player.Pid()));
}

TEST_F(PulseSessionTest, SessionsAreTheDefaultSinksApplicationsInIndexOrder) {
    ASSERT_TRUE(pulsetest::Pactl("load-module module-null-sink sink_name=elsewhere"));
    Pacat first, away, second;
    ASSERT_TRUE(first.Start({"--client-name=first"}));
    ASSERT_TRUE(away.Start({"--client-name=away", "--device=elsewhere"}));
    ASSERT_TRUE(second.Start({"--client-name=second"}));
    auto processes = [&] {
        std::vector<platform::mmdevapi::SessionKey> keys;
        EXPECT_EQ(service->ListSessions(&keys), S_OK);
        std::vector<DWORD> listed;
        for (auto key : keys) {
            DWORD pid = 0;
            EXPECT_EQ(service->ProcessId(key, &pid), S_OK);
            listed.push_back(pid);
        }
        return listed;
    };
    const DWORD firstPid = static_cast<DWORD>(first.Pid()), secondPid = static_cast<DWORD>(second.Pid());
    EXPECT_EQ(processes(), (std::vector<DWORD>{firstPid, secondPid}));

    // A stream moved away from the default sink leaves its session there.
    // (PipeWire moves it after pactl has returned.)
    ASSERT_TRUE(pulsetest::Pactl("move-sink-input " + std::to_string(second.Index()) + " elsewhere"));
    ASSERT_TRUE(WaitUntil([&] { return pulsetest::SinkInputByIndex(second.Index())->sink == away.Sink(); }));
    EXPECT_EQ(processes(), (std::vector<DWORD>{firstPid}));
}

// A game or a browser: one process, several streams. The session is all of them.
TEST_F(PulseSessionTest, AnApplicationsStreamsAreOneSessionAtOneLevel) {
    if (CorkablePlayer::Path() == nullptr) GTEST_SKIP() << "corkable-player not built (tests/pulse/CMakeLists.txt)";
    CorkablePlayer game;
    ASSERT_TRUE(game.Start("game"));
    const uint32_t music = game.Index(), effects = game.Open(), chime = game.Open("event");
    ASSERT_NE(effects, PA_INVALID_INDEX);
    ASSERT_NE(chime, PA_INVALID_INDEX);
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + std::to_string(music) + " 50%"));
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + std::to_string(effects) + " 100% 50%"));
    ASSERT_TRUE(WaitUntil([&] { return pulsetest::SinkInputByIndex(music)->percents == std::vector<int>{50, 50}; }));
    ASSERT_TRUE(WaitUntil([&] { return pulsetest::SinkInputByIndex(effects)->percents == std::vector<int>{100, 50}; }));

    Bind();
    EXPECT_EQ(BoundId(), Identifier("game", game.Pid()));
    EXPECT_EQ(AppState.sink.volume.load(), 1.0f) << "the level is the loudest channel of the loudest stream";
    RegisterRecorder();
    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);

    // "0.25" moves both streams by one factor: each keeps its balance, and the music
    // stays at half the effects.
    EXPECT_EQ(volume->SetMasterVolume(0.25f, &OurContext), S_OK);
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.25f; }));
    auto volumesOf = [](uint32_t index) { return pulsetest::SinkInputByIndex(index)->volumes; };
    ASSERT_TRUE(WaitUntil([&] { return volumesOf(music) == std::vector<uint32_t>{8192, 8192}; })) << volumesOf(music)[0];
    EXPECT_EQ(volumesOf(effects), (std::vector<uint32_t>{PA_VOLUME_NORM / 4, PA_VOLUME_NORM / 8}));

    // Mute is every stream; one stream unmuted by another client leaves it audible.
    EXPECT_EQ(volume->SetMute(TRUE, &OurContext), S_OK);
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.mute.load() == 1; }));
    EXPECT_TRUE(pulsetest::SinkInputByIndex(music)->mute);
    EXPECT_TRUE(pulsetest::SinkInputByIndex(effects)->mute);
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-mute " + std::to_string(music) + " 0"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.mute.load() == 0; }));
    volume->Release();

    // The application's event sounds are the system sounds, not the application.
    auto event = pulsetest::SinkInputByIndex(chime);
    EXPECT_EQ(event->percents, (std::vector<int>{100, 100}));
    EXPECT_FALSE(event->mute);

    // One report per change of the session, the caller's context on its own: the
    // streams moving one after the other show no level in between.
    ASSERT_TRUE(WaitUntil([&] { return recorder.Volumes().size() >= 3; }));
    auto events = recorder.Volumes();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].volume, 0.25f);
    EXPECT_TRUE(IsEqualGUID(events[0].context, OurContext));
    EXPECT_EQ(events[1].mute, TRUE);
    EXPECT_TRUE(IsEqualGUID(events[1].context, OurContext));
    EXPECT_EQ(events[2].mute, FALSE);
    EXPECT_TRUE(IsEqualGUID(events[2].context, PulseAudioService::OtherClientContext));
}

// Players pause, and browsers close an idle stream and open a new one when they play
// again: the session follows all of its streams, and comes back.
TEST_F(PulseSessionTest, AnApplicationsSessionIsInactiveWhileAllPauseAndComesBackWhenItPlaysAgain) {
    if (CorkablePlayer::Path() == nullptr) GTEST_SKIP() << "corkable-player not built (tests/pulse/CMakeLists.txt)";
    CorkablePlayer browser;
    ASSERT_TRUE(browser.Start("browser"));
    ASSERT_NE(browser.Open(), PA_INVALID_INDEX);
    Bind();
    RegisterRecorder();
    auto reported = [&](size_t count) { return WaitUntil([&] { return recorder.States().size() >= count; }); };

    ASSERT_TRUE(browser.Cork(true, 0));
    ASSERT_TRUE(browser.Cork(true, 1));
    ASSERT_TRUE(reported(1));
    ASSERT_TRUE(browser.Cork(false, 1));
    ASSERT_TRUE(reported(2));
    ASSERT_TRUE(browser.Close(0));
    ASSERT_TRUE(browser.Close(1));
    ASSERT_TRUE(reported(3));
    EXPECT_EQ(recorder.States(),
              (std::vector<AudioSessionState>{AudioSessionStateInactive, AudioSessionStateActive, AudioSessionStateExpired}));
    const uint32_t reopened = browser.Open();
    ASSERT_NE(reopened, PA_INVALID_INDEX);
    // Back, and playing. (PipeWire holds a new stream paused until it is linked: the
    // session then passes through Inactive, as a Windows session does before Start.)
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateActive; }));
    auto comeback = recorder.States();
    comeback.erase(comeback.begin(), comeback.begin() + 3);
    EXPECT_TRUE(comeback == std::vector<AudioSessionState>{AudioSessionStateActive} ||
                comeback == (std::vector<AudioSessionState>{AudioSessionStateInactive, AudioSessionStateActive}))
        << comeback.size() << " state reports after Expired";
    EXPECT_EQ(AppState.sink.sessionGone.load(), 0);

    // The same session object acts on the new stream, under the same identifier.
    LPWSTR identifier = nullptr;
    IAudioSessionControl2* control = nullptr;
    ASSERT_EQ(AppState.session->QueryInterface(IID_IAudioSessionControl2, reinterpret_cast<void**>(&control)), S_OK);
    EXPECT_EQ(control->GetSessionIdentifier(&identifier), S_OK);
    EXPECT_EQ(std::u16string(identifier), Identifier("browser", browser.Pid()));
    CoTaskMemFree(identifier);
    control->Release();
    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.5f, &OurContext), S_OK);
    volume->Release();
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f; }));
    EXPECT_EQ(pulsetest::SinkInputByIndex(reopened)->percents, (std::vector<int>{50, 50}));
}

// Sandboxed applications report process IDs from their own PID namespace, so two
// of them may both say 1 (the players set it themselves, as a sandbox makes them do).
// Different applications are still sessions of their own, as separate processes are
// on Windows.
TEST_F(PulseSessionTest, SandboxedApplicationsWithTheSameProcessIdAreSessionsOfTheirOwn) {
    if (CorkablePlayer::Path() == nullptr) GTEST_SKIP() << "corkable-player not built (tests/pulse/CMakeLists.txt)";
    CorkablePlayer firefox, spotify;
    ASSERT_TRUE(firefox.Start("FlatFirefox", {"application.process.id=1"}));
    ASSERT_TRUE(spotify.Start("FlatSpotify", {"application.process.id=1"}));
    ASSERT_EQ(pulsetest::SinkInputByIndex(spotify.Index())->properties["application.process.id"], "1");
    std::vector<platform::mmdevapi::SessionKey> keys;
    ASSERT_EQ(service->ListSessions(&keys), S_OK);
    EXPECT_EQ(keys.size(), 2u);

    Bind();
    EXPECT_EQ(BoundId(), Identifier("FlatFirefox", 1));
    EXPECT_EQ(AppState.sink.processId, 1u);
    RegisterRecorder();
    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.25f, &OurContext), S_OK);
    volume->Release();
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.25f; }));
    EXPECT_EQ(pulsetest::SinkInputByIndex(firefox.Index())->volumes,
              (std::vector<uint32_t>{PA_VOLUME_NORM / 4, PA_VOLUME_NORM / 4}));
    EXPECT_EQ(pulsetest::SinkInputByIndex(spotify.Index())->volumes, (std::vector<uint32_t>{PA_VOLUME_NORM, PA_VOLUME_NORM}));

    // Another client's change of Spotify is not Firefox's. The server reports changes in
    // order, so once Firefox's later one has arrived, Spotify's has been seen.
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + std::to_string(spotify.Index()) + " 70%"));
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + std::to_string(firefox.Index()) + " 50%"));
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f; }));
    auto events = recorder.Volumes();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].volume, 0.25f);
    EXPECT_EQ(events[1].volume, 0.5f);

    // Firefox quits while Spotify plays on: Firefox's session has ended.
    firefox.Stop();
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateExpired; }));
}

// Process IDs are reused, and a sandbox hands out the same small ones again: a new
// application with the process ID of a session that ended is a new session. The
// ended one stays Expired, and changing it changes nothing.
TEST_F(PulseSessionTest, ANewApplicationWithTheProcessIdOfAnEndedSessionDoesNotReviveIt) {
    if (CorkablePlayer::Path() == nullptr) GTEST_SKIP() << "corkable-player not built (tests/pulse/CMakeLists.txt)";
    CorkablePlayer firefox;
    ASSERT_TRUE(firefox.Start("FlatFirefox", {"application.process.id=2"}));
    Bind();
    firefox.Stop();
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateExpired; }));

    CorkablePlayer spotify;
    ASSERT_TRUE(spotify.Start("FlatSpotify", {"application.process.id=2"}));
    // Listing reads the new stream in, so the bound session has heard of it by now.
    std::vector<platform::mmdevapi::SessionKey> keys;
    ASSERT_EQ(service->ListSessions(&keys), S_OK);
    ASSERT_EQ(keys.size(), 1u);
    std::u16string listed;
    EXPECT_EQ(service->Identifier(keys[0], &listed), S_OK);
    EXPECT_EQ(listed, Identifier("FlatSpotify", 2));
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateExpired);
    EXPECT_EQ(BoundId(), Identifier("FlatFirefox", 2));

    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.0f, &OurContext), AUDCLNT_E_DEVICE_INVALIDATED);
    volume->Release();
    EXPECT_EQ(pulsetest::SinkInputByIndex(spotify.Index())->volumes, (std::vector<uint32_t>{PA_VOLUME_NORM, PA_VOLUME_NORM}));

    // The ended application's name and ID from another binary: another process, with
    // an identifier of its own.
    CorkablePlayer other;
    ASSERT_TRUE(other.Start("FlatFirefox", {"application.process.id=2", "application.process.binary=firefox-esr"}));
    ASSERT_EQ(service->ListSessions(&keys), S_OK);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(service->Identifier(keys[1], &listed), S_OK);
    EXPECT_EQ(listed, Identifier("FlatFirefox", 2) + u"|#2");
    EXPECT_EQ(AppState.sink.state.load(), AudioSessionStateExpired);
}

// "0" silences the application, and a level after it brings back its mix: each stream
// its share of the level and its balance, as a Windows session volume over its
// streams does.
TEST_F(PulseSessionTest, ALevelAfterZeroBringsBackTheStreamsRatioAndBalance) {
    if (CorkablePlayer::Path() == nullptr) GTEST_SKIP() << "corkable-player not built (tests/pulse/CMakeLists.txt)";
    CorkablePlayer game;
    ASSERT_TRUE(game.Start("game"));
    const uint32_t music = game.Index(), voices = game.Open(), effects = game.Open();
    ASSERT_NE(voices, PA_INVALID_INDEX);
    ASSERT_NE(effects, PA_INVALID_INDEX);
    // 40%, and 80% / 40%, as raw volumes.
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + std::to_string(voices) + " 26214"));
    ASSERT_TRUE(pulsetest::Pactl("set-sink-input-volume " + std::to_string(effects) + " 52429 26214"));
    auto volumesOf = [](uint32_t index) { return pulsetest::SinkInputByIndex(index)->volumes; };
    ASSERT_TRUE(WaitUntil([&] { return volumesOf(voices) == std::vector<uint32_t>{26214, 26214}; }));
    ASSERT_TRUE(WaitUntil([&] { return volumesOf(effects) == std::vector<uint32_t>{52429, 26214}; }));

    Bind();
    ISimpleAudioVolume* volume = SimpleVolume();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->SetMasterVolume(0.0f, &OurContext), S_OK);
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.0f; }));
    for (uint32_t index : {music, voices, effects}) EXPECT_EQ(volumesOf(index), (std::vector<uint32_t>{0, 0})) << index;

    EXPECT_EQ(volume->SetMasterVolume(0.5f, &OurContext), S_OK);
    volume->Release();
    ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f; }));
    // Each channel at its level times 0.5 (its share of the loudest channel, 100%).
    EXPECT_EQ(volumesOf(music), (std::vector<uint32_t>{32768, 32768}));
    EXPECT_EQ(volumesOf(voices), (std::vector<uint32_t>{13107, 13107}));
    EXPECT_EQ(volumesOf(effects), (std::vector<uint32_t>{26214, 13107}));
}

TEST_F(PulseSessionTest, TheBackendTableChoosesPulseWhenAServerAnswers) {
    unsetenv("PLATFORM_AUDIO");
    platform::test::ResetAudio();
    auto chosen = platform::mmdevapi::CurrentService();
    EXPECT_NE(dynamic_cast<PulseAudioService*>(chosen.get()), nullptr);
    chosen.reset();
    platform::mmdevapi::InstallService(service);
}

TEST(PulseBackendChoice, WithoutAServerTheTableFallsBackToTheSimulatedService) {
    const char* previous = std::getenv("PULSE_SERVER");
    std::string saved = previous != nullptr ? previous : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/sessionvol/native", 1);
    unsetenv("PLATFORM_AUDIO");

    std::string whyNot;
    EXPECT_EQ(PulseAudioService::Connect(nullptr, std::chrono::seconds(5), &whyNot), nullptr);
    EXPECT_EQ(whyNot, "unix:/nonexistent/sessionvol/native: Connection refused");
    platform::test::ResetAudio();
    testing::internal::CaptureStderr();
    EXPECT_NE(dynamic_cast<platform::mmdevapi::SimAudioService*>(platform::mmdevapi::CurrentService().get()), nullptr);
    // One line says what runs instead of the user's streams, and why.
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("audio: using sim (", 0), 0u) << said;
    EXPECT_TRUE(said.ends_with("; not used: pulse (unix:/nonexistent/sessionvol/native: Connection refused)\n")) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // Forcing pulse where none answers leaves no service at all; the list is read as
    // the user may write it.
    setenv("PLATFORM_AUDIO", " pulse ,", 1);
    platform::test::ResetAudio();
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::mmdevapi::CurrentService(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "audio: no backend could start; tried pulse (unix:/nonexistent/sessionvol/native: Connection refused)\n");

    unsetenv("PLATFORM_AUDIO");
    platform::test::ResetAudio();
    if (previous != nullptr)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

}  // namespace
