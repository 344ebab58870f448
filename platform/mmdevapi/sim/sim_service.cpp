#include "mmdevapi/sim/sim_service.h"

#include <unistd.h>

#include <utility>

namespace platform::mmdevapi {

// Session keys are the session's index in the scenario.
namespace {
size_t IndexOf(SessionKey key) { return static_cast<size_t>(key); }
}  // namespace

// Both identifiers say "simulated": the window shows the identifier, so a user never
// takes the demo session for a real application's stream.
SimScenario SimScenario::Demo() {
    SimScenario scenario;
    SimSession systemSounds;
    systemSounds.identifier = u"{0.0.0.00000000}.{sessionvol-simulated-render}|#%b{A9EF3FD9-4240-455E-A4D5-F2B3301887B2}";
    systemSounds.systemSounds = true;
    systemSounds.processId = 0;
    systemSounds.state = AudioSessionStateInactive;
    scenario.sessions.push_back(systemSounds);

    SimSession demo;
    demo.identifier =
        u"{0.0.0.00000000}.{sessionvol-simulated-render}|sessionvol-simulated-player%b{00000000-0000-0000-0000-000000000000}";
    demo.processId = static_cast<DWORD>(getpid());
    demo.volume = 1.0f;
    demo.state = AudioSessionStateActive;
    scenario.sessions.push_back(demo);
    return scenario;
}

SimAudioService::SimAudioService(SimScenario scenario) : scenario_(std::move(scenario)), thread_([this] { Run(); }) {}

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
        queueChanged_.wait(lock, [this] { return stopping_ || (!held_ && !queue_.empty()); });
        if (queue_.empty()) return;  // stopping, and everything queued was delivered
        std::function<void()> task = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        task();
        lock.lock();
        busy_ = false;
        queueChanged_.notify_all();
    }
}

void SimAudioService::HoldNotifications(bool held) {
    {
        std::lock_guard lock(queueMutex_);
        held_ = held;
    }
    queueChanged_.notify_all();
}

