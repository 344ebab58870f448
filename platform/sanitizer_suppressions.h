// The system libraries the platform uses whose inner workings the sanitizers cannot
// see, named in one place for the whole program (the sanitizer runtimes take one list).
#pragma once

namespace platform {

// A file that uses one of these libraries keeps a pointer to this, so that the lists
// are linked into every program that needs them.
extern const char* const UninstrumentedLibraries;

}  // namespace platform
