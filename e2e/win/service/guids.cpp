// Storage for the interface identifiers of the audio headers, which the toolchain's
// uuid library does not carry.
#include <windows.h>

#include <initguid.h>

#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>
