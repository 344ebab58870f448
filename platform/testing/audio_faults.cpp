#include "testing/audio_faults.h"

#include <mmdeviceapi.h>

#include <atomic>
#include <mutex>
#include <optional>

#include "mmdevapi/mmdevapi.h"
#include "ole32/ole32.h"

namespace platform::test {
namespace {

using mmdevapi::SessionKey;

// The last fault that names the call and the session: a later one overrides.
std::optional<HRESULT> FaultOf(const std::vector<AudioFault>& faults, AudioCall call, size_t session = AnySession) {
    for (auto fault = faults.rbegin(); fault != faults.rend(); ++fault) {
        if (fault->call == call && (fault->session == AnySession || fault->session == session)) return fault->result;
    }
    return std::nullopt;
}

class FaultyAudioService final : public mmdevapi::AudioService {
public:
    FaultyAudioService(std::shared_ptr<AudioService> inner, std::vector<AudioFault> faults)
        : inner_(std::move(inner)), faults_(std::move(faults)) {}

    HRESULT DefaultEndpoint(EDataFlow flow, ERole role) override {
        return Apply(AudioCall::GetDefaultAudioEndpoint, AnySession, [&] { return inner_->DefaultEndpoint(flow, role); });
    }
    HRESULT ListSessions(std::vector<SessionKey>* sessions) override {
        return Apply(AudioCall::GetSessionEnumerator, AnySession, [&] { return inner_->ListSessions(sessions); });
    }
    bool Supports(SessionKey session, REFIID iid) override { return inner_->Supports(session, iid); }
    HRESULT IsSystemSounds(SessionKey session) override { return inner_->IsSystemSounds(session); }
    HRESULT ProcessId(SessionKey session, DWORD* processId) override {
        return Apply(AudioCall::GetProcessId, session, [&] { return inner_->ProcessId(session, processId); });
    }
    HRESULT Identifier(SessionKey session, std::u16string* identifier) override {
        return Apply(AudioCall::GetSessionIdentifier, session, [&] { return inner_->Identifier(session, identifier); });
    }
    HRESULT State(SessionKey session, AudioSessionState* state) override {
        return Apply(AudioCall::GetState, session, [&] { return inner_->State(session, state); });
    }
    HRESULT Volume(SessionKey session, float* volume) override {
        return Apply(AudioCall::GetMasterVolume, session, [&] { return inner_->Volume(session, volume); });
    }
    HRESULT Mute(SessionKey session, BOOL* mute) override {
        return Apply(AudioCall::GetMute, session, [&] { return inner_->Mute(session, mute); });
    }
    HRESULT SetVolume(SessionKey session, float volume, const GUID& eventContext) override {
        return Apply(AudioCall::SetMasterVolume, session, [&] { return inner_->SetVolume(session, volume, eventContext); });
    }
    HRESULT SetMute(SessionKey session, BOOL mute, const GUID& eventContext) override {
        return Apply(AudioCall::SetMute, session, [&] { return inner_->SetMute(session, mute, eventContext); });
    }
    HRESULT Register(SessionKey session, IAudioSessionEvents* events) override {
        return Apply(AudioCall::RegisterAudioSessionNotification, session, [&] { return inner_->Register(session, events); });
    }
    HRESULT Unregister(SessionKey session, IAudioSessionEvents* events) override { return inner_->Unregister(session, events); }

private:
    template <typename Call>
    HRESULT Apply(AudioCall call, SessionKey session, Call ask) {
        std::optional<HRESULT> fault = FaultOf(faults_, call, static_cast<size_t>(session));
        if (fault && FAILED(*fault)) return *fault;
        HRESULT hr = ask();
        return fault && hr == S_OK ? *fault : hr;
    }

