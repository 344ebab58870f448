#include "testing/audio_test.h"

#include "mmdevapi/mmdevapi.h"
#include "mmdevapi/sim/sim_service.h"
#include "ole32/ole32.h"

namespace platform::test {

namespace {

bool AnsweredByTheObjects(AudioCall call) {
    return call == AudioCall::CoCreateInstance || call == AudioCall::Activate || call == AudioCall::GetCount ||
           call == AudioCall::GetSession;
}

}  // namespace

std::shared_ptr<ScriptedAudioService> UseScriptedAudio(AudioScenario scenario, const std::vector<AudioFault>& faults) {
    std::vector<AudioFault> ofTheObjects, ofTheService;
    for (const AudioFault& fault : faults) (AnsweredByTheObjects(fault.call) ? ofTheObjects : ofTheService).push_back(fault);
    auto service = std::make_shared<ScriptedAudioService>(std::move(scenario));
    mmdevapi::InstallService(ofTheService.empty() ? std::shared_ptr<mmdevapi::AudioService>(service)
                                                  : WithFaults(service, ofTheService));
    InterposeCoreAudio(ofTheObjects);
    return service;
}

std::shared_ptr<mmdevapi::AudioService> UseDemoAudio() {
    std::string whyNot;
    std::shared_ptr<mmdevapi::AudioService> service = mmdevapi::CreateSimService(whyNot);
    mmdevapi::InstallService(service);
    InterposeCoreAudio({});
    return service;
}

void ResetAudio() {
    mmdevapi::InstallService(nullptr);
    InterposeCoreAudio({});
}

size_t LiveAudioObjects() { return mmdevapi::LiveObjects() + LiveInterposedObjects(); }

size_t OutstandingTaskMemory() { return ole32::OutstandingTaskMemory(); }
}  // namespace platform::test
