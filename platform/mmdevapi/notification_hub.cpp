#include "mmdevapi/audio_service.h"

namespace platform::mmdevapi {

HRESULT NotificationHub::Register(SessionKey session, IAudioSessionEvents* events) {
    if (events == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    events->AddRef();
    registered_.emplace(session, events);
    return S_OK;
}

HRESULT NotificationHub::Unregister(SessionKey session, IAudioSessionEvents* events) {
    if (events == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    auto [first, last] = registered_.equal_range(session);
    for (auto it = first; it != last; ++it) {
        if (it->second == events) {
            registered_.erase(it);
            events->Release();
            return S_OK;
        }
    }
    return E_NOTFOUND;
}

size_t NotificationHub::RegisteredCount() const {
    std::lock_guard lock(mutex_);
    return registered_.size();
}

template <typename Call>
void NotificationHub::ForEach(SessionKey session, Call call) {
    std::lock_guard lock(mutex_);
    auto [first, last] = registered_.equal_range(session);
    for (auto it = first; it != last; ++it) call(it->second);
}

void NotificationHub::DeliverVolume(SessionKey session, float volume, BOOL mute, const GUID& eventContext) {
    ForEach(session, [&](IAudioSessionEvents* events) { events->OnSimpleVolumeChanged(volume, mute, &eventContext); });
}

void NotificationHub::DeliverState(SessionKey session, AudioSessionState state) {
    ForEach(session, [&](IAudioSessionEvents* events) { events->OnStateChanged(state); });
}

void NotificationHub::DeliverDisconnect(SessionKey session, AudioSessionDisconnectReason reason) {
    ForEach(session, [&](IAudioSessionEvents* events) { events->OnSessionDisconnected(reason); });
}

}  // namespace platform::mmdevapi
