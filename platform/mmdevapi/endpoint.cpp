// The device enumerator, the default render endpoint and its session manager.
#include <atomic>

#include "mmdevapi/audio_service.h"
#include "com_object.h"
#include "mmdevapi/mmdevapi.h"
#include "sessions.h"

namespace platform::mmdevapi {

namespace {

std::atomic<size_t> liveObjects{0};

class SessionManager final : public IAudioSessionManager2, public RefCounted<SessionManager> {
public:
    explicit SessionManager(std::shared_ptr<AudioService> service) : service_(std::move(service)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAudioSessionManager) ||
            IsEqualIID(riid, IID_IAudioSessionManager2))
            return HandOut(static_cast<IAudioSessionManager2*>(this), object);
        return E_NOINTERFACE;
    }
    PLATFORM_IUNKNOWN_REFCOUNT

    HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl** control) override {
        if (control != nullptr) *control = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID, DWORD, ISimpleAudioVolume** volume) override {
        if (volume != nullptr) *volume = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** sessionEnum) override {
        if (sessionEnum == nullptr) return E_POINTER;
        *sessionEnum = nullptr;
        std::vector<SessionKey> keys;
        HRESULT hr = service_->ListSessions(&keys);
        if (hr != S_OK) return hr;
        *sessionEnum = CreateSessionEnumerator(service_, keys);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR, IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }

private:
    std::shared_ptr<AudioService> service_;
};

class Device final : public IMMDevice, public RefCounted<Device> {
public:
    explicit Device(std::shared_ptr<AudioService> service) : service_(std::move(service)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMMDevice))
            return HandOut(static_cast<IMMDevice*>(this), object);
        return E_NOINTERFACE;
    }
    PLATFORM_IUNKNOWN_REFCOUNT

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IAudioSessionManager2) && !IsEqualIID(iid, IID_IAudioSessionManager)) return E_NOINTERFACE;
        *object = static_cast<IAudioSessionManager2*>(new SessionManager(service_));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** properties) override {
        if (properties != nullptr) *properties = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        if (id == nullptr) return E_POINTER;
        static const char16_t endpointId[] = u"{0.0.0.00000000}.{default-render}";
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof endpointId));
        if (*id == nullptr) return E_OUTOFMEMORY;
        std::char_traits<char16_t>::copy(*id, endpointId, sizeof endpointId / sizeof(char16_t));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        if (state == nullptr) return E_POINTER;
        *state = DEVICE_STATE_ACTIVE;
        return S_OK;
    }

private:
    std::shared_ptr<AudioService> service_;
};

class DeviceEnumerator final : public IMMDeviceEnumerator, public RefCounted<DeviceEnumerator> {
public:
    explicit DeviceEnumerator(std::shared_ptr<AudioService> service) : service_(std::move(service)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMMDeviceEnumerator))
            return HandOut(static_cast<IMMDeviceEnumerator*>(this), object);
        return E_NOINTERFACE;
    }
    PLATFORM_IUNKNOWN_REFCOUNT

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection** devices) override {
        if (devices != nullptr) *devices = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** endpoint) override {
        if (endpoint == nullptr) return E_POINTER;
        *endpoint = nullptr;
        if (flow != eRender && flow != eCapture) return E_INVALIDARG;
        if (role < eConsole || role >= ERole_enum_count) return E_INVALIDARG;
        HRESULT hr = service_->DefaultEndpoint(flow, role);
        if (hr != S_OK) return hr;
        *endpoint = new Device(service_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice** device) override {
        if (device != nullptr) *device = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }

private:
    std::shared_ptr<AudioService> service_;
};

}  // namespace

LiveObjectCounter::LiveObjectCounter() { liveObjects.fetch_add(1); }
LiveObjectCounter::~LiveObjectCounter() { liveObjects.fetch_sub(1); }

size_t LiveObjects() { return liveObjects.load(); }

HRESULT CreateDeviceEnumerator(REFIID riid, void** object) {
    std::shared_ptr<AudioService> service = CurrentService();
    if (service == nullptr) return REGDB_E_CLASSNOTREG;
    auto* enumerator = new DeviceEnumerator(std::move(service));
    HRESULT hr = enumerator->QueryInterface(riid, object);
    enumerator->Release();
    return hr;
}

}  // namespace platform::mmdevapi
