// The audio backends in order of preference, and the process's current service.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "mmdevapi/audio_service.h"
#include "mmdevapi/pulse/pulse_service.h"
#include "mmdevapi/sim/sim_service.h"

namespace platform::mmdevapi {

namespace {

const AudioBackend backends[] = {
    {"pulse", "PulseAudio or PipeWire server: the default sink's streams", pulse::CreatePulseService},
    {"sim", "simulated audio service with a demo application session", CreateSimService},
};

std::mutex serviceMutex;
std::shared_ptr<AudioService> currentService;

const AudioBackend* FindBackend(const std::string& name) {
    for (const AudioBackend& backend : backends)
        if (name == backend.name) return &backend;
    return nullptr;
}

std::shared_ptr<AudioService> ChooseService() {
    const char* requested = std::getenv("PLATFORM_AUDIO");
    std::string tried;
    auto attempt = [&](const AudioBackend& backend) -> std::shared_ptr<AudioService> {
        tried += tried.empty() ? backend.name : std::string(", ") + backend.name;
        return backend.create();
    };
    if (requested != nullptr && *requested != '\0') {
        std::string list = requested;
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (const AudioBackend* backend = FindBackend(name)) {
                if (auto service = attempt(*backend)) return service;
            } else {
                tried += tried.empty() ? name + " (unknown)" : ", " + name + " (unknown)";
            }
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    } else {
        for (const AudioBackend& backend : backends)
            if (auto service = attempt(backend)) return service;
    }
    std::fprintf(stderr, "platform: no audio backend could start (tried: %s)\n", tried.c_str());
    return nullptr;
}

}  // namespace

std::shared_ptr<AudioService> CurrentService() {
    std::lock_guard lock(serviceMutex);
    if (currentService == nullptr) currentService = ChooseService();
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
