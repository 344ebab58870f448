// The contract between the Core Audio COM objects of this layer and the audio
// service behind them. A backend (the simulated service, a sound server) implements
// AudioService; the COM objects never name a backend.
#pragma once

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/backend_chooser.h"

namespace platform::mmdevapi {

// Identifies one session of the default render endpoint for as long as it exists.
using SessionKey = uint64_t;

// The IAudioSessionEvents objects registered per session. A backend calls the
// Deliver* methods on its own thread; once Unregister has returned, that object
// gets no further call.
class NotificationHub {
public:
    HRESULT Register(SessionKey session, IAudioSessionEvents* events);
    HRESULT Unregister(SessionKey session, IAudioSessionEvents* events);
    size_t RegisteredCount() const;

    void DeliverVolume(SessionKey session, float volume, BOOL mute, const GUID& eventContext);
    void DeliverState(SessionKey session, AudioSessionState state);
    void DeliverDisconnect(SessionKey session, AudioSessionDisconnectReason reason);

private:
    template <typename Call>
    void ForEach(SessionKey session, Call call);

    // Held while calling the registered objects, so that Unregister waits for a
    // delivery in progress. A notification method must therefore not unregister.
    mutable std::mutex mutex_;
    std::multimap<SessionKey, IAudioSessionEvents*> registered_;
};

class AudioService {
public:
    virtual ~AudioService() = default;

    // One call per Core Audio call that asks the service; what it returns is what the
    // COM call returns.
    virtual HRESULT DefaultEndpoint(EDataFlow flow, ERole role) = 0;      // GetDefaultAudioEndpoint
    virtual HRESULT ListSessions(std::vector<SessionKey>* sessions) = 0;  // GetSessionEnumerator

    // Per session.
    virtual bool Supports(SessionKey session, REFIID iid) = 0;  // IAudioSessionControl2, ISimpleAudioVolume
    virtual HRESULT IsSystemSounds(SessionKey session) = 0;     // S_OK for the system-sounds session, else S_FALSE
    virtual HRESULT ProcessId(SessionKey session, DWORD* processId) = 0;
    virtual HRESULT Identifier(SessionKey session, std::u16string* identifier) = 0;
    virtual HRESULT State(SessionKey session, AudioSessionState* state) = 0;
    virtual HRESULT Volume(SessionKey session, float* volume) = 0;
    virtual HRESULT Mute(SessionKey session, BOOL* mute) = 0;
    // Apply the value; the registered objects of the session then hear of it on the
    // service's thread, with this event context.
    virtual HRESULT SetVolume(SessionKey session, float volume, const GUID& eventContext) = 0;
    virtual HRESULT SetMute(SessionKey session, BOOL mute, const GUID& eventContext) = 0;
    // RegisterAudioSessionNotification: from now on the object hears of the session's changes.
    virtual HRESULT Register(SessionKey session, IAudioSessionEvents* events) { return notifications_.Register(session, events); }
    // UnregisterAudioSessionNotification: once it returns, the object hears nothing more.
    virtual HRESULT Unregister(SessionKey session, IAudioSessionEvents* events) {
        return notifications_.Unregister(session, events);
    }

    NotificationHub& Notifications() { return notifications_; }

private:
    NotificationHub notifications_;
};

// A backend of the table in backends.cpp.
using AudioBackend = base::BackendEntry<std::shared_ptr<AudioService>>;

// The service that new device enumerators use: the one a test installed, else the
// first backend of the table (or of PLATFORM_AUDIO, a comma-separated list) that runs.
// Choosing one writes a line naming it, and what was not used and why, to standard
// error.
std::shared_ptr<AudioService> CurrentService();
void InstallService(std::shared_ptr<AudioService> service);

}  // namespace platform::mmdevapi
