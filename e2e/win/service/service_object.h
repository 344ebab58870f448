// A service object with one interface, its count kept in a channel slot. The objects
// live in static storage for the life of the process: a count of 0 means "given back
// by the program", and any later call on it is logged as a fault instead of crashing.
#pragma once

#include "service.h"

namespace service {

template <class Interface, LONG Slot>
class ServiceObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        CheckAlive(Slot, e2e::CallQueryInterface);
        e2e::CallRecord record = NewRecord(e2e::CallQueryInterface, Slot, S_OK);
        record.guid = riid;
        record.result = Hand(riid, object);
        return Record(record);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddSlotRef(Slot); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseSlotRef(Slot); }

    HRESULT Hand(REFIID riid, void** object) {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!SameGuid(riid, IID_IUnknown) && !SameGuid(riid, __uuidof(Interface))) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }

protected:
    // Logs a method the program is not expected to call, and refuses it.
    HRESULT Unexpected(e2e::Method method) {
        CheckAlive(Slot, method);
        return Record(NewRecord(method, Slot, E_NOTIMPL));
    }
};

}  // namespace service
