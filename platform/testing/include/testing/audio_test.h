// Test control of the audio side: scripted scenarios for the simulated service,
// and the reference balance of every COM object and task-memory block.
#pragma once

#include <memory>

#include "mmdevapi/sim/sim_service.h"

namespace platform::test {

using mmdevapi::SimAudioService;
using mmdevapi::SimScenario;
using mmdevapi::SimSession;
using mmdevapi::SimSetCall;

// Makes a new simulated service with this scenario the one that CoCreateInstance
// reaches from now on, and returns it for injecting changes.
std::shared_ptr<SimAudioService> UseSimulatedAudio(SimScenario scenario);

// Forgets the installed service; the next enumerator chooses a backend again.
void ResetAudio();

// COM objects of the audio layer still alive, and task-memory blocks not yet freed.
size_t LiveAudioObjects();
size_t OutstandingTaskMemory();

// The next CoInitialize fails with this result.
void FailNextCoInitialize(HRESULT result);

}  // namespace platform::test
