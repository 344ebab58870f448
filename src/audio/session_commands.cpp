#include "audio/session_commands.h"

#include "app/app_state.h"
#include "audio/audio_ids.h"

const GUID EventContextGuid = {};

namespace {

// Runs `command` on the bound session's ISimpleAudioVolume, when there is a session
// and it offers the interface. Results are not reported: the display shows only what
// the service says back.
template <typename Command>
void WithSimpleVolume(Command command) {
    if (AppState.session == nullptr) return;
    ISimpleAudioVolume* simpleVolume = nullptr;
    AppState.session->QueryInterface(IidISimpleAudioVolume, reinterpret_cast<void**>(&simpleVolume));
    if (simpleVolume == nullptr) return;
    command(simpleVolume);
    simpleVolume->Release();
}

}  // namespace

void SetSessionVolume(float level) {
    WithSimpleVolume([level](ISimpleAudioVolume* simpleVolume) { simpleVolume->SetMasterVolume(level, &EventContextGuid); });
}

void SetSessionMute(BOOL flag) {
    WithSimpleVolume([flag](ISimpleAudioVolume* simpleVolume) { simpleVolume->SetMute(flag, &EventContextGuid); });
}
