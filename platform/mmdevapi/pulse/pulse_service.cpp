#include "mmdevapi/pulse/pulse_service.h"

#include <pulse/rtclock.h>

#include <algorithm>

namespace platform::mmdevapi::pulse {

// Holds the main loop's lock for a scope. The lock is recursive, so a getter called
// from inside a notification (on the loop thread) takes it again safely.
class PulseAudioService::Lock {
public:
    explicit Lock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() { pa_threaded_mainloop_unlock(loop_); }

private:
    pa_threaded_mainloop* loop_;
};

// What a waiting caller hands to the callback of one operation. It lives on the
// caller's stack: Await cancels the operation before returning, so a late callback
// never sees a dead frame.
struct PulseAudioService::Request {
    explicit Request(PulseAudioService* owner, uint32_t streamIndex = PA_INVALID_INDEX, uint64_t pending = 0)
        : service(owner), stream(streamIndex), pendingId(pending) {}

    PulseAudioService* service;
    uint32_t stream;
    uint64_t pendingId;
    bool success = false;
    std::string defaultSink;
    uint32_t sinkIndex = PA_INVALID_INDEX;
    std::vector<SessionKey> sessions;
};

namespace {

constexpr pa_usec_t UsecPerMsec = 1000;
// How long a caller waits for an answer; a local server gives one in milliseconds.
constexpr pa_usec_t RequestTimeoutUsec = 1000 * UsecPerMsec;

}  // namespace

PulseAudioService::PulseAudioService() = default;

std::shared_ptr<PulseAudioService> PulseAudioService::Connect(const char* server, std::chrono::milliseconds timeout,
                                                              std::string* whyNot) {
    std::shared_ptr<PulseAudioService> service(new PulseAudioService());
    std::string reason;
    if (!service->Start(server, timeout, reason)) {
        if (whyNot != nullptr) *whyNot = std::move(reason);
        return nullptr;
    }
    return service;
}

// The address libpulse tried last (with the lock held): the requested one, else the
// last of its usual lookup.
std::string PulseAudioService::ServerAddress(const char* requested) {
    const char* tried = pa_context_get_server(context_);
    if (tried != nullptr) return tried;
    return requested != nullptr ? requested : "the default server";
}

bool PulseAudioService::Start(const char* server, std::chrono::milliseconds timeout, std::string& whyNot) {
    whyNot = "libpulse could not start its main loop";
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) return false;
    pa_threaded_mainloop_set_name(loop_, "pulse-sessions");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "sessionvol");
    if (context_ == nullptr) return false;
    pa_context_set_state_callback(
        context_, [](pa_context*, void* self) { static_cast<PulseAudioService*>(self)->OnContextState(); }, this);
    if (pa_threaded_mainloop_start(loop_) < 0) return false;

    Lock lock(loop_);
    // Never start a server of our own: a machine without one falls back to the next backend.
    if (pa_context_connect(context_, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        whyNot = ServerAddress(server) + ": " + pa_strerror(pa_context_errno(context_));
        return false;
    }
    pa_time_event* deadline = pa_context_rttime_new(
        context_, pa_rtclock_now() + static_cast<pa_usec_t>(timeout.count()) * UsecPerMsec,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
            auto* service = static_cast<PulseAudioService*>(self);
            service->timedOut_ = true;
            pa_threaded_mainloop_signal(service->loop_, 0);
        },
        this);
    while (!connected_ && !timedOut_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) pa_threaded_mainloop_wait(loop_);
    if (deadline != nullptr) pa_threaded_mainloop_get_api(loop_)->time_free(deadline);
    if (!connected_) {
        whyNot =
            ServerAddress(server) + ": " +
            (timedOut_ ? "no answer within " + std::to_string(timeout.count()) + " ms" : pa_strerror(pa_context_errno(context_)));
        return false;
    }
    whyNot = ServerAddress(server) + ": the server refused to report stream changes";

    pa_context_set_subscribe_callback(
        context_,
        [](pa_context*, pa_subscription_event_type_t event, uint32_t index, void* self) {
            static_cast<PulseAudioService*>(self)->OnSubscription(event, index);
        },
        this);
    Request request(this);
    return Await(pa_context_subscribe(
               context_, PA_SUBSCRIPTION_MASK_SINK_INPUT,
               [](pa_context*, int success, void* userdata) {
                   auto* request = static_cast<Request*>(userdata);
                   request->success = success != 0;
                   pa_threaded_mainloop_signal(request->service->loop_, 0);
               },
               &request)) &&
           request.success;
}

