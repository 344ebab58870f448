// Per-thread COM apartments. Windows counts CoInitialize calls per thread: the first
// returns S_OK, later ones S_FALSE, and each must be balanced by CoUninitialize.
#include <atomic>

#include "ole32/ole32.h"

namespace {

thread_local int apartmentInitCount = 0;
std::atomic<HRESULT> nextInitFailure{S_OK};

}  // namespace

namespace platform::ole32 {

bool ApartmentInitialized() { return apartmentInitCount > 0; }

void FailNextCoInitialize(HRESULT result) { nextInitFailure.store(result); }

}  // namespace platform::ole32

extern "C" HRESULT WINAPI CoInitialize(LPVOID) {
    HRESULT injected = nextInitFailure.exchange(S_OK);
    if (injected != S_OK) return injected;
    return apartmentInitCount++ == 0 ? S_OK : S_FALSE;
}

extern "C" void WINAPI CoUninitialize(void) {
    if (apartmentInitCount > 0) --apartmentInitCount;
}
