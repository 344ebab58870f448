// Entry points of the Core Audio stand-in for the COM runtime and the test surface.
#pragma once

#include <objbase.h>

#include <cstddef>

namespace platform::mmdevapi {

// Class factory of MMDeviceEnumerator, registered with ole32 for CoCreateInstance.
HRESULT CreateDeviceEnumerator(REFIID riid, void** object);

// COM objects of this layer (enumerators, devices, managers, sessions) that are
// still alive, that is whose reference count has not yet dropped to zero.
size_t LiveObjects();

}  // namespace platform::mmdevapi
