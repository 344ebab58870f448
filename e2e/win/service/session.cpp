// Scripted audio sessions: one object carries IAudioSessionControl2 and
// ISimpleAudioVolume with one count, as the real service's sessions do.
#include "service.h"

namespace service {
namespace {

using e2e::CallRecord;

class SessionObject final : public IAudioSessionControl2, public ISimpleAudioVolume {
public:
    int index = 0;

    LONG Slot() const { return e2e::SlotFirstSession + index; }
    const e2e::SessionScript& Script() const { return CurrentScript().sessions[index]; }

    HRESULT Hand(REFIID riid, void** object) {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, IID_IAudioSessionControl))
            *object = static_cast<IAudioSessionControl*>(static_cast<IAudioSessionControl2*>(this));
        else if (SameGuid(riid, IID_IAudioSessionControl2) && Script().control2Result == S_OK)
            *object = static_cast<IAudioSessionControl2*>(this);
        else if (SameGuid(riid, IID_ISimpleAudioVolume) && Script().simpleVolumeResult == S_OK)
            *object = static_cast<ISimpleAudioVolume*>(this);
        if (*object == nullptr) {
            if (SameGuid(riid, IID_IAudioSessionControl2)) return Script().control2Result;
            if (SameGuid(riid, IID_ISimpleAudioVolume)) return Script().simpleVolumeResult;
            return E_NOINTERFACE;
        }
        AddSlotRef(Slot());
        return S_OK;
    }

    HRESULT Unexpected() {
        CheckAlive(Slot(), e2e::CallSessionOther);
        return Record(NewRecord(e2e::CallSessionOther, Slot(), E_NOTIMPL));
    }

    CallRecord Begin(e2e::Method method) {
        CheckAlive(Slot(), method);
        return NewRecord(method, Slot(), S_OK);
    }

    // IUnknown, shared by both interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        CallRecord record = Begin(e2e::CallQueryInterface);
        record.guid = riid;
        record.result = Hand(riid, object);
        return Record(record);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddSlotRef(Slot()); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseSlotRef(Slot()); }

    // IAudioSessionControl
    HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* state) override {
        CallRecord record = Begin(e2e::CallGetState);
        if (state == nullptr) {
            record.result = E_POINTER;
        } else {
            ChannelLock lock;
            *state = static_cast<AudioSessionState>(ChannelBlock()->live[index].state);
            record.integer = *state;
        }
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* name) override {
        if (name != nullptr) *name = nullptr;
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR, LPCGUID) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR* path) override {
        if (path != nullptr) *path = nullptr;
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE SetIconPath(LPCWSTR, LPCGUID) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE GetGroupingParam(GUID*) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE SetGroupingParam(LPCGUID, LPCGUID) override { return Unexpected(); }

    HRESULT STDMETHODCALLTYPE RegisterAudioSessionNotification(IAudioSessionEvents* sink) override {
        CallRecord record = Begin(e2e::CallRegisterNotification);
        record.pointer = reinterpret_cast<LONGLONG>(sink);
        if (sink == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        // The service keeps its own reference for as long as the sink is registered;
        // the count the sink answers is part of what the driver checks.
        record.integer = static_cast<LONG>(sink->AddRef());
        AddSink(index, sink);
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE UnregisterAudioSessionNotification(IAudioSessionEvents* sink) override {
        CallRecord record = Begin(e2e::CallUnregisterNotification);
        record.pointer = reinterpret_cast<LONGLONG>(sink);
        if (sink == nullptr) {
            record.result = E_POINTER;
        } else if (!RemoveSink(index, sink)) {
            record.result = E_INVALIDARG;
        } else {
            record.integer = static_cast<LONG>(sink->Release());
        }
        return Record(record);
    }

    // IAudioSessionControl2
    HRESULT STDMETHODCALLTYPE GetSessionIdentifier(LPWSTR* identifier) override {
        CallRecord record = Begin(e2e::CallGetSessionIdentifier);
        if (identifier == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        *identifier = nullptr;
        record.result = Script().identifierResult;
        if (record.result == S_OK) {
            LONG units = Script().identifierUnits;
            auto* text = static_cast<WCHAR*>(CoTaskMemAlloc(sizeof(WCHAR) * (units + 1)));
            if (text == nullptr) {
                record.result = E_OUTOFMEMORY;
            } else {
                for (LONG unit = 0; unit < units; ++unit) text[unit] = Script().identifier[unit];
                text[units] = 0;
                *identifier = text;
                record.integer = units;
                record.pointer = reinterpret_cast<LONGLONG>(text);
            }
        }
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE GetSessionInstanceIdentifier(LPWSTR* identifier) override {
        if (identifier != nullptr) *identifier = nullptr;
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* processId) override {
        CallRecord record = Begin(e2e::CallGetProcessId);
        if (processId == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        record.result = Script().processIdResult;
        if (record.result == S_OK || record.result == e2e::NoSingleProcess) *processId = Script().processId;
        record.integer = static_cast<LONG>(Script().processId);
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override {
        CallRecord record = Begin(e2e::CallIsSystemSoundsSession);
        record.result = Script().systemSoundsResult;
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE SetDuckingPreference(BOOL) override { return Unexpected(); }

    // ISimpleAudioVolume
    HRESULT STDMETHODCALLTYPE SetMasterVolume(float level, LPCGUID context) override {
        CallRecord record = Begin(e2e::CallSetMasterVolume);
        record.number = level;
        Describe(record, context);
        if (level < 0.0f || level > 1.0f) {
            record.result = E_INVALIDARG;
            return Record(record);
        }
        {
            ChannelLock lock;
            ChannelBlock()->live[index].volume = level;
        }
        Record(record);
        QueueVolumeNotification(index, context);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolume(float* level) override {
        CallRecord record = Begin(e2e::CallGetMasterVolume);
        if (level == nullptr) {
            record.result = E_POINTER;
        } else {
            ChannelLock lock;
            *level = ChannelBlock()->live[index].volume;
            record.number = *level;
        }
        return Record(record);
    }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID context) override {
        CallRecord record = Begin(e2e::CallSetMute);
        record.integer = mute;
        Describe(record, context);
        {
            ChannelLock lock;
            ChannelBlock()->live[index].mute = mute;
        }
        Record(record);
        QueueVolumeNotification(index, context);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
        CallRecord record = Begin(e2e::CallGetMute);
        if (mute == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        record.result = Script().muteResult;
        if (record.result == S_OK) {
            ChannelLock lock;
            *mute = ChannelBlock()->live[index].mute;
            record.integer = *mute;
        }
        return Record(record);
    }

private:
    static void Describe(CallRecord& record, LPCGUID context) {
        record.pointer = reinterpret_cast<LONGLONG>(context);
        record.contextIsNull = context == nullptr;
        if (context != nullptr) record.guid = *context;
    }
};

SessionObject sessions[e2e::MaxSessions];

}  // namespace

HRESULT HandSession(int index, REFIID riid, void** object) {
    sessions[index].index = index;
    return sessions[index].Hand(riid, object);
}

}  // namespace service
