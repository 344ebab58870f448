// The stand-in audio service behaves as the program relies on: apartments, object
// creation, reference counting, and notifications on the service's own thread with
// the caller's event context.
#include <atomic>
#include <thread>

#include "audio_fixture.h"
#include "recording_events.h"

namespace {

using platform::test::AudioScenario;

constexpr GUID CallerContext = {0xABCDEF01, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

class AudioPlatformTest : public AudioTest {
protected:
    // The first session of the service, as IAudioSessionControl, with the caller's reference.
    IAudioSessionControl* FirstSession() {
        IMMDeviceEnumerator* enumerator = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                                   reinterpret_cast<void**>(&enumerator)),
                  S_OK);
        IMMDevice* device = nullptr;
        EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &device), S_OK);
        IAudioSessionManager2* manager = nullptr;
        EXPECT_EQ(device->Activate(IID_IAudioSessionManager2, 0, nullptr, reinterpret_cast<void**>(&manager)), S_OK);
        IAudioSessionEnumerator* sessions = nullptr;
        EXPECT_EQ(manager->GetSessionEnumerator(&sessions), S_OK);
        IAudioSessionControl* session = nullptr;
        EXPECT_EQ(sessions->GetSession(0, &session), S_OK);
        // The session outlives everything it came from.
        EXPECT_EQ(sessions->Release(), 0u);
        EXPECT_EQ(manager->Release(), 0u);
        EXPECT_EQ(device->Release(), 0u);
        EXPECT_EQ(enumerator->Release(), 0u);
        return session;
    }
};

TEST_F(AudioPlatformTest, ApartmentsCountPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    std::thread other([] {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator, &object),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    });
    other.join();
}

TEST_F(AudioPlatformTest, CoCreateInstanceKnowsOnlyTheDeviceEnumerator) {
    Use({SystemSoundsSession(), AppSession(u"app")});
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(IID_IMMDevice, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDevice, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(platform::test::LiveAudioObjects(), 0u);
}

TEST_F(AudioPlatformTest, SessionInterfacesShareOneCount) {
    Use({SystemSoundsSession(), AppSession(u"app")});
    IAudioSessionControl* session = FirstSession();
    IAudioSessionControl2* control2 = nullptr;
    ISimpleAudioVolume* volume = nullptr;
    EXPECT_EQ(session->QueryInterface(IID_IAudioSessionControl2, reinterpret_cast<void**>(&control2)), S_OK);
    EXPECT_EQ(session->QueryInterface(IID_ISimpleAudioVolume, reinterpret_cast<void**>(&volume)), S_OK);
    EXPECT_EQ(volume->AddRef(), 4u);
    EXPECT_EQ(volume->Release(), 3u);
    EXPECT_EQ(control2->Release(), 2u);
    EXPECT_EQ(volume->Release(), 1u);
    EXPECT_EQ(platform::test::LiveAudioObjects(), 1u);
    EXPECT_EQ(session->Release(), 0u);
    EXPECT_EQ(platform::test::LiveAudioObjects(), 0u);
}

TEST_F(AudioPlatformTest, MissingInterfacesAreRefusedWithANullPointer) {
    platform::test::ScriptedSession bare = AppSession(u"bare");
    bare.hasControl2 = false;
    bare.hasSimpleVolume = false;
    Use({bare});
    IAudioSessionControl* session = FirstSession();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(session->QueryInterface(IID_IAudioSessionControl2, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(session->QueryInterface(IID_ISimpleAudioVolume, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(session->Release(), 0u);
}

TEST_F(AudioPlatformTest, ChangesAreNotifiedOnTheServiceThreadWithTheCallersContext) {
    Use({AppSession(u"app")});
    IAudioSessionControl* session = FirstSession();
    RecordingEvents events;
    EXPECT_EQ(session->RegisterAudioSessionNotification(&events), S_OK);
    EXPECT_EQ(events.refs.load(), 1u);

    ISimpleAudioVolume* volume = nullptr;
    ASSERT_EQ(session->QueryInterface(IID_ISimpleAudioVolume, reinterpret_cast<void**>(&volume)), S_OK);
    EXPECT_EQ(volume->SetMasterVolume(0.25f, &CallerContext), S_OK);
    service->Flush();
    auto volumes = events.Volumes();
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes.back().volume, 0.25f);
    EXPECT_EQ(volumes.back().mute, FALSE);
    EXPECT_TRUE(IsEqualGUID(volumes.back().context, CallerContext));
    EXPECT_NE(volumes.back().thread, std::this_thread::get_id());

    // The same value again: applied, but nothing changed, so nothing is notified.
    EXPECT_EQ(volume->SetMasterVolume(0.25f, &CallerContext), S_OK);
    EXPECT_EQ(volume->SetMute(TRUE, nullptr), S_OK);
    service->Flush();
    volumes = events.Volumes();
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes.back().mute, TRUE);
    EXPECT_TRUE(IsEqualGUID(volumes.back().context, GUID_NULL));
    EXPECT_EQ(service->SetCalls().size(), 3u);

    float level = -1.0f;
    EXPECT_EQ(volume->GetMasterVolume(&level), S_OK);
    EXPECT_EQ(level, 0.25f);
    EXPECT_EQ(volume->SetMasterVolume(1.5f, nullptr), E_INVALIDARG);

    service->Disconnect(0, DisconnectReasonServerShutdown);
    service->ChangeState(0, AudioSessionStateExpired);
    service->Flush();
    EXPECT_EQ(events.Disconnects(), (std::vector<AudioSessionDisconnectReason>{DisconnectReasonServerShutdown}));
    EXPECT_EQ(events.States(), (std::vector<AudioSessionState>{AudioSessionStateExpired}));

    EXPECT_EQ(session->UnregisterAudioSessionNotification(&events), S_OK);
    EXPECT_EQ(events.refs.load(), 0u);
    EXPECT_EQ(session->UnregisterAudioSessionNotification(&events), E_NOTFOUND);
    service->OtherClientSetVolume(0, 0.9f);
    service->Flush();
    EXPECT_EQ(events.Volumes().size(), 2u);

    volume->Release();
    EXPECT_EQ(session->Release(), 0u);
}

TEST_F(AudioPlatformTest, IdentifierStringsAreTaskMemory) {
    Use({AppSession(u"app")});
    IAudioSessionControl* session = FirstSession();
    IAudioSessionControl2* control2 = nullptr;
    ASSERT_EQ(session->QueryInterface(IID_IAudioSessionControl2, reinterpret_cast<void**>(&control2)), S_OK);
    LPWSTR text = nullptr;
    ASSERT_EQ(control2->GetSessionIdentifier(&text), S_OK);
    EXPECT_EQ(std::u16string(text), u"app");
    EXPECT_EQ(platform::test::OutstandingTaskMemory(), 1u);
    CoTaskMemFree(text);
    control2->Release();
    session->Release();
}

}  // namespace
