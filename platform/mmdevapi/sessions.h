#pragma once

#include "mmdevapi/audio_service.h"

namespace platform::mmdevapi {

// A snapshot of the endpoint's sessions, in the order the service listed them.
IAudioSessionEnumerator* CreateSessionEnumerator(const std::shared_ptr<AudioService>& service,
                                                 const std::vector<SessionKey>& sessions);

}  // namespace platform::mmdevapi
