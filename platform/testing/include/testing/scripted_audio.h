// An audio service whose sessions a test writes, and whose other clients a test plays:
// the owning application or a volume mixer changing values, a service that is slow to
// notify, a burst of notifications. Notifications reach registered objects on the
// service's own thread, as on Windows. What the program asks for is recorded.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>

#include "mmdevapi/audio_service.h"

namespace platform::test {

using mmdevapi::SessionKey;

struct ScriptedSession {
    std::u16string identifier;
    bool systemSounds = false;
    DWORD processId = 0;
    bool hasControl2 = true;
    bool hasSimpleVolume = true;
    float volume = 1.0f;
    BOOL mute = FALSE;                    // reported as is by GetMute, whatever the value
    int state = AudioSessionStateActive;  // any value, to script what GetState reports
};

// The sessions of the default render endpoint; a session's key is its index.
struct AudioScenario {
    std::vector<ScriptedSession> sessions;
};

// A SetMasterVolume or SetMute that reached the service, in order of arrival.
struct SetCall {
    size_t session;
    enum Kind { Volume, Mute } kind;
    float volume;
    BOOL mute;
    GUID eventContext;
};

class ScriptedAudioService final : public mmdevapi::AudioService {
public:
    explicit ScriptedAudioService(AudioScenario scenario);
    ~ScriptedAudioService() override;

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

    std::vector<SetCall> SetCalls() const;
    ScriptedSession Session(size_t session) const;
    size_t RegisteredCount() { return Notifications().RegisteredCount(); }

private:
    static constexpr GUID OtherClientContext = {0x6f7a1c2e, 0x5b4d, 0x4e21, {0x9a, 0x3c, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};

    // Sets the session's volume or mute and, when it changed, queues its notification.
    template <typename Value>
    HRESULT Apply(size_t index, Value ScriptedSession::*field, Value value, const GUID& eventContext);
    void Post(std::function<void()> task);
    void Run();

    mutable std::mutex mutex_;  // guards scenario_, setCalls_ and atNextRegistration_
    AudioScenario scenario_;
    std::vector<SetCall> setCalls_;
    std::function<void(size_t)> atNextRegistration_;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::function<void()>> queue_;
    bool busy_ = false;
    bool held_ = false;
    bool stopping_ = false;
    std::thread thread_;  // the service's own thread; last, so it starts after the rest
};

}  // namespace platform::test
