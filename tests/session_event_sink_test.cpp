// The sink as the audio service sees it: a COM object with IUnknown and
// IAudioSessionEvents, that records volume, mute and state and ignores the rest.
#include <gtest/gtest.h>

#include <cstring>

#include "app/app_state.h"
#include "audio/audio_ids.h"

namespace {

constexpr GUID SomeContext = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
void* const Sentinel = reinterpret_cast<void*>(0x1234);

class SinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAppState();
        AppState.sink.refCount = 1;  // live, as binding leaves it
    }
    SessionEventSink& sink = AppState.sink;
    IAudioSessionEvents* events = &AppState.sink;
};

TEST_F(SinkTest, QueryInterfaceHandsOutTheObjectForIUnknownAndIAudioSessionEvents) {
    for (const GUID* iid : {&IidIUnknown, &IidIAudioSessionEvents}) {
        void* object = Sentinel;
        EXPECT_EQ(events->QueryInterface(*iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<void*>(events));
    }
    EXPECT_EQ(sink.refCount.load(), 3u);
}

TEST_F(SinkTest, QueryInterfaceRefusesOtherInterfacesAndNullsTheOutPointer) {
    const GUID others[] = {IidISimpleAudioVolume, IidIAudioSessionControl2, IID_IAudioSessionControl, GUID_NULL};
    for (const GUID& iid : others) {
        void* object = Sentinel;
        EXPECT_EQ(events->QueryInterface(iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(sink.refCount.load(), 1u);
}

TEST_F(SinkTest, QueryInterfaceComparesAllSixteenBytes) {
    GUID almost = IidIAudioSessionEvents;
    almost.Data4[7] ^= 1;
    void* object = Sentinel;
    EXPECT_EQ(events->QueryInterface(almost, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(SinkTest, QueryInterfaceWithNullOutPointerFails) {
    EXPECT_EQ(events->QueryInterface(IidIUnknown, nullptr), E_FAIL);
    EXPECT_EQ(sink.refCount.load(), 1u);
}

TEST_F(SinkTest, AddRefAndReleaseReturnTheNewCountAndNeverFreeTheObject) {
    EXPECT_EQ(events->AddRef(), 2u);
    EXPECT_EQ(events->AddRef(), 3u);
    EXPECT_EQ(events->Release(), 2u);
    EXPECT_EQ(events->Release(), 1u);
    EXPECT_EQ(events->Release(), 0u);
    // Still usable: it is part of the state record.
    EXPECT_EQ(events->OnSimpleVolumeChanged(0.5f, FALSE, nullptr), S_OK);
    EXPECT_EQ(sink.volume.load(), 0.5f);
    void* object = nullptr;
    EXPECT_EQ(events->QueryInterface(IidIAudioSessionEvents, &object), S_OK);
    EXPECT_EQ(sink.refCount.load(), 1u);
}

TEST_F(SinkTest, SimpleVolumeChangeStoresVolumeAndMuteAsReceived) {
    EXPECT_EQ(events->OnSimpleVolumeChanged(0.25f, 5, &SomeContext), S_OK);
    EXPECT_EQ(sink.volume.load(), 0.25f);
    EXPECT_EQ(sink.mute.load(), 5);
    EXPECT_EQ(events->OnSimpleVolumeChanged(1.0f, 0, nullptr), S_OK);
    EXPECT_EQ(sink.volume.load(), 1.0f);
    EXPECT_EQ(sink.mute.load(), 0);
    EXPECT_EQ(sink.state.load(), 0);
    EXPECT_EQ(sink.sessionGone.load(), 0);
}

TEST_F(SinkTest, StateChangesTrackWhetherTheSessionIsGone) {
    EXPECT_EQ(events->OnStateChanged(AudioSessionStateExpired), S_OK);
    EXPECT_EQ(sink.state.load(), 2);
    EXPECT_EQ(sink.sessionGone.load(), 1);

    // A value outside the enumeration is stored, and leaves the gone flag alone.
    EXPECT_EQ(events->OnStateChanged(static_cast<AudioSessionState>(7)), S_OK);
    EXPECT_EQ(sink.state.load(), 7);
    EXPECT_EQ(sink.sessionGone.load(), 1);

    EXPECT_EQ(events->OnStateChanged(AudioSessionStateActive), S_OK);
    EXPECT_EQ(sink.state.load(), 1);
    EXPECT_EQ(sink.sessionGone.load(), 0);

    EXPECT_EQ(events->OnStateChanged(static_cast<AudioSessionState>(-1)), S_OK);
    EXPECT_EQ(sink.state.load(), -1);
    EXPECT_EQ(sink.sessionGone.load(), 0);

    EXPECT_EQ(events->OnSessionDisconnected(DisconnectReasonDeviceRemoval), S_OK);
    EXPECT_EQ(sink.sessionGone.load(), 1);
    EXPECT_EQ(events->OnStateChanged(AudioSessionStateInactive), S_OK);
    EXPECT_EQ(sink.state.load(), 0);
    EXPECT_EQ(sink.sessionGone.load(), 0);
}

TEST_F(SinkTest, DisconnectMarksTheSessionGoneAndKeepsItsState) {
    sink.state = AudioSessionStateActive;
    EXPECT_EQ(events->OnSessionDisconnected(DisconnectReasonServerShutdown), S_OK);
    EXPECT_EQ(sink.sessionGone.load(), 1);
    EXPECT_EQ(sink.state.load(), 1);
}

TEST_F(SinkTest, OtherNotificationsRecordNothing) {
    sink.volume = 0.5f;
    sink.mute = 1;
    float channels[2] = {0.1f, 0.2f};
    EXPECT_EQ(events->OnDisplayNameChanged(u"name", &SomeContext), S_OK);
    EXPECT_EQ(events->OnIconPathChanged(u"icon", nullptr), S_OK);
    EXPECT_EQ(events->OnChannelVolumeChanged(2, channels, 1, &SomeContext), S_OK);
    EXPECT_EQ(events->OnGroupingParamChanged(&SomeContext, &SomeContext), E_NOTIMPL);
    EXPECT_EQ(sink.volume.load(), 0.5f);
    EXPECT_EQ(sink.mute.load(), 1);
    EXPECT_EQ(sink.state.load(), 0);
    EXPECT_EQ(sink.sessionGone.load(), 0);
    EXPECT_EQ(sink.refCount.load(), 1u);
}

// The service calls through the interface table by slot number: the table must be
// the object's first member and have IAudioSessionEvents's slot order.
TEST_F(SinkTest, InterfaceTableHasTheCoreAudioSlotOrder) {
    void** table = *reinterpret_cast<void***>(&sink);
    using AddRefSlot = ULONG (*)(void*);
    using VolumeSlot = HRESULT (*)(void*, float, BOOL, LPCGUID);
    using StateSlot = HRESULT (*)(void*, AudioSessionState);
    using DisconnectSlot = HRESULT (*)(void*, AudioSessionDisconnectReason);
    using GroupingSlot = HRESULT (*)(void*, LPCGUID, LPCGUID);

    EXPECT_EQ(reinterpret_cast<AddRefSlot>(table[1])(&sink), 2u);
    EXPECT_EQ(reinterpret_cast<VolumeSlot>(table[5])(&sink, 0.75f, 1, nullptr), S_OK);
    EXPECT_EQ(sink.volume.load(), 0.75f);
    EXPECT_EQ(reinterpret_cast<GroupingSlot>(table[7])(&sink, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(reinterpret_cast<StateSlot>(table[8])(&sink, AudioSessionStateExpired), S_OK);
    EXPECT_EQ(sink.state.load(), 2);
    sink.sessionGone = 0;
    EXPECT_EQ(reinterpret_cast<DisconnectSlot>(table[9])(&sink, DisconnectReasonFormatChanged), S_OK);
    EXPECT_EQ(sink.sessionGone.load(), 1);
    EXPECT_EQ(reinterpret_cast<AddRefSlot>(table[2])(&sink), 1u);
}

}  // namespace
