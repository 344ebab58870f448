#include "sanitizer_suppressions.h"

#if defined(__SANITIZE_THREAD__)
#define PLATFORM_UNDER_TSAN 1
#elif defined(__SANITIZE_ADDRESS__)
#define PLATFORM_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PLATFORM_UNDER_TSAN 1
#elif __has_feature(address_sanitizer)
#define PLATFORM_UNDER_ASAN 1
#endif
#endif

namespace platform {

const char* const UninstrumentedLibraries = "libpulsecommon, libfontconfig, Pango";

}  // namespace platform

// ThreadSanitizer cannot see the synchronisation inside uninstrumented libraries:
// - libpulse's lock-free lists and lazily created mutexes use atomics in libpulsecommon,
//   so handing a structure to the loop thread reads as a race inside the library;
// - Pango 1.50 initialises fontconfig on a thread of its own ("[pango] FcInit") while
//   the window thread lays out text, and fontconfig guards its state with its own
//   atomics.
// Reports whose stack passes through those libraries are suppressed; races in our code,
// including those on state we guard with the libraries' locks or our own, are still
// reported.
#ifdef PLATFORM_UNDER_TSAN
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulsecommon\n"
           "race:libfontconfig.so\n"
           "race:libpangoft2-1.0.so\n";
}
#endif

// Pango 1.50 loads fontconfig's configuration on its own thread and keeps caches that it
// never frees and no longer points to; LeakSanitizer reports them at exit whatever the
// program does. Leaks whose allocation passes through Pango or fontconfig are not
// reported; leaks of our own still are.
#ifdef PLATFORM_UNDER_ASAN
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpango-1.0.so\n"
           "leak:libpangoft2-1.0.so\n"
           "leak:libpangocairo-1.0.so\n"
           "leak:libfontconfig.so\n";
}
#endif
