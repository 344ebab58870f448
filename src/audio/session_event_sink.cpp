#include "audio/session_event_sink.h"

#include <cstring>

#include "audio/audio_ids.h"

HRESULT STDMETHODCALLTYPE SessionEventSink::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_FAIL;
    *object = nullptr;
    if (std::memcmp(&riid, &IidIUnknown, sizeof(GUID)) != 0 && std::memcmp(&riid, &IidIAudioSessionEvents, sizeof(GUID)) != 0)
        return E_NOINTERFACE;
    *object = this;
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE SessionEventSink::AddRef() { return refCount.fetch_add(1, relaxed) + 1; }

// The object is part of the program's state record and is never freed.
ULONG STDMETHODCALLTYPE SessionEventSink::Release() { return refCount.fetch_sub(1, relaxed) - 1; }

HRESULT SessionEventSink::OnTextPropertyChanged(LPCWSTR, LPCGUID) { return S_OK; }

HRESULT STDMETHODCALLTYPE SessionEventSink::OnDisplayNameChanged(LPCWSTR newDisplayName, LPCGUID eventContext) {
    return OnTextPropertyChanged(newDisplayName, eventContext);
}

HRESULT STDMETHODCALLTYPE SessionEventSink::OnIconPathChanged(LPCWSTR newIconPath, LPCGUID eventContext) {
    return OnTextPropertyChanged(newIconPath, eventContext);
}

// The event context is not looked at: the program's own changes are recorded like
// anyone else's. The mute value is kept exactly as received.
HRESULT STDMETHODCALLTYPE SessionEventSink::OnSimpleVolumeChanged(float newVolume, BOOL newMute, LPCGUID) {
    volume.store(newVolume, relaxed);
    mute.store(newMute, relaxed);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SessionEventSink::OnChannelVolumeChanged(DWORD, float[], DWORD, LPCGUID) { return S_OK; }

HRESULT STDMETHODCALLTYPE SessionEventSink::OnGroupingParamChanged(LPCGUID, LPCGUID) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE SessionEventSink::OnStateChanged(AudioSessionState newState) {
    state.store(newState, relaxed);
    if (newState == AudioSessionStateInactive || newState == AudioSessionStateActive)
        sessionGone.store(0, relaxed);
    else if (newState == AudioSessionStateExpired)
        sessionGone.store(1, relaxed);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SessionEventSink::OnSessionDisconnected(AudioSessionDisconnectReason) {
    sessionGone.store(1, relaxed);
    return S_OK;
}
