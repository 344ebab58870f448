// The audio backends in order of preference, and the process's current service.
#include <utility>

#include "mmdevapi/audio_service.h"
#include "mmdevapi/pulse/pulse_service.h"
#include "mmdevapi/sim/sim_service.h"

namespace platform::mmdevapi {

namespace {

const AudioBackend Backends[] = {
    {"pulse", "PulseAudio or PipeWire server: the default sink's streams", pulse::CreatePulseService},
    {"sim", "simulated audio service with a demo application session", CreateSimService},
};

// A user who sees the simulated session instead of their streams learns from the one
// line at start which server was tried and why it was not used.
const base::ChooserSettings Settings{"audio", "PLATFORM_AUDIO", {"pulse", "sim"}, true};

std::mutex serviceMutex;
std::shared_ptr<AudioService> currentService;

}  // namespace

std::shared_ptr<AudioService> CurrentService() {
    std::lock_guard lock(serviceMutex);
    if (currentService == nullptr) currentService = base::ChooseBackend<std::shared_ptr<AudioService>>(Backends, Settings);
    return currentService;
}

void InstallService(std::shared_ptr<AudioService> service) {
    std::shared_ptr<AudioService> previous;
    {
        std::lock_guard lock(serviceMutex);
        previous = std::exchange(currentService, std::move(service));
    }
    // `previous` is released here, outside the lock: its thread may still be joining.
}

}  // namespace platform::mmdevapi
