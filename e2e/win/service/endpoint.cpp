// The road from the class to the sessions: device enumerator, default render endpoint,
// session manager and session enumerator, each answering as the script says.
#include "service_object.h"

namespace service {
namespace {

using e2e::CallRecord;

class DeviceEnumeratorObject final : public ServiceObject<IMMDeviceEnumerator, e2e::SlotDeviceEnumerator> {
public:
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection** devices) override {
        if (devices != nullptr) *devices = nullptr;
        return Unexpected(e2e::CallEnumeratorOther);
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** endpoint) override {
        CheckAlive(e2e::SlotDeviceEnumerator, e2e::CallGetDefaultAudioEndpoint);
        CallRecord record = NewRecord(e2e::CallGetDefaultAudioEndpoint, e2e::SlotDeviceEnumerator, S_OK);
        record.integer = flow;
        record.integer2 = role;
        if (endpoint == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        *endpoint = nullptr;
        record.result = CurrentScript().endpointResult;
        if (record.result == S_OK) record.result = HandDevice(IID_IMMDevice, reinterpret_cast<void**>(endpoint));
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice** device) override {
        if (device != nullptr) *device = nullptr;
        return Unexpected(e2e::CallEnumeratorOther);
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return Unexpected(e2e::CallEnumeratorOther);
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return Unexpected(e2e::CallEnumeratorOther);
    }
};

class DeviceObject final : public ServiceObject<IMMDevice, e2e::SlotDevice> {
public:
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters, void** object) override {
        CheckAlive(e2e::SlotDevice, e2e::CallActivate);
        CallRecord record = NewRecord(e2e::CallActivate, e2e::SlotDevice, S_OK);
        record.guid = iid;
        record.integer = static_cast<LONG>(context);
        record.pointer = reinterpret_cast<LONGLONG>(parameters);
        if (object == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        *object = nullptr;
        record.result = CurrentScript().activateResult;
        if (record.result == S_OK) record.result = HandSessionManager(iid, object);
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** store) override {
        if (store != nullptr) *store = nullptr;
        return Unexpected(e2e::CallDeviceOther);
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        if (id != nullptr) *id = nullptr;
        return Unexpected(e2e::CallDeviceOther);
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        if (state != nullptr) *state = DEVICE_STATE_ACTIVE;
        return Unexpected(e2e::CallDeviceOther);
    }
};

class SessionManagerObject final : public ServiceObject<IAudioSessionManager2, e2e::SlotSessionManager> {
public:
    HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl** control) override {
        if (control != nullptr) *control = nullptr;
        return Unexpected(e2e::CallManagerOther);
    }
    HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID, DWORD, ISimpleAudioVolume** volume) override {
        if (volume != nullptr) *volume = nullptr;
        return Unexpected(e2e::CallManagerOther);
    }
    HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** sessions) override {
        CheckAlive(e2e::SlotSessionManager, e2e::CallGetSessionEnumerator);
        CallRecord record = NewRecord(e2e::CallGetSessionEnumerator, e2e::SlotSessionManager, S_OK);
        if (sessions == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        *sessions = nullptr;
        record.result = CurrentScript().sessionEnumeratorResult;
        if (record.result == S_OK)
            record.result = HandSessionEnumerator(IID_IAudioSessionEnumerator, reinterpret_cast<void**>(sessions));
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification*) override {
        return Unexpected(e2e::CallManagerOther);
    }
    HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification*) override {
        return Unexpected(e2e::CallManagerOther);
    }
    HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR, IAudioVolumeDuckNotification*) override {
        return Unexpected(e2e::CallManagerOther);
    }
    HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification*) override {
        return Unexpected(e2e::CallManagerOther);
    }
};

class SessionEnumeratorObject final : public ServiceObject<IAudioSessionEnumerator, e2e::SlotSessionEnumerator> {
public:
    HRESULT STDMETHODCALLTYPE GetCount(int* count) override {
        CheckAlive(e2e::SlotSessionEnumerator, e2e::CallGetCount);
        CallRecord record = NewRecord(e2e::CallGetCount, e2e::SlotSessionEnumerator, S_OK);
        if (count == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        record.result = CurrentScript().countResult;
        if (record.result == S_OK) *count = CurrentScript().count;
        record.integer = CurrentScript().count;
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** session) override {
        CheckAlive(e2e::SlotSessionEnumerator, e2e::CallGetSession);
        CallRecord record = NewRecord(e2e::CallGetSession, e2e::SlotSessionEnumerator, S_OK);
        record.integer = index;
        if (session == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        *session = nullptr;
        if (index < 0 || index >= e2e::MaxSessions || index >= CurrentScript().count)
            record.result = E_INVALIDARG;
        else if (!CurrentScript().sessions[index].present)
            record.result = E_FAIL;
        else
            record.result = HandSession(index, IID_IAudioSessionControl, reinterpret_cast<void**>(session));
        return Record(record);
    }
};

DeviceEnumeratorObject deviceEnumerator;
DeviceObject device;
SessionManagerObject sessionManager;
SessionEnumeratorObject sessionEnumerator;

}  // namespace

HRESULT HandDeviceEnumerator(REFIID riid, void** object) { return deviceEnumerator.Hand(riid, object); }
HRESULT HandDevice(REFIID riid, void** object) { return device.Hand(riid, object); }
HRESULT HandSessionManager(REFIID riid, void** object) {
    // The session manager also answers for the older IAudioSessionManager, which it extends.
    if (object != nullptr && SameGuid(riid, IID_IAudioSessionManager)) {
        *object = static_cast<IAudioSessionManager*>(&sessionManager);
        sessionManager.AddRef();
        return S_OK;
    }
    return sessionManager.Hand(riid, object);
}
HRESULT HandSessionEnumerator(REFIID riid, void** object) { return sessionEnumerator.Hand(riid, object); }

}  // namespace service
