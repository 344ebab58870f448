// The simulated audio service: what the program shows when no sound server answers,
// the system-sounds session and one application session that says it is simulated.
// The program's own changes to it are notified on the service's own thread, as on
// Windows.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>

#include "mmdevapi/audio_service.h"

namespace platform::mmdevapi {

struct SimSession {
    std::u16string identifier;
    bool systemSounds = false;
    DWORD processId = 0;
    float volume = 1.0f;
    BOOL mute = FALSE;
    AudioSessionState state = AudioSessionStateActive;
};

class SimAudioService final : public AudioService {
public:
    SimAudioService();
    ~SimAudioService() override;

    HRESULT DefaultEndpoint(EDataFlow flow, ERole role) override;
    HRESULT ListSessions(std::vector<SessionKey>* sessions) override;
    bool Supports(SessionKey session, REFIID iid) override;
    HRESULT IsSystemSounds(SessionKey session) override;
    HRESULT ProcessId(SessionKey session, DWORD* processId) override;
    HRESULT Identifier(SessionKey session, std::u16string* identifier) override;
    HRESULT State(SessionKey session, AudioSessionState* state) override;
    HRESULT Volume(SessionKey session, float* volume) override;
    HRESULT Mute(SessionKey session, BOOL* mute) override;
    HRESULT SetVolume(SessionKey session, float volume, const GUID& eventContext) override;
    HRESULT SetMute(SessionKey session, BOOL mute, const GUID& eventContext) override;

private:
    void Post(std::function<void()> task);
    void Run();

    mutable std::mutex mutex_;  // guards sessions_
    std::vector<SimSession> sessions_;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread thread_;  // the service's own thread; last, so it starts after the rest
};

std::shared_ptr<AudioService> CreateSimService(std::string& whyNot);

}  // namespace platform::mmdevapi