PulseAudioService::~PulseAudioService() {
    if (loop_ == nullptr) return;
    {
        Lock lock(loop_);
        shuttingDown_ = true;
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_set_subscribe_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }
    // Stopping joins the loop thread, which needs the lock to finish its iteration.
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

bool PulseAudioService::Connected() {
    Lock lock(loop_);
    return connected_;
}

// Waits, with the lock held by the caller, until the operation completes. The loop
// thread's callbacks signal; a server that goes away ends the wait too (the state
// callback signals), and the unfinished operation is cancelled so that its callback
// cannot run later. A server that neither answers nor goes away (stopped, or hung)
// would hold the caller until libpulse's own 30 s timeout: a timer on the loop ends
// the wait after RequestTimeout instead, and the server is taken for gone.
bool PulseAudioService::Await(pa_operation* operation) {
    if (operation == nullptr) return false;
    struct Deadline {
        pa_threaded_mainloop* loop;
        bool passed = false;
    } deadline{loop_};
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + RequestTimeoutUsec,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
            auto* deadline = static_cast<Deadline*>(userdata);
            deadline->passed = true;
            pa_threaded_mainloop_signal(deadline->loop, 0);
        },
        &deadline);
    while (connected_ && !deadline.passed && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop_);
    if (timer != nullptr) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!done && deadline.passed) GiveUpOnServer();
    return done;
}

// Ends the connection from our side. Disconnecting never waits for the server: the
// state callback runs at once, on this thread, and reports the streams gone as a
// server that went away would.
void PulseAudioService::GiveUpOnServer() {
    if (connected_) pa_context_disconnect(context_);
}

// A stream new to the cache takes the server's values as they are.
void PulseAudioService::TakeFirstReport(Stream& stream, const pa_sink_input_info* info) {
    stream.sink = info->sink;
    stream.volume = info->volume;
    stream.mute = info->mute != 0;
    stream.corked = info->corked != 0;
    stream.properties = ReadStreamProperties(info->proplist);
}

HRESULT PulseAudioService::Usable() {
    if (!connected_) return AUDCLNT_E_SERVICE_NOT_RUNNING;
    // A synchronous call from inside a notification would wait for the thread it runs on.
    if (pa_threaded_mainloop_in_thread(loop_)) return E_UNEXPECTED;
    return S_OK;
}

PulseAudioService::Stream* PulseAudioService::Find(SessionKey session) {
    if (session > PA_INVALID_INDEX) return nullptr;
    auto it = streams_.find(static_cast<uint32_t>(session));
    return it == streams_.end() ? nullptr : &it->second;
}

// The server's default sink into request->defaultSink (empty when it has none).
// False when the server did not answer. Called with the loop's lock held.
bool PulseAudioService::QueryDefaultSink(Request* request) {
    return Await(pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto* request = static_cast<Request*>(userdata);
            if (info != nullptr && info->default_sink_name != nullptr) request->defaultSink = info->default_sink_name;
            pa_threaded_mainloop_signal(request->service->loop_, 0);
        },
        request));
}

HRESULT PulseAudioService::DefaultEndpoint(EDataFlow flow, ERole) {
    Lock lock(loop_);
    if (HRESULT hr = Usable(); hr != S_OK) return hr;
    if (flow != eRender) return E_NOTFOUND;  // sessions are playback streams only
    Request request(this);
    if (!QueryDefaultSink(&request)) return AUDCLNT_E_SERVICE_NOT_RUNNING;
    return request.defaultSink.empty() ? E_NOTFOUND : S_OK;
}

// Asks the server afresh: the default sink, its index, then every sink input. Streams
// new to the cache take their values from the answer; streams already known keep what
// the subscription reported, so that no change slips past a notification.
HRESULT PulseAudioService::ListSessions(std::vector<SessionKey>* sessions) {
    Lock lock(loop_);
    if (HRESULT hr = Usable(); hr != S_OK) return hr;
    Request request(this);
    if (!QueryDefaultSink(&request)) return AUDCLNT_E_SERVICE_NOT_RUNNING;
    if (request.defaultSink.empty()) return S_OK;  // no sink, no sessions

    if (!Await(pa_context_get_sink_info_by_name(
            context_, request.defaultSink.c_str(),
            [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
                auto* request = static_cast<Request*>(userdata);
                if (info != nullptr && eol == 0) request->sinkIndex = info->index;
                if (eol != 0) pa_threaded_mainloop_signal(request->service->loop_, 0);
            },
            &request)))
        return AUDCLNT_E_SERVICE_NOT_RUNNING;
    if (request.sinkIndex == PA_INVALID_INDEX) return S_OK;  // the default sink vanished meanwhile

    if (!Await(pa_context_get_sink_input_info_list(
            context_,
            [](pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
                auto* request = static_cast<Request*>(userdata);
                if (eol != 0) {
                    pa_threaded_mainloop_signal(request->service->loop_, 0);
                    return;
                }
                if (info->sink != request->sinkIndex) return;
                auto [it, isNew] = request->service->streams_.try_emplace(info->index);
                Stream& stream = it->second;
                if (isNew) TakeFirstReport(stream, info);
                if (stream.identifier.empty())
                    stream.identifier = SessionIdentifier(request->defaultSink, stream.properties, info->index);
                stream.listed = true;
                request->sessions.push_back(info->index);
            },
            &request)))
        return AUDCLNT_E_SERVICE_NOT_RUNNING;
    std::sort(request.sessions.begin(), request.sessions.end());
    *sessions = std::move(request.sessions);
    return S_OK;
}

