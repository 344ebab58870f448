// Shared setup of the audio tests: a fresh state record and simulated service per
// test, and the reference balance checked at the caller's line.
#pragma once

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "audio/session_binding.h"
#include "testing/audio_test.h"

// Checks a reference count where the test asserts it, naming the caller's line.
#define EXPECT_REF(count, expected) EXPECT_EQ(static_cast<ULONG>(count), static_cast<ULONG>(expected))

inline platform::test::ScriptedSession AppSession(std::u16string identifier, DWORD processId = 1234) {
    platform::test::ScriptedSession session;
    session.identifier = std::move(identifier);
    session.processId = processId;
    return session;
}

inline platform::test::ScriptedSession SystemSoundsSession() {
    platform::test::ScriptedSession session = AppSession(u"system-sounds", 0);
    session.systemSounds = true;
    return session;
}

// The reference balance once the program has released its session: no audio object
// stays alive, no string stays allocated, the service (when given) holds no sink, and
// the sink's count is back to its own one (or zero when nothing was bound).
inline void ExpectReferencesGivenBack(platform::mmdevapi::AudioService* service) {
    EXPECT_EQ(platform::test::LiveAudioObjects(), 0u) << "COM objects still referenced";
    EXPECT_EQ(platform::test::OutstandingTaskMemory(), 0u) << "task memory not freed";
    if (service != nullptr) {
        EXPECT_EQ(service->Notifications().RegisteredCount(), 0u) << "sink still registered";
    }
    EXPECT_EQ(AppState.sink.refCount.load(), AppState.sink.sessionId[0] != 0 ? 1u : 0u) << "sink references not given back";
}

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAppState();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }

    // Whatever the test did, releasing gives every reference back.
    void TearDown() override {
        ReleaseAudioSession();
        ExpectReferencesGivenBack(service.get());
        CoUninitialize();
        service.reset();
        platform::test::ResetAudio();
    }

    std::shared_ptr<platform::test::ScriptedAudioService> Use(platform::test::AudioScenario scenario,
                                                              const std::vector<platform::test::AudioFault>& faults = {}) {
        service = platform::test::UseScriptedAudio(std::move(scenario), faults);
        return service;
    }

    std::shared_ptr<platform::test::ScriptedAudioService> Use(std::vector<platform::test::ScriptedSession> sessions,
                                                              const std::vector<platform::test::AudioFault>& faults = {}) {
        platform::test::AudioScenario scenario;
        scenario.sessions = std::move(sessions);
        return Use(std::move(scenario), faults);
    }

    std::shared_ptr<platform::test::ScriptedAudioService> service;
};
