// The service thread writes the status as fast as it can while the window thread
// reads it, as the refresh timer does. Run under ThreadSanitizer, this proves the
// lock-free status fields are free of data races.
#include "audio_fixture.h"

namespace {

class NotificationStressTest : public AudioTest {};

TEST_F(NotificationStressTest, WindowThreadReadsWhileServiceThreadWrites) {
    Use({AppSession(u"app")});
    BindAudioSession();
    ASSERT_NE(AppState.session, nullptr);

    constexpr int notifications = 20000;
    service->Flood(0, notifications);

    ISimpleAudioVolume* volume = nullptr;
    ASSERT_EQ(AppState.session->QueryInterface(IID_ISimpleAudioVolume, reinterpret_cast<void**>(&volume)), S_OK);

    // Poll like the timer tick does, and issue commands meanwhile, until the flood
    // has been delivered.
    float lastVolume = -1.0f;
    for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 100; ++i) {
            lastVolume = AppState.sink.volume.load(std::memory_order_relaxed);
            ASSERT_GE(lastVolume, 0.0f);
            ASSERT_LE(lastVolume, 1.0f);
            int state = AppState.sink.state.load(std::memory_order_relaxed);
            ASSERT_GE(state, 0);
            ASSERT_LE(state, 2);
        }
        volume->SetMasterVolume(round % 2 ? 0.25f : 0.5f, nullptr);
    }
    volume->Release();
    service->Flush();

    // The last notification delivered decides the status: the command notifications
    // queue behind the flood and end on volume 0.25 (round 199) with the service's
    // own mute; the state is the flood's last.
    EXPECT_EQ(AppState.sink.volume.load(), 0.25f);
    EXPECT_EQ(AppState.sink.mute.load(), 0);
    EXPECT_EQ(AppState.sink.state.load(), (notifications - 1) % 3);
}

}  // namespace