bool PulseAudioService::Supports(SessionKey session, REFIID iid) {
    Lock lock(loop_);
    if (Find(session) == nullptr) return false;
    return IsEqualIID(iid, IID_IAudioSessionControl2) || IsEqualIID(iid, IID_ISimpleAudioVolume);
}

// The getters answer from the cache, which the subscription keeps current: they never
// wait for the server, so they also work from inside a notification.
template <typename Read>
HRESULT PulseAudioService::ReadCached(SessionKey session, Read read) {
    Lock lock(loop_);
    if (!connected_) return AUDCLNT_E_SERVICE_NOT_RUNNING;
    const Stream* stream = Find(session);
    if (stream == nullptr) return AUDCLNT_E_DEVICE_INVALIDATED;
    return read(*stream);
}

HRESULT PulseAudioService::IsSystemSounds(SessionKey session) {
    return ReadCached(session, [](const Stream& stream) { return stream.properties.systemSounds ? S_OK : S_FALSE; });
}

HRESULT PulseAudioService::ProcessId(SessionKey session, DWORD* processId) {
    return ReadCached(session, [&](const Stream& stream) {
        // A stream without application.process.id (a network client, a module's own
        // stream) has no process to name.
        if (!stream.properties.processId) return E_NOTFOUND;
        *processId = *stream.properties.processId;
        return S_OK;
    });
}

HRESULT PulseAudioService::Identifier(SessionKey session, std::u16string* identifier) {
    return ReadCached(session, [&](const Stream& stream) {
        *identifier = stream.identifier;
        return S_OK;
    });
}

HRESULT PulseAudioService::State(SessionKey session, AudioSessionState* state) {
    return ReadCached(session, [&](const Stream& stream) {
        *state = stream.gone ? AudioSessionStateExpired : StateOfStream(stream.corked);
        return S_OK;
    });
}

HRESULT PulseAudioService::Volume(SessionKey session, float* volume) {
    return ReadCached(session, [&](const Stream& stream) {
        *volume = LevelOfStream(stream.volume);
        return S_OK;
    });
}

