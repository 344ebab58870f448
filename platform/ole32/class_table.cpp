// CoCreateInstance over the stand-in's registry of in-process servers. The layers
// that serve classes register them here, as a DLL's registration does on Windows;
// this layer never names them.
#include <mutex>
#include <vector>

#include "ole32/ole32.h"

namespace {

struct ClassEntry {
    CLSID clsid;
    platform::ole32::ClassFactory create;
};

struct ClassTable {
    std::mutex lock;
    std::vector<ClassEntry> entries;
};

ClassTable& Registered() {
    // Never destroyed: servers register while static objects are constructed, and
    // the program may create objects until the very end.
    static ClassTable* instance = new ClassTable;
    return *instance;
}

platform::ole32::ClassFactory FindClass(REFCLSID clsid) {
    ClassTable& table = Registered();
    std::lock_guard guard(table.lock);
    for (const ClassEntry& entry : table.entries) {
        if (IsEqualCLSID(entry.clsid, clsid)) return entry.create;
    }
    return nullptr;
}

}  // namespace

namespace platform::ole32 {

bool RegisterInprocServer(REFCLSID clsid, ClassFactory create) {
    ClassTable& table = Registered();
    std::lock_guard guard(table.lock);
    for (ClassEntry& entry : table.entries) {
        if (IsEqualCLSID(entry.clsid, clsid)) {
            entry.create = create;
            return true;
        }
    }
    table.entries.push_back({clsid, create});
    return true;
}

}  // namespace platform::ole32

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!platform::ole32::ApartmentInitialized()) return CO_E_NOTINITIALIZED;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if ((clsContext & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) return REGDB_E_CLASSNOTREG;
    platform::ole32::ClassFactory create = FindClass(rclsid);
    return create != nullptr ? create(riid, object) : REGDB_E_CLASSNOTREG;
}
