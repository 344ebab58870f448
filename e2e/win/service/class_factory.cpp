// The DLL's COM entry points and the class factory of MMDeviceEnumerator.
//
// Registered as MMDeviceEnumerator, this DLL is loaded by every process of the user
// (or of the Wine prefix) that asks for the class. Only processes started by the
// driver carry a channel; any other gets the system's own audio service, so sound
// keeps working elsewhere while the tests run.
#include "service.h"

namespace service {
namespace {

const CLSID ClsidMMDeviceEnumerator = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        CheckAlive(e2e::SlotClassFactory, e2e::CallQueryInterface);
        return Hand(riid, object);
    }
    // Hands out a new reference; also how the first one leaves the DLL.
    HRESULT Hand(REFIID riid, void** object) {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!SameGuid(riid, IID_IUnknown) && !SameGuid(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddSlotRef(e2e::SlotClassFactory); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseSlotRef(e2e::SlotClassFactory); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        CheckAlive(e2e::SlotClassFactory, e2e::CallCreateInstance);
        e2e::CallRecord record = e2e::CallRecord{};
        record.method = e2e::CallCreateInstance;
        record.slot = e2e::SlotClassFactory;
        record.guid = riid;
        record.pointer = reinterpret_cast<LONGLONG>(outer);
        if (object == nullptr) {
            record.result = E_POINTER;
            return Record(record);
        }
        *object = nullptr;
        if (outer != nullptr)
            record.result = CLASS_E_NOAGGREGATION;
        else if (CurrentScript().createInstanceResult != S_OK)
            record.result = CurrentScript().createInstanceResult;
        else
            record.result = HandDeviceEnumerator(riid, object);
        return Record(record);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        e2e::CallRecord record = NewRecord(e2e::CallLockServer, e2e::SlotClassFactory, S_OK);
        record.integer = lock;
        return Record(record);
    }
};

ClassFactory factory;

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

HRESULT SystemClassObject(REFCLSID clsid, REFIID riid, void** object) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof "\\mmdevapi.dll" > MAX_PATH) return CLASS_E_CLASSNOTAVAILABLE;
    lstrcatA(path, "\\mmdevapi.dll");
    // Kept loaded for the life of the process, like any in-process server.
    HMODULE system = LoadLibraryA(path);
    if (system == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    auto getClassObject =
        reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(system, "DllGetClassObject")));
    if (getClassObject == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    return getClassObject(clsid, riid, object);
}

}  // namespace
}  // namespace service

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    using namespace service;
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!OpenChannel()) return SystemClassObject(clsid, riid, object);

    StartServiceThread();
    e2e::CallRecord record = NewRecord(e2e::CallDllGetClassObject, e2e::SlotClassFactory, S_OK);
    record.guid = riid;
    if (!SameGuid(clsid, ClsidMMDeviceEnumerator))
        record.result = CLASS_E_CLASSNOTAVAILABLE;
    else
        record.result = factory.Hand(riid, object);
    return Record(record);
}

// The service thread runs code of this module until the process ends, so the module
// must never be unloaded early.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
