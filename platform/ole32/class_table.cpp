// CoCreateInstance over a fixed class table, the stand-in's registry of in-process
// servers.
#include <mmdeviceapi.h>

#include "mmdevapi/mmdevapi.h"
#include "ole32/ole32.h"

namespace {

struct ClassEntry {
    const CLSID* clsid;
    HRESULT (*create)(REFIID riid, void** object);
};

const ClassEntry classTable[] = {
    {&CLSID_MMDeviceEnumerator, platform::mmdevapi::CreateDeviceEnumerator},
};

}  // namespace

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!platform::ole32::ApartmentInitialized()) return CO_E_NOTINITIALIZED;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if ((clsContext & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) return REGDB_E_CLASSNOTREG;
    for (const ClassEntry& entry : classTable) {
        if (IsEqualCLSID(*entry.clsid, rclsid)) return entry.create(riid, object);
    }
    return REGDB_E_CLASSNOTREG;
}
