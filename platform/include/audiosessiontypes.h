#pragma once

// The underlying type is int, as Microsoft's compiler gives every such enumeration:
// an audio service may report any state value (the program shows "no state" for
// one it does not know), and without a fixed type a value such as 7 would lie
// outside the enumeration's range, which C++ leaves undefined.
typedef enum _AudioSessionState : int {
    AudioSessionStateInactive = 0,
    AudioSessionStateActive = 1,
    AudioSessionStateExpired = 2
} AudioSessionState;