void SimAudioService::Flush() {
    std::unique_lock lock(queueMutex_);
    queueChanged_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

HRESULT SimAudioService::CreateEnumerator() { return scenario_.createInstance; }
HRESULT SimAudioService::DefaultEndpoint(EDataFlow flow, ERole) {
    // The simulated machine has a render endpoint only.
    if (flow != eRender) return E_NOTFOUND;
    return scenario_.defaultEndpoint;
}
HRESULT SimAudioService::ActivateSessionManager() { return scenario_.activate; }
HRESULT SimAudioService::CountResult() { return scenario_.count; }

HRESULT SimAudioService::ListSessions(std::vector<SessionKey>* sessions) {
    std::lock_guard lock(mutex_);
    if (scenario_.sessionEnumerator != S_OK) return scenario_.sessionEnumerator;
    for (size_t i = 0; i < scenario_.sessions.size(); ++i) sessions->push_back(i);
    return S_OK;
}

HRESULT SimAudioService::GetSessionResult(SessionKey key) {
    std::lock_guard lock(mutex_);
    return scenario_.sessions.at(IndexOf(key)).getSessionResult;
}

bool SimAudioService::Supports(SessionKey key, REFIID iid) {
    std::lock_guard lock(mutex_);
    const SimSession& session = scenario_.sessions.at(IndexOf(key));
    if (IsEqualIID(iid, IID_IAudioSessionControl2)) return session.hasControl2;
    if (IsEqualIID(iid, IID_ISimpleAudioVolume)) return session.hasSimpleVolume;
    return false;
}

HRESULT SimAudioService::IsSystemSounds(SessionKey key) {
    std::lock_guard lock(mutex_);
    return scenario_.sessions.at(IndexOf(key)).systemSounds ? S_OK : S_FALSE;
}

HRESULT SimAudioService::ProcessId(SessionKey key, DWORD* processId) {
    std::lock_guard lock(mutex_);
    const SimSession& session = scenario_.sessions.at(IndexOf(key));
    // Windows reports the process ID with AUDCLNT_S_NO_SINGLE_PROCESS too.
    if (SUCCEEDED(session.processIdResult)) *processId = session.processId;
    return session.processIdResult;
}

HRESULT SimAudioService::Identifier(SessionKey key, std::u16string* identifier) {
    std::lock_guard lock(mutex_);
    const SimSession& session = scenario_.sessions.at(IndexOf(key));
    if (session.identifierResult == S_OK) *identifier = session.identifier;
    return session.identifierResult;
}

HRESULT SimAudioService::State(SessionKey key, AudioSessionState* state) {
    std::lock_guard lock(mutex_);
    const SimSession& session = scenario_.sessions.at(IndexOf(key));
    if (session.stateResult == S_OK) *state = static_cast<AudioSessionState>(session.state);
    return session.stateResult;
}

HRESULT SimAudioService::Volume(SessionKey key, float* volume) {
    std::lock_guard lock(mutex_);
    const SimSession& session = scenario_.sessions.at(IndexOf(key));
    if (session.volumeResult == S_OK) *volume = session.volume;
    return session.volumeResult;
}

HRESULT SimAudioService::Mute(SessionKey key, BOOL* mute) {
    std::lock_guard lock(mutex_);
    const SimSession& session = scenario_.sessions.at(IndexOf(key));
    if (session.muteResult == S_OK) *mute = session.mute;
    return session.muteResult;
}

// Changes are queued for notification under the same lock that applies them, so that
// notifications arrive in the order the changes were made, whichever threads made them.
// (The service thread never takes mutex_.)
HRESULT SimAudioService::ApplyVolume(size_t index, float volume, const GUID& eventContext) {
    std::lock_guard lock(mutex_);
    SimSession& session = scenario_.sessions.at(index);
    if (session.volume == volume) return S_OK;
    session.volume = volume;
    const BOOL mute = session.mute;
    Post([this, index, volume, mute, eventContext] { Notifications().DeliverVolume(index, volume, mute, eventContext); });
    return S_OK;
}

HRESULT SimAudioService::ApplyMute(size_t index, BOOL mute, const GUID& eventContext) {
    std::lock_guard lock(mutex_);
    SimSession& session = scenario_.sessions.at(index);
    if (session.mute == mute) return S_OK;
    session.mute = mute;
    const float volume = session.volume;
    Post([this, index, volume, mute, eventContext] { Notifications().DeliverVolume(index, volume, mute, eventContext); });
    return S_OK;
}

HRESULT SimAudioService::SetVolume(SessionKey key, float volume, const GUID& eventContext) {
    {
        std::lock_guard lock(mutex_);
        setCalls_.push_back({IndexOf(key), SimSetCall::Volume, volume, FALSE, eventContext});
    }
    return ApplyVolume(IndexOf(key), volume, eventContext);
}

HRESULT SimAudioService::SetMute(SessionKey key, BOOL mute, const GUID& eventContext) {
    {
        std::lock_guard lock(mutex_);
        setCalls_.push_back({IndexOf(key), SimSetCall::Mute, 0.0f, mute, eventContext});
    }
    return ApplyMute(IndexOf(key), mute, eventContext);
}

HRESULT SimAudioService::Register(SessionKey key, IAudioSessionEvents* events) {
    std::function<void(size_t)> change;
    {
        std::lock_guard lock(mutex_);
        change = std::exchange(atNextRegistration_, nullptr);
    }
    if (change) change(IndexOf(key));
    return AudioService::Register(key, events);
}

void SimAudioService::AtNextRegistration(std::function<void(size_t session)> change) {
    std::lock_guard lock(mutex_);
    atNextRegistration_ = std::move(change);
}

void SimAudioService::OtherClientSetVolume(size_t session, float volume) { ApplyVolume(session, volume, OtherClientContext); }

void SimAudioService::OtherClientSetMute(size_t session, BOOL mute) { ApplyMute(session, mute, OtherClientContext); }

void SimAudioService::SendVolumeNotification(size_t session, float volume, BOOL mute) {
    Post([this, session, volume, mute] { Notifications().DeliverVolume(session, volume, mute, OtherClientContext); });
}

void SimAudioService::ChangeState(size_t session, int state) {
    std::lock_guard lock(mutex_);
    scenario_.sessions.at(session).state = state;
    Post([this, session, state] { Notifications().DeliverState(session, static_cast<AudioSessionState>(state)); });
}

void SimAudioService::Disconnect(size_t session, AudioSessionDisconnectReason reason) {
    Post([this, session, reason] { Notifications().DeliverDisconnect(session, reason); });
}

void SimAudioService::Flood(size_t session, int count) {
    Post([this, session, count] {
        for (int i = 0; i < count; ++i) {
            Notifications().DeliverVolume(session, static_cast<float>(i % 101) / 100.0f, i % 2, OtherClientContext);
            Notifications().DeliverState(session, static_cast<AudioSessionState>(i % 3));
        }
    });
}

std::vector<SimSetCall> SimAudioService::SetCalls() const {
    std::lock_guard lock(mutex_);
    return setCalls_;
}

SimSession SimAudioService::Session(size_t session) const {
    std::lock_guard lock(mutex_);
    return scenario_.sessions.at(session);
}

std::shared_ptr<AudioService> CreateSimService(std::string&) { return std::make_shared<SimAudioService>(SimScenario::Demo()); }

}  // namespace platform::mmdevapi