HRESULT PulseAudioService::Mute(SessionKey session, BOOL* mute) {
    return ReadCached(session, [&](const Stream& stream) {
        *mute = stream.mute ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT PulseAudioService::SetVolume(SessionKey session, float volume, const GUID& eventContext) {
    return RequestChange(session, PendingChange{0, true, VolumeFromLevel(volume), false, eventContext});
}

HRESULT PulseAudioService::SetMute(SessionKey session, BOOL mute, const GUID& eventContext) {
    return RequestChange(session, PendingChange{0, false, PA_VOLUME_MUTED, mute != FALSE, eventContext});
}

// The change is remembered before the request leaves, so that the report it causes
// finds the caller's event context however the answers interleave.
HRESULT PulseAudioService::RequestChange(SessionKey session, PendingChange change) {
    Lock lock(loop_);
    if (HRESULT hr = Usable(); hr != S_OK) return hr;
    Stream* stream = Find(session);
    if (stream == nullptr || stream->gone) return AUDCLNT_E_DEVICE_INVALIDATED;
    const uint32_t index = static_cast<uint32_t>(session);
    change.id = nextPendingId_++;
    stream->pending.push_back(change);

    Request request(this, index, change.id);
    auto answered = [](pa_context*, int success, void* userdata) {
        auto* request = static_cast<Request*>(userdata);
        request->success = success != 0;
        if (request->success) request->service->MarkApplied(request->stream, request->pendingId);
        pa_threaded_mainloop_signal(request->service->loop_, 0);
    };
    pa_operation* operation;
    if (change.isVolume) {
        // Read, modify, write: the loudest channel gets the level, the others keep
        // their share of it, so a balance the user set stays.
        const pa_cvolume volume = ScaledToLevel(stream->volume, change.volume);
        operation = pa_context_set_sink_input_volume(context_, index, &volume, answered, &request);
    } else {
        operation = pa_context_set_sink_input_mute(context_, index, change.mute ? 1 : 0, answered, &request);
    }
    if (Await(operation) && request.success) return S_OK;

    if (Stream* again = Find(session)) std::erase_if(again->pending, [&](const PendingChange& p) { return p.id == change.id; });
    return connected_ ? AUDCLNT_E_DEVICE_INVALIDATED : AUDCLNT_E_SERVICE_NOT_RUNNING;
}

void PulseAudioService::MarkApplied(uint32_t index, uint64_t pendingId) {
    auto it = streams_.find(index);
    if (it == streams_.end()) return;
    for (PendingChange& change : it->second.pending)
        if (change.id == pendingId) change.applied = true;
}

// The context of the request that explains the reported change, if one of ours does;
// requests before it were overtaken by it. When none does, another client changed the
// stream after every request the server has already answered: those are dropped.
GUID PulseAudioService::TakeContext(Stream& stream, bool volumeChanged, pa_volume_t volume, bool muteChanged, bool mute) {
    auto& pending = stream.pending;
    for (size_t k = 0; k < pending.size(); ++k) {
        const PendingChange& change = pending[k];
        bool explains = change.isVolume ? volumeChanged && change.volume == volume : muteChanged && change.mute == mute;
        if (explains) {
            GUID context = change.eventContext;
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(k) + 1);
            return context;
        }
    }
    std::erase_if(pending, [](const PendingChange& change) { return change.applied; });
    return OtherClientContext;
}

void PulseAudioService::OnContextState() {
    switch (pa_context_get_state(context_)) {
    case PA_CONTEXT_READY: connected_ = true; break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        if (connected_) {
            connected_ = false;
            if (!shuttingDown_) OnServerGone();
        }
        break;
    default: break;
    }
    pa_threaded_mainloop_signal(loop_, 0);
}

void PulseAudioService::OnServerGone() {
    for (auto& [index, stream] : streams_) {
        if (!stream.listed || stream.gone) continue;
        stream.gone = true;
        Notifications().DeliverDisconnect(index, DisconnectReasonServerShutdown);
    }
}

void PulseAudioService::OnSubscription(pa_subscription_event_type_t event, uint32_t index) {
    if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT) return;
    if ((event & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
        OnStreamRemoved(index);
        return;
    }
    pa_operation* operation = pa_context_get_sink_input_info(
        context_, index,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
            // eol < 0: the stream went away before the answer; its removal event follows.
            if (eol == 0 && info != nullptr) static_cast<PulseAudioService*>(self)->OnStreamReport(info);
        },
        this);
    if (operation != nullptr) pa_operation_unref(operation);
}

void PulseAudioService::OnStreamReport(const pa_sink_input_info* info) {
    auto [it, isNew] = streams_.try_emplace(info->index);
    Stream& stream = it->second;
    if (isNew) {
        // Nobody can have registered for a stream that was never listed.
        TakeFirstReport(stream, info);
        return;
    }
    if (stream.gone) return;
    const pa_volume_t oldVolume = VolumeOfStream(stream.volume);
    const pa_volume_t newVolume = VolumeOfStream(info->volume);
    const bool volumeChanged = oldVolume != newVolume;
    const bool muteChanged = stream.mute != (info->mute != 0);
    const bool stateChanged = stream.corked != (info->corked != 0);
    stream.sink = info->sink;
    stream.volume = info->volume;
    stream.mute = info->mute != 0;
    stream.corked = info->corked != 0;

    if (volumeChanged || muteChanged) {
        GUID context = TakeContext(stream, volumeChanged, newVolume, muteChanged, stream.mute);
        Notifications().DeliverVolume(info->index, LevelFromVolume(newVolume), stream.mute ? TRUE : FALSE, context);
    }
    if (stateChanged) Notifications().DeliverState(info->index, StateOfStream(stream.corked));
}

void PulseAudioService::OnStreamRemoved(uint32_t index) {
    auto it = streams_.find(index);
    if (it == streams_.end()) return;
    if (!it->second.listed) {
        streams_.erase(it);  // no session object can name it
        return;
    }
    if (it->second.gone) return;
    it->second.gone = true;
    it->second.pending.clear();
    Notifications().DeliverState(index, AudioSessionStateExpired);
}

std::shared_ptr<AudioService> CreatePulseService(std::string& whyNot) {
    // A local server answers in milliseconds; the limit only matters for a remote
    // PULSE_SERVER that does not answer.
    return PulseAudioService::Connect(nullptr, std::chrono::milliseconds(1500), &whyNot);
}

}  // namespace platform::mmdevapi::pulse
