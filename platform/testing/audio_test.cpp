#include "testing/audio_test.h"

#include "mmdevapi/mmdevapi.h"
#include "ole32/ole32.h"

namespace platform::test {

std::shared_ptr<SimAudioService> UseSimulatedAudio(SimScenario scenario) {
    auto service = std::make_shared<SimAudioService>(std::move(scenario));
    mmdevapi::InstallService(service);
    return service;
}

void ResetAudio() { mmdevapi::InstallService(nullptr); }

size_t LiveAudioObjects() { return mmdevapi::LiveObjects(); }

size_t OutstandingTaskMemory() { return ole32::OutstandingTaskMemory(); }

void FailNextCoInitialize(HRESULT result) { ole32::FailNextCoInitialize(result); }

}  // namespace platform::test