    std::shared_ptr<AudioService> inner_;
    std::vector<AudioFault> faults_;
};

// The objects between the program and the real device enumerator, device, session
// manager and session enumerator: each holds the real one and passes every call on,
// except one that a fault names.
std::mutex interposedMutex;
std::vector<AudioFault> interposedFaults;
std::atomic<size_t> liveInterposed{0};

std::optional<HRESULT> InterposedFault(AudioCall call, size_t session = AnySession) {
    std::lock_guard lock(interposedMutex);
    return FaultOf(interposedFaults, call, session);
}

template <typename Interface>
class Interposed : public Interface {
public:
    explicit Interposed(Interface* real) : real_(real) { liveInterposed.fetch_add(1); }
    virtual ~Interposed() {
        real_->Release();
        liveInterposed.fetch_sub(1);
    }
    Interposed(const Interposed&) = delete;
    Interposed& operator=(const Interposed&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !Answers(riid)) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refCount_.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG remaining = refCount_.fetch_sub(1) - 1;
        if (remaining == 0) delete this;
        return remaining;
    }

protected:
    virtual bool Answers(REFIID riid) const = 0;
    Interface* real_;

private:
    std::atomic<ULONG> refCount_{1};
};

class InterposedSessions final : public Interposed<IAudioSessionEnumerator> {
public:
    using Interposed::Interposed;
    bool Answers(REFIID riid) const override { return IsEqualIID(riid, IID_IAudioSessionEnumerator); }
    HRESULT STDMETHODCALLTYPE GetCount(int* count) override {
        if (std::optional<HRESULT> fault = InterposedFault(AudioCall::GetCount)) return *fault;
        return real_->GetCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** session) override {
        if (std::optional<HRESULT> fault = InterposedFault(AudioCall::GetSession, static_cast<size_t>(index))) {
            if (session != nullptr) *session = nullptr;
            return *fault;
        }
        return real_->GetSession(index, session);
    }
};

class InterposedManager final : public Interposed<IAudioSessionManager2> {
public:
    using Interposed::Interposed;
    bool Answers(REFIID riid) const override {
        return IsEqualIID(riid, IID_IAudioSessionManager) || IsEqualIID(riid, IID_IAudioSessionManager2);
    }
    HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID guid, DWORD flags, IAudioSessionControl** control) override {
        return real_->GetAudioSessionControl(guid, flags, control);
    }
    HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID guid, DWORD flags, ISimpleAudioVolume** volume) override {
        return real_->GetSimpleAudioVolume(guid, flags, volume);
    }
    HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** sessions) override {
        HRESULT hr = real_->GetSessionEnumerator(sessions);
        if (hr == S_OK) *sessions = new InterposedSessions(*sessions);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification* n) override {
        return real_->RegisterSessionNotification(n);
    }
    HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification* n) override {
        return real_->UnregisterSessionNotification(n);
    }
    HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR id, IAudioVolumeDuckNotification* n) override {
        return real_->RegisterDuckNotification(id, n);
    }
    HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification* n) override {
        return real_->UnregisterDuckNotification(n);
    }
};

class InterposedDevice final : public Interposed<IMMDevice> {
public:
    using Interposed::Interposed;
    bool Answers(REFIID riid) const override { return IsEqualIID(riid, IID_IMMDevice); }
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters, void** object) override {
        if (std::optional<HRESULT> fault = InterposedFault(AudioCall::Activate)) {
            if (object != nullptr) *object = nullptr;
            return *fault;
        }
        // Ask the real device for the manager as IAudioSessionManager2, whatever the
        // caller wants, so that the interposed one can pass on every call.
        IAudioSessionManager2* manager = nullptr;
        HRESULT hr = real_->Activate(IID_IAudioSessionManager2, context, parameters, reinterpret_cast<void**>(&manager));
        if (hr != S_OK) return real_->Activate(iid, context, parameters, object);
        auto* interposed = new InterposedManager(manager);
        hr = interposed->QueryInterface(iid, object);
        interposed->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** properties) override {
        return real_->OpenPropertyStore(access, properties);
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override { return real_->GetId(id); }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override { return real_->GetState(state); }
};

class InterposedEnumerator final : public Interposed<IMMDeviceEnumerator> {
public:
    using Interposed::Interposed;
    bool Answers(REFIID riid) const override { return IsEqualIID(riid, IID_IMMDeviceEnumerator); }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask, IMMDeviceCollection** devices) override {
        return real_->EnumAudioEndpoints(flow, mask, devices);
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** endpoint) override {
        HRESULT hr = real_->GetDefaultAudioEndpoint(flow, role, endpoint);
        if (hr == S_OK) *endpoint = new InterposedDevice(*endpoint);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override { return real_->GetDevice(id, device); }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        return real_->RegisterEndpointNotificationCallback(client);
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        return real_->UnregisterEndpointNotificationCallback(client);
    }
};

HRESULT CreateInterposedEnumerator(REFIID riid, void** object) {
    if (std::optional<HRESULT> fault = InterposedFault(AudioCall::CoCreateInstance)) return *fault;
    IMMDeviceEnumerator* real = nullptr;
    HRESULT hr = mmdevapi::CreateDeviceEnumerator(IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&real));
    if (hr != S_OK) return hr;
    auto* interposed = new InterposedEnumerator(real);
    hr = interposed->QueryInterface(riid, object);
    interposed->Release();
    return hr;
}

}  // namespace

std::shared_ptr<mmdevapi::AudioService> WithFaults(std::shared_ptr<mmdevapi::AudioService> service,
                                                   const std::vector<AudioFault>& faults) {
    return std::make_shared<FaultyAudioService>(std::move(service), faults);
}

void InterposeCoreAudio(const std::vector<AudioFault>& faults) {
    {
        std::lock_guard lock(interposedMutex);
        interposedFaults = faults;
    }
    ole32::RegisterInprocServer(CLSID_MMDeviceEnumerator,
                                faults.empty() ? mmdevapi::CreateDeviceEnumerator : CreateInterposedEnumerator);
}

size_t LiveInterposedObjects() { return liveInterposed.load(); }

}  // namespace platform::test
