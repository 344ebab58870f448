// This layer's entry in ole32's registry of in-process servers, made while static
// objects are constructed, as mmdevapi.dll's registration makes it on Windows.
#include <mmdeviceapi.h>

#include "mmdevapi/mmdevapi.h"
#include "ole32/ole32.h"

// Nothing else in a program refers to this file: the program only calls
// CoCreateInstance. platform/CMakeLists.txt names this symbol to the linker, so a
// static link of the platform library keeps the object file and its registration.
extern "C" const bool PlatformMmdevapiRegistered =
    platform::ole32::RegisterInprocServer(CLSID_MMDeviceEnumerator, platform::mmdevapi::CreateDeviceEnumerator);
