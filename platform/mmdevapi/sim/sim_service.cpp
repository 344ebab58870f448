#include "mmdevapi/sim/sim_service.h"

#include <unistd.h>

#include <utility>

namespace platform::mmdevapi {

namespace {

// Session keys are the session's index.
size_t IndexOf(SessionKey key) { return static_cast<size_t>(key); }

// Both identifiers say "simulated": the window shows the identifier, so a user never
// takes the demo session for a real application's stream.
std::vector<SimSession> DemoSessions() {
    SimSession systemSounds;
    systemSounds.identifier = u"{0.0.0.00000000}.{sessionvol-simulated-render}|#%b{A9EF3FD9-4240-455E-A4D5-F2B3301887B2}";
    systemSounds.systemSounds = true;
    systemSounds.processId = 0;
    systemSounds.state = AudioSessionStateInactive;

    SimSession demo;
    demo.identifier =
        u"{0.0.0.00000000}.{sessionvol-simulated-render}|sessionvol-simulated-player%b{00000000-0000-0000-0000-000000000000}";
    demo.processId = static_cast<DWORD>(getpid());
    demo.volume = 1.0f;
    demo.state = AudioSessionStateActive;
    return {systemSounds, demo};
}

}  // namespace

SimAudioService::SimAudioService() : sessions_(DemoSessions()), thread_([this] { Run(); }) {}

SimAudioService::~SimAudioService() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    thread_.join();
}

void SimAudioService::Post(std::function<void()> task) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(task));
    }
    queueChanged_.notify_all();
}

void SimAudioService::Run() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and everything queued was delivered
        std::function<void()> task = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

HRESULT SimAudioService::DefaultEndpoint(EDataFlow flow, ERole) {
    // The simulated machine has a render endpoint only.
    return flow == eRender ? S_OK : E_NOTFOUND;
}

HRESULT SimAudioService::ListSessions(std::vector<SessionKey>* sessions) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < sessions_.size(); ++i) sessions->push_back(i);
    return S_OK;
}

bool SimAudioService::Supports(SessionKey, REFIID iid) {
    return IsEqualIID(iid, IID_IAudioSessionControl2) || IsEqualIID(iid, IID_ISimpleAudioVolume);
}

HRESULT SimAudioService::IsSystemSounds(SessionKey key) {
    std::lock_guard lock(mutex_);
    return sessions_.at(IndexOf(key)).systemSounds ? S_OK : S_FALSE;
}

HRESULT SimAudioService::ProcessId(SessionKey key, DWORD* processId) {
    std::lock_guard lock(mutex_);
    *processId = sessions_.at(IndexOf(key)).processId;
    return S_OK;
}

HRESULT SimAudioService::Identifier(SessionKey key, std::u16string* identifier) {
    std::lock_guard lock(mutex_);
    *identifier = sessions_.at(IndexOf(key)).identifier;
    return S_OK;
}

HRESULT SimAudioService::State(SessionKey key, AudioSessionState* state) {
    std::lock_guard lock(mutex_);
    *state = sessions_.at(IndexOf(key)).state;
    return S_OK;
}

HRESULT SimAudioService::Volume(SessionKey key, float* volume) {
    std::lock_guard lock(mutex_);
    *volume = sessions_.at(IndexOf(key)).volume;
    return S_OK;
}

HRESULT SimAudioService::Mute(SessionKey key, BOOL* mute) {
    std::lock_guard lock(mutex_);
    *mute = sessions_.at(IndexOf(key)).mute;
    return S_OK;
}

// Changes are queued for notification under the same lock that applies them, so that
// notifications arrive in the order the changes were made, whichever threads made them.
// (The service thread never takes mutex_.)
HRESULT SimAudioService::SetVolume(SessionKey key, float volume, const GUID& eventContext) {
    std::lock_guard lock(mutex_);
    SimSession& session = sessions_.at(IndexOf(key));
    if (session.volume == volume) return S_OK;
    session.volume = volume;
    const BOOL mute = session.mute;
    Post([this, key, volume, mute, eventContext] { Notifications().DeliverVolume(key, volume, mute, eventContext); });
    return S_OK;
}

HRESULT SimAudioService::SetMute(SessionKey key, BOOL mute, const GUID& eventContext) {
    std::lock_guard lock(mutex_);
    SimSession& session = sessions_.at(IndexOf(key));
    if (session.mute == mute) return S_OK;
    session.mute = mute;
    const float volume = session.volume;
    Post([this, key, volume, mute, eventContext] { Notifications().DeliverVolume(key, volume, mute, eventContext); });
    return S_OK;
}

std::shared_ptr<AudioService> CreateSimService(std::string&) { return std::make_shared<SimAudioService>(); }

}  // namespace platform::mmdevapi
