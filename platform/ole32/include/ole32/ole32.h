// Internals of the COM runtime stand-in that other layers and the test surface use.
#pragma once

#include <objbase.h>

#include <cstddef>

namespace platform::ole32 {

// True when CoInitialize succeeded on the calling thread and CoUninitialize has not
// yet balanced it.
bool ApartmentInitialized();

// The factory of one class: what CoCreateInstance calls once it has checked its own
// arguments.
using ClassFactory = HRESULT (*)(REFIID riid, void** object);
// Makes clsid creatable through CoCreateInstance, replacing an earlier registration
// of the same class. Returns true so that a server can register from a static
// initialiser.
bool RegisterInprocServer(REFCLSID clsid, ClassFactory create);

// Blocks handed out by CoTaskMemAlloc and not yet freed.
size_t OutstandingTaskMemory();

}  // namespace platform::ole32
