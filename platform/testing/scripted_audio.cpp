#include "testing/scripted_audio.h"

#include <utility>

namespace platform::test {

namespace {
size_t IndexOf(SessionKey key) { return static_cast<size_t>(key); }
}  // namespace

ScriptedAudioService::ScriptedAudioService(AudioScenario scenario) : scenario_(std::move(scenario)), thread_([this] { Run(); }) {}

ScriptedAudioService::~ScriptedAudioService() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    thread_.join();
}

void ScriptedAudioService::Post(std::function<void()> task) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(task));
    }
    queueChanged_.notify_all();
}

void ScriptedAudioService::Run() {
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

void ScriptedAudioService::HoldNotifications(bool held) {
    {
        std::lock_guard lock(queueMutex_);
        held_ = held;
    }
    queueChanged_.notify_all();
}

void ScriptedAudioService::Flush() {
    std::unique_lock lock(queueMutex_);
    queueChanged_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

HRESULT ScriptedAudioService::DefaultEndpoint(EDataFlow flow, ERole) {
    // The simulated machine has a render endpoint only.
    if (flow != eRender) return E_NOTFOUND;
    return S_OK;
}

HRESULT ScriptedAudioService::ListSessions(std::vector<SessionKey>* sessions) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < scenario_.sessions.size(); ++i) sessions->push_back(i);
    return S_OK;
}

bool ScriptedAudioService::Supports(SessionKey key, REFIID iid) {
    std::lock_guard lock(mutex_);
    const ScriptedSession& session = scenario_.sessions.at(IndexOf(key));
    if (IsEqualIID(iid, IID_IAudioSessionControl2)) return session.hasControl2;
    if (IsEqualIID(iid, IID_ISimpleAudioVolume)) return session.hasSimpleVolume;
    return false;
}

HRESULT ScriptedAudioService::IsSystemSounds(SessionKey key) {
    std::lock_guard lock(mutex_);
    return scenario_.sessions.at(IndexOf(key)).systemSounds ? S_OK : S_FALSE;
}

HRESULT ScriptedAudioService::ProcessId(SessionKey key, DWORD* processId) {
    std::lock_guard lock(mutex_);
    const ScriptedSession& session = scenario_.sessions.at(IndexOf(key));
    *processId = session.processId;
    return S_OK;
}

HRESULT ScriptedAudioService::Identifier(SessionKey key, std::u16string* identifier) {
    std::lock_guard lock(mutex_);
    const ScriptedSession& session = scenario_.sessions.at(IndexOf(key));
    *identifier = session.identifier;
    return S_OK;
}

HRESULT ScriptedAudioService::State(SessionKey key, AudioSessionState* state) {
    std::lock_guard lock(mutex_);
    const ScriptedSession& session = scenario_.sessions.at(IndexOf(key));
    *state = static_cast<AudioSessionState>(session.state);
    return S_OK;
}

HRESULT ScriptedAudioService::Volume(SessionKey key, float* volume) {
    std::lock_guard lock(mutex_);
    const ScriptedSession& session = scenario_.sessions.at(IndexOf(key));
    *volume = session.volume;
    return S_OK;
}

HRESULT ScriptedAudioService::Mute(SessionKey key, BOOL* mute) {
    std::lock_guard lock(mutex_);
    const ScriptedSession& session = scenario_.sessions.at(IndexOf(key));
    *mute = session.mute;
    return S_OK;
}

// Changes are queued for notification under the same lock that applies them, so that
// notifications arrive in the order the changes were made, whichever threads made them.
// (The service thread never takes mutex_.)
template <typename Value>
HRESULT ScriptedAudioService::Apply(size_t index, Value ScriptedSession::*field, Value value, const GUID& eventContext) {
    std::lock_guard lock(mutex_);
    ScriptedSession& session = scenario_.sessions.at(index);
    if (session.*field == value) return S_OK;
    session.*field = value;
    const float volume = session.volume;
    const BOOL mute = session.mute;
    Post([this, index, volume, mute, eventContext] { Notifications().DeliverVolume(index, volume, mute, eventContext); });
    return S_OK;
}

HRESULT ScriptedAudioService::SetVolume(SessionKey key, float volume, const GUID& eventContext) {
    {
        std::lock_guard lock(mutex_);
        setCalls_.push_back({IndexOf(key), SetCall::Volume, volume, FALSE, eventContext});
    }
    return Apply(IndexOf(key), &ScriptedSession::volume, volume, eventContext);
}

HRESULT ScriptedAudioService::SetMute(SessionKey key, BOOL mute, const GUID& eventContext) {
    {
        std::lock_guard lock(mutex_);
        setCalls_.push_back({IndexOf(key), SetCall::Mute, 0.0f, mute, eventContext});
    }
    return Apply(IndexOf(key), &ScriptedSession::mute, mute, eventContext);
}

HRESULT ScriptedAudioService::Register(SessionKey key, IAudioSessionEvents* events) {
    std::function<void(size_t)> change;
    {
        std::lock_guard lock(mutex_);
        change = std::exchange(atNextRegistration_, nullptr);
    }
    if (change) change(IndexOf(key));
    return AudioService::Register(key, events);
}

void ScriptedAudioService::AtNextRegistration(std::function<void(size_t session)> change) {
    std::lock_guard lock(mutex_);
    atNextRegistration_ = std::move(change);
}

void ScriptedAudioService::OtherClientSetVolume(size_t session, float volume) {
    Apply(session, &ScriptedSession::volume, volume, OtherClientContext);
}

void ScriptedAudioService::OtherClientSetMute(size_t session, BOOL mute) {
    Apply(session, &ScriptedSession::mute, mute, OtherClientContext);
}

void ScriptedAudioService::SendVolumeNotification(size_t session, float volume, BOOL mute) {
    Post([this, session, volume, mute] { Notifications().DeliverVolume(session, volume, mute, OtherClientContext); });
}

void ScriptedAudioService::ChangeState(size_t session, int state) {
    std::lock_guard lock(mutex_);
    scenario_.sessions.at(session).state = state;
    Post([this, session, state] { Notifications().DeliverState(session, static_cast<AudioSessionState>(state)); });
}

void ScriptedAudioService::Disconnect(size_t session, AudioSessionDisconnectReason reason) {
    Post([this, session, reason] { Notifications().DeliverDisconnect(session, reason); });
}

void ScriptedAudioService::Flood(size_t session, int count) {
    Post([this, session, count] {
        for (int i = 0; i < count; ++i) {
            Notifications().DeliverVolume(session, static_cast<float>(i % 101) / 100.0f, i % 2, OtherClientContext);
            Notifications().DeliverState(session, static_cast<AudioSessionState>(i % 3));
        }
    });
}

std::vector<SetCall> ScriptedAudioService::SetCalls() const {
    std::lock_guard lock(mutex_);
    return setCalls_;
}

ScriptedSession ScriptedAudioService::Session(size_t session) const {
    std::lock_guard lock(mutex_);
    return scenario_.sessions.at(session);
}

}  // namespace platform::test
