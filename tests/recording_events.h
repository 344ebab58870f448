// A recording notification sink for the audio tests.
#pragma once

#include <audiopolicy.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// An IAudioSessionEvents object of a test's own, beside the program's sink: it records
// every notification, with what the program's sink does not keep (the event context,
// the disconnect reason, the thread it came on). It lives on the test's stack:
// Release only decrements.
class RecordingEvents final : public IAudioSessionEvents {
public:
    struct VolumeEvent {
        float volume;
        BOOL mute;
        GUID context;
        std::thread::id thread;
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IAudioSessionEvents)) return E_NOINTERFACE;
        *object = static_cast<IAudioSessionEvents*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float volume, BOOL mute, LPCGUID context) override {
        std::lock_guard lock(mutex_);
        volumes_.push_back({volume, mute, context != nullptr ? *context : GUID_NULL, std::this_thread::get_id()});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float[], DWORD, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState state) override {
        std::lock_guard lock(mutex_);
        states_.push_back(state);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason reason) override {
        std::lock_guard lock(mutex_);
        disconnects_.push_back(reason);
        return S_OK;
    }

    std::vector<VolumeEvent> Volumes() {
        std::lock_guard lock(mutex_);
        return volumes_;
    }
    std::vector<AudioSessionState> States() {
        std::lock_guard lock(mutex_);
        return states_;
    }
    std::vector<AudioSessionDisconnectReason> Disconnects() {
        std::lock_guard lock(mutex_);
        return disconnects_;
    }

    std::atomic<ULONG> refs{0};

private:
    std::mutex mutex_;
    std::vector<VolumeEvent> volumes_;
    std::vector<AudioSessionState> states_;
    std::vector<AudioSessionDisconnectReason> disconnects_;
};
