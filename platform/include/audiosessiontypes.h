#pragma once

// The fixed underlying type keeps the SDK's size and values and makes every int a
// valid value, as a C enum is: a service may report any state, and a C++ enum
// without it holds only 0 to 3.
typedef enum _AudioSessionState : int {
    AudioSessionStateInactive = 0,
    AudioSessionStateActive = 1,
    AudioSessionStateExpired = 2
} AudioSessionState;
