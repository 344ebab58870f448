// Failures of the Core Audio calls the program makes, for tests of how it copes.
// A failure of a call that asks the service (GetSessionIdentifier, GetMasterVolume,
// ...) comes from a wrapper around the service; one of a call that Windows answers
// without asking it (CoCreateInstance, Activate, GetCount, GetSession) comes from
// objects that stand between the program and the real ones, registered with the COM
// runtime in place of the device enumerator's class. The shipped layers know of
// neither.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <vector>

#include "mmdevapi/audio_service.h"

namespace platform::test {

enum class AudioCall {
    // Answered by the COM objects themselves.
    CoCreateInstance,
    Activate,
    GetCount,
    GetSession,
    // Answered by the service.
    GetDefaultAudioEndpoint,
    GetSessionEnumerator,
    GetProcessId,
    GetSessionIdentifier,
    GetState,
    GetMasterVolume,
    GetMute,
    SetMasterVolume,
    SetMute,
    RegisterAudioSessionNotification,
};

inline constexpr size_t AnySession = std::numeric_limits<size_t>::max();

// The call returns result. A failure code leaves the service unasked; a success code
// (S_FALSE, AUDCLNT_S_NO_SINGLE_PROCESS) is returned in place of S_OK, with the values
// the service gave. session: the session's key (its index in a scripted scenario), or any.
// Of several faults that name the same call and session, the last one counts.
struct AudioFault {
    AudioCall call;
    HRESULT result;
    size_t session = AnySession;
};

// service with faults applied to the calls the service answers.
std::shared_ptr<mmdevapi::AudioService> WithFaults(std::shared_ptr<mmdevapi::AudioService> service,
                                                   const std::vector<AudioFault>& faults);

// From now on CoCreateInstance of the device enumerator goes through objects that
// apply the faults of the calls the COM objects answer; none restores the real class.
void InterposeCoreAudio(const std::vector<AudioFault>& faults);

// The objects standing in between that are still referenced.
size_t LiveInterposedObjects();

}  // namespace platform::test
