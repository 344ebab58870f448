// Per-thread COM apartments. Windows counts CoInitialize calls per thread: the first
// returns S_OK, later ones S_FALSE, and each must be balanced by CoUninitialize.
#include "ole32/ole32.h"

namespace {

thread_local int apartmentInitCount = 0;

}  // namespace

namespace platform::ole32 {

bool ApartmentInitialized() { return apartmentInitCount > 0; }

}  // namespace platform::ole32

extern "C" HRESULT WINAPI CoInitialize(LPVOID) { return apartmentInitCount++ == 0 ? S_OK : S_FALSE; }

extern "C" void WINAPI CoUninitialize(void) {
    if (apartmentInitCount > 0) --apartmentInitCount;
}
