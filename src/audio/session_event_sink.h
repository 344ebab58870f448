// The program's IAudioSessionEvents object. It also carries the bound session's
// status, which binding fills and the display reads.
#pragma once

#include <windows.h>
#include <audiopolicy.h>

#include <atomic>

// The audio service calls the notification methods on its own threads while the
// window thread polls the status on its timer. The fields those threads write are
// atomics with relaxed ordering: the same plain word loads and stores, without the
// data race.
class SessionEventSink final : public IAudioSessionEvents {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR newDisplayName, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR newIconPath, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float newVolume, BOOL newMute, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD channelCount, float newChannelVolumes[], DWORD changedChannel,
                                                     LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID newGroupingParam, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState newState) override;
    HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason disconnectReason) override;

    std::atomic<ULONG> refCount{0};
    WCHAR sessionId[512] = {};
    std::atomic<float> volume{0.0f};
    std::atomic<BOOL> mute{0};
    std::atomic<INT> sessionGone{0};
    std::atomic<INT> state{0};
    DWORD processId = 0;

private:
    static HRESULT OnTextPropertyChanged(LPCWSTR newText, LPCGUID eventContext);
};

// The one memory order of the status fields: each is a word of its own, and no reader
// needs one field to be ordered with another.
inline constexpr auto relaxed = std::memory_order_relaxed;

static_assert(std::atomic<ULONG>::is_always_lock_free);
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<BOOL>::is_always_lock_free);
static_assert(std::atomic<INT>::is_always_lock_free);
