// Session objects and the session enumerator. A session object answers every call
// from its service; one object carries IAudioSessionControl2 and ISimpleAudioVolume.
#include "sessions.h"

#include "com_object.h"

namespace platform::mmdevapi {

namespace {

HRESULT CopyToTaskMemory(const std::u16string& text, LPWSTR* out) {
    *out = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::char_traits<char16_t>::copy(*out, text.c_str(), text.size() + 1);
    return S_OK;
}

class Session final : public IAudioSessionControl2, public ISimpleAudioVolume, public RefCounted<Session> {
public:
    Session(std::shared_ptr<AudioService> service, SessionKey key) : service_(std::move(service)), key_(key) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAudioSessionControl))
            return HandOut(static_cast<IAudioSessionControl2*>(this), object);
        if (IsEqualIID(riid, IID_IAudioSessionControl2) && service_->Supports(key_, riid))
            return HandOut(static_cast<IAudioSessionControl2*>(this), object);
        if (IsEqualIID(riid, IID_ISimpleAudioVolume) && service_->Supports(key_, riid))
            return HandOut(static_cast<ISimpleAudioVolume*>(this), object);
        return E_NOINTERFACE;
    }
    PLATFORM_IUNKNOWN_REFCOUNT

    // IAudioSessionControl
    HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* state) override {
        if (state == nullptr) return E_POINTER;
        return service_->State(key_, state);
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* name) override {
        if (name == nullptr) return E_POINTER;
        return CopyToTaskMemory(u"", name);
    }
    HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR* path) override {
        if (path == nullptr) return E_POINTER;
        return CopyToTaskMemory(u"", path);
    }
    HRESULT STDMETHODCALLTYPE SetIconPath(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGroupingParam(GUID* param) override {
        if (param == nullptr) return E_POINTER;
        *param = GUID_NULL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetGroupingParam(LPCGUID, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterAudioSessionNotification(IAudioSessionEvents* events) override {
        return service_->Register(key_, events);
    }
    HRESULT STDMETHODCALLTYPE UnregisterAudioSessionNotification(IAudioSessionEvents* events) override {
        return service_->Unregister(key_, events);
    }

    // IAudioSessionControl2
    HRESULT STDMETHODCALLTYPE GetSessionIdentifier(LPWSTR* identifier) override {
        if (identifier == nullptr) return E_POINTER;
        *identifier = nullptr;
        std::u16string text;
        HRESULT hr = service_->Identifier(key_, &text);
        if (hr != S_OK) return hr;
        return CopyToTaskMemory(text, identifier);
    }
    HRESULT STDMETHODCALLTYPE GetSessionInstanceIdentifier(LPWSTR* identifier) override {
        if (identifier == nullptr) return E_POINTER;
        *identifier = nullptr;
        std::u16string text;
        HRESULT hr = service_->Identifier(key_, &text);
        if (hr != S_OK) return hr;
        return CopyToTaskMemory(text + u"|instance", identifier);
    }
    HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* processId) override {
        if (processId == nullptr) return E_POINTER;
        return service_->ProcessId(key_, processId);
    }
    HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override { return service_->IsSystemSounds(key_); }
    HRESULT STDMETHODCALLTYPE SetDuckingPreference(BOOL) override { return S_OK; }

    // ISimpleAudioVolume
    HRESULT STDMETHODCALLTYPE SetMasterVolume(float level, LPCGUID eventContext) override {
        if (!(level >= 0.0f && level <= 1.0f)) return E_INVALIDARG;
        return service_->SetVolume(key_, level, eventContext != nullptr ? *eventContext : GUID_NULL);
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolume(float* level) override {
        if (level == nullptr) return E_POINTER;
        return service_->Volume(key_, level);
    }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID eventContext) override {
        return service_->SetMute(key_, mute, eventContext != nullptr ? *eventContext : GUID_NULL);
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
        if (mute == nullptr) return E_POINTER;
        return service_->Mute(key_, mute);
    }

private:
    std::shared_ptr<AudioService> service_;
    SessionKey key_;
};

class SessionEnumerator final : public IAudioSessionEnumerator, public RefCounted<SessionEnumerator> {
public:
    SessionEnumerator(std::shared_ptr<AudioService> service, const std::vector<SessionKey>& keys) : service_(std::move(service)) {
        for (SessionKey key : keys) sessions_.push_back({key, new Session(service_, key)});
    }
    ~SessionEnumerator() {
        for (const Entry& entry : sessions_) entry.session->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAudioSessionEnumerator))
            return HandOut(static_cast<IAudioSessionEnumerator*>(this), object);
        return E_NOINTERFACE;
    }
    PLATFORM_IUNKNOWN_REFCOUNT

    HRESULT STDMETHODCALLTYPE GetCount(int* count) override {
        if (count == nullptr) return E_POINTER;
        *count = static_cast<int>(sessions_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** session) override {
        if (session == nullptr) return E_POINTER;
        *session = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= sessions_.size()) return E_INVALIDARG;
        const Entry& entry = sessions_[static_cast<size_t>(index)];
        return HandOut(static_cast<IAudioSessionControl*>(static_cast<IAudioSessionControl2*>(entry.session)),
                       reinterpret_cast<void**>(session));
    }

private:
    struct Entry {
        SessionKey key;
        Session* session;
    };
    std::shared_ptr<AudioService> service_;
    std::vector<Entry> sessions_;
};

}  // namespace

IAudioSessionEnumerator* CreateSessionEnumerator(const std::shared_ptr<AudioService>& service,
                                                 const std::vector<SessionKey>& sessions) {
    return new SessionEnumerator(service, sessions);
}

}  // namespace platform::mmdevapi
