#include "audio/session_binding.h"

#include "app/app_state.h"
#include "audio/audio_ids.h"

namespace {

constexpr int IdentifierUnits = 512;

// At most IdentifierUnits - 1 units of text; the rest of the buffer is zero-filled.
void CopyIdentifier(WCHAR (&buffer)[IdentifierUnits], const WCHAR* text) {
    int unit = 0;
    for (; unit < IdentifierUnits - 1 && text[unit] != 0; ++unit) buffer[unit] = text[unit];
    for (; unit < IdentifierUnits; ++unit) buffer[unit] = 0;
}

// Reads the session's identifier into `identifier` when the session is eligible:
// not the system-sounds session, a process ID reported, an identifier given. The
// process ID, when reported, lands in `processId`.
void ReadEligibleIdentifier(IAudioSessionControl* session, WCHAR (&identifier)[IdentifierUnits], DWORD& processId) {
    IAudioSessionControl2* control2 = nullptr;
    if (session->QueryInterface(IidIAudioSessionControl2, reinterpret_cast<void**>(&control2)) != S_OK || control2 == nullptr)
        return;
    if (control2->IsSystemSoundsSession() != S_OK) {
        HRESULT hr = control2->GetProcessId(&processId);
        if (hr == S_OK || hr == SessionHasNoSingleProcess) {
            LPWSTR text = nullptr;
            // A service that reports success without a string gives no identifier.
            if (control2->GetSessionIdentifier(&text) == S_OK && text != nullptr) {
                CopyIdentifier(identifier, text);
                CoTaskMemFree(text);
            }
        }
    }
    control2->Release();
}

// Keeps what a read returned unless a notification stored something newer while the
// read was on its way: the sink is registered before the reads, so a change the
// service reports meanwhile is the later word.
template <typename T>
void StoreUnlessNotified(std::atomic<T>& field, T before, T read) {
    field.compare_exchange_strong(before, read, relaxed, relaxed);
}

// The sink is registered first and the status read afterwards, so that no change can
// fall between the two: one made before the registration is in what the reads return,
// one made after it arrives as a notification.
void BindSession(IAudioSessionControl* session, const WCHAR (&identifier)[IdentifierUnits], DWORD processId) {
    SessionEventSink& sink = AppState.sink;

    ISimpleAudioVolume* simpleVolume = nullptr;
    session->QueryInterface(IidISimpleAudioVolume, reinterpret_cast<void**>(&simpleVolume));

    sink.processId = processId;
    for (int unit = 0; unit < IdentifierUnits; ++unit) {
        sink.sessionId[unit] = identifier[unit];
        if (identifier[unit] == 0) break;
    }

    sink.refCount.store(1, relaxed);
    session->RegisterAudioSessionNotification(&sink);

    if (simpleVolume != nullptr) {
        // A call that writes nothing leaves the volume as it was.
        const float volumeBefore = sink.volume.load(relaxed);
        float volume = volumeBefore;
        simpleVolume->GetMasterVolume(&volume);
        StoreUnlessNotified(sink.volume, volumeBefore, volume);

        const BOOL muteBefore = sink.mute.load(relaxed);
        BOOL mute = 0;
        // Only 1 counts as muted here; notifications later store whatever they carry.
        if (simpleVolume->GetMute(&mute) == S_OK) StoreUnlessNotified<BOOL>(sink.mute, muteBefore, mute == 1 ? 1 : 0);
        simpleVolume->Release();
    }

    const INT stateBefore = sink.state.load(relaxed);
    AudioSessionState state = AudioSessionStateInactive;
    if (session->GetState(&state) == S_OK) StoreUnlessNotified<INT>(sink.state, stateBefore, state);

    session->AddRef();
    AppState.session = session;
}

}  // namespace

void BindAudioSession() {
    IMMDeviceEnumerator* enumerator = nullptr;
    if (CoCreateInstance(ClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IidIMMDeviceEnumerator,
                         reinterpret_cast<void**>(&enumerator)) != S_OK ||
        enumerator == nullptr)
        return;

    AppState.device = nullptr;
    if (enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &AppState.device) == S_OK &&
        AppState.device->Activate(IidIAudioSessionManager2, 0, nullptr, reinterpret_cast<void**>(&AppState.sessionManager)) == S_OK)
        ScanSessions();

    enumerator->Release();
}

void ScanSessions() {
    IAudioSessionEnumerator* sessions = nullptr;
    if (AppState.sessionManager->GetSessionEnumerator(&sessions) != S_OK) return;
    int count = 0;
    if (sessions->GetCount(&count) != S_OK) {
        sessions->Release();
        return;
    }

    WCHAR identifier[IdentifierUnits];
    DWORD processId = 0;
    bool bound = false;
    for (int index = 0; index < count; ++index) {
        identifier[0] = 0;
        IAudioSessionControl* session = nullptr;
        sessions->GetSession(index, &session);
        if (session == nullptr) continue;

        ReadEligibleIdentifier(session, identifier, processId);
        if (identifier[0] != 0 && !bound) {
            BindSession(session, identifier, processId);
            bound = true;
        }
        session->Release();
    }
    sessions->Release();
}

void ReleaseAudioSession() {
    if (AppState.session != nullptr) {
        AppState.session->UnregisterAudioSessionNotification(&AppState.sink);
        AppState.session->Release();
        AppState.session = nullptr;
    }
    if (AppState.sessionManager != nullptr) {
        AppState.sessionManager->Release();
        AppState.sessionManager = nullptr;
    }
    if (AppState.device != nullptr) {
        AppState.device->Release();
        AppState.device = nullptr;
    }
}
