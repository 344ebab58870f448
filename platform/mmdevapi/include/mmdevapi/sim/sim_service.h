// The simulated audio service: the embedded default when no sound server answers,
// and the test double. Every result the program can see is scriptable per run, and
// notifications reach registered objects on the service's own thread, as on Windows.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>

#include "mmdevapi/audio_service.h"

namespace platform::mmdevapi {

struct SimSession {
    std::u16string identifier;
    HRESULT identifierResult = S_OK;
    bool systemSounds = false;
    HRESULT processIdResult = S_OK;
    DWORD processId = 0;
    bool hasControl2 = true;
    bool hasSimpleVolume = true;
    HRESULT getSessionResult = S_OK;  // a failure hands out no object
    float volume = 1.0f;
    HRESULT volumeResult = S_OK;
    BOOL mute = FALSE;  // reported as is by GetMute, whatever the value
    HRESULT muteResult = S_OK;
    int state = AudioSessionStateActive;  // any value, to script what GetState reports
    HRESULT stateResult = S_OK;
};

struct SimScenario {
    HRESULT createInstance = S_OK;
    HRESULT defaultEndpoint = S_OK;
    HRESULT activate = S_OK;
    HRESULT sessionEnumerator = S_OK;
    HRESULT count = S_OK;
    std::vector<SimSession> sessions;

    // What the program finds on Linux with no other service: the system-sounds
    // session followed by one application session.
    static SimScenario Demo();
};

// A SetMasterVolume or SetMute that reached the service, in order of arrival.
struct SimSetCall {
    size_t session;
    enum Kind { Volume, Mute } kind;
    float volume;
    BOOL mute;
    GUID eventContext;
};

class SimAudioService final : public AudioService {
public:
    explicit SimAudioService(SimScenario scenario);
    ~SimAudioService() override;

    HRESULT CreateEnumerator() override;
    HRESULT DefaultEndpoint(EDataFlow flow, ERole role) override;
    HRESULT ActivateSessionManager() override;
    HRESULT ListSessions(std::vector<SessionKey>* sessions) override;
    HRESULT CountResult() override;
    HRESULT GetSessionResult(SessionKey session) override;
    bool Supports(SessionKey session, REFIID iid) override;
    HRESULT IsSystemSounds(SessionKey session) override;
    HRESULT ProcessId(SessionKey session, DWORD* processId) override;
    HRESULT Identifier(SessionKey session, std::u16string* identifier) override;
    HRESULT State(SessionKey session, AudioSessionState* state) override;
    HRESULT Volume(SessionKey session, float* volume) override;
    HRESULT Mute(SessionKey session, BOOL* mute) override;
    HRESULT SetVolume(SessionKey session, float volume, const GUID& eventContext) override;
    HRESULT SetMute(SessionKey session, BOOL mute, const GUID& eventContext) override;
    HRESULT Register(SessionKey session, IAudioSessionEvents* events) override;

    // Changes made by another client (the owning application, the volume mixer):
    // applied at once, notified on the service thread when the value changed.
    void OtherClientSetVolume(size_t session, float volume);
    void OtherClientSetMute(size_t session, BOOL mute);
    // Notifications with any values, as a service may send them (a mute of 5, say).
    void SendVolumeNotification(size_t session, float volume, BOOL mute);
    void ChangeState(size_t session, int state);
    void Disconnect(size_t session, AudioSessionDisconnectReason reason);
    // Delivers `count` volume and state notifications back to back on the service thread.
    void Flood(size_t session, int count);

    // Runs `change` once, on the registering thread, when the next object registers for
    // a session and before it hears of anything: a change that lands while the
    // registration is on its way, as it can when registering is a call into the service.
    void AtNextRegistration(std::function<void(size_t session)> change);

    // While held, notifications queue up undelivered, as when the service is slow
    // to answer. Releasing lets them go in order.
    void HoldNotifications(bool held);

    // Waits until every notification queued so far has been delivered.
    void Flush();

    std::vector<SimSetCall> SetCalls() const;
    SimSession Session(size_t session) const;
    size_t RegisteredCount() { return Notifications().RegisteredCount(); }

private:
    static constexpr GUID OtherClientContext = {0x6f7a1c2e, 0x5b4d, 0x4e21, {0x9a, 0x3c, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};

    HRESULT ApplyVolume(size_t index, float volume, const GUID& eventContext);
    HRESULT ApplyMute(size_t index, BOOL mute, const GUID& eventContext);
    void Post(std::function<void()> task);
    void Run();

    mutable std::mutex mutex_;  // guards scenario_, setCalls_ and atNextRegistration_
    SimScenario scenario_;
    std::vector<SimSetCall> setCalls_;
    std::function<void(size_t)> atNextRegistration_;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::function<void()>> queue_;
    bool busy_ = false;
    bool held_ = false;
    bool stopping_ = false;
    std::thread thread_;  // the service's own thread; last, so it starts after the rest
};

std::shared_ptr<AudioService> CreateSimService(std::string& whyNot);

}  // namespace platform::mmdevapi
