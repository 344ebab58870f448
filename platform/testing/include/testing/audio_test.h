// Test control of the audio side: scripted services with faults, the shipped demo
// service, and the reference balance of every COM object and task-memory block.
#pragma once

#include <memory>
#include <vector>

#include "testing/audio_faults.h"
#include "testing/scripted_audio.h"

namespace platform::test {

// Makes a new scripted service with this scenario the one that CoCreateInstance
// reaches from now on, with the faults applied, and returns it for playing the other
// clients.
std::shared_ptr<ScriptedAudioService> UseScriptedAudio(AudioScenario scenario, const std::vector<AudioFault>& faults = {});

// Makes the simulated service the program falls back to the one CoCreateInstance
// reaches from now on, and returns it.
std::shared_ptr<mmdevapi::AudioService> UseDemoAudio();

// Forgets the installed service and every fault; the next enumerator chooses a
// backend again.
void ResetAudio();

// COM objects of the audio layer (and of the faults standing in between) still
// alive, and task-memory blocks not yet freed.
size_t LiveAudioObjects();
size_t OutstandingTaskMemory();

}  // namespace platform::test
