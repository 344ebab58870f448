#include "mmdevapi/pulse/pulse_service.h"

#include <pulse/rtclock.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

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

namespace {

// What the callback of one operation stores, one type per kind of answer. It lives
// on the waiting caller's stack: the wait cancels the operation before returning, so
// a late callback never sees a dead frame. Callbacks only store: the wait watches
// each operation's state, so any operation that ends wakes it.
struct Acknowledgement {
    bool success = false;
    int error = PA_OK;  // why the server refused, when it did
};

struct ServerInfo {
    std::string defaultSink;  // empty when the server has none
};

struct SinkIndex {
    uint32_t index = PA_INVALID_INDEX;
};

constexpr pa_usec_t UsecPerMsec = 1000;
// How long a caller waits for an answer; a local server gives one in milliseconds.
constexpr pa_usec_t RequestTimeoutUsec = 1000 * UsecPerMsec;
// HRESULT_FROM_WIN32(ERROR_TIMEOUT), what Windows reports for a wait that ran out.
constexpr HRESULT NoAnswerInTime = static_cast<HRESULT>(0x800705B4);

// libpulse writes its own warnings to standard error, such as a cookie file it could
// not create in an unwritable HOME (the local socket does not need one). The program
// writes one line there at start and nothing else, so they go to the system log
// instead, unless the user asked for libpulse's log (PULSE_LOG, PULSE_LOG_SYSLOG,
// PULSE_LOG_JOURNAL). libpulse reads these once, at its first message: this runs
// before any call into it.
void SendLibraryLogToSystemLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* name : {"PULSE_LOG", "PULSE_LOG_SYSLOG", "PULSE_LOG_JOURNAL"})
            if (std::getenv(name) != nullptr) return;
        setenv("PULSE_LOG_SYSLOG", "1", 0);
    });
}

}  // namespace

PulseAudioService::PulseAudioService() = default;

std::shared_ptr<PulseAudioService> PulseAudioService::Connect(const char* server, std::chrono::milliseconds timeout,
                                                              std::string* whyNot) {
    SendLibraryLogToSystemLog();
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
    Acknowledgement subscribed;
    return Await(pa_context_subscribe(
               context_, PA_SUBSCRIPTION_MASK_SINK_INPUT,
               [](pa_context*, int success, void* userdata) { static_cast<Acknowledgement*>(userdata)->success = success != 0; },
               &subscribed)) == S_OK &&
           subscribed.success;
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

// Waits, with the lock held by the caller, until the operations complete. Each
// operation's state callback signals when it ends, whatever its result callback
// stored; a server that goes away ends the wait too (the context's state callback
// signals), and the unfinished operations are cancelled so that their
// callbacks cannot run later. A server that neither answers nor goes away (stopped, or
// hung) would hold the caller until libpulse's own 30 s timeout: a timer on the loop
// ends the wait after RequestTimeout instead. That fails the request and nothing
// more: a loaded desktop can stall its sound server for a second, and once it answers
// again its events flow on the same connection. S_OK when every operation completed.
HRESULT PulseAudioService::AwaitAll(std::span<pa_operation* const> operations) {
    // An operation libpulse could not even start (null) fails the lot at once.
    const bool allStarted = std::find(operations.begin(), operations.end(), nullptr) == operations.end();
    struct Deadline {
        pa_threaded_mainloop* loop;
        bool passed = false;
    } deadline{loop_};
    if (allStarted) {
        for (pa_operation* operation : operations) {
            pa_operation_set_state_callback(
                operation,
                [](pa_operation*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); }, loop_);
        }
        pa_time_event* timer = pa_context_rttime_new(
            context_, pa_rtclock_now() + RequestTimeoutUsec,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
                auto* deadline = static_cast<Deadline*>(userdata);
                deadline->passed = true;
                pa_threaded_mainloop_signal(deadline->loop, 0);
            },
            &deadline);
        auto running = [](pa_operation* operation) { return pa_operation_get_state(operation) == PA_OPERATION_RUNNING; };
        while (connected_ && !deadline.passed && std::any_of(operations.begin(), operations.end(), running))
            pa_threaded_mainloop_wait(loop_);
        if (timer != nullptr) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    }
    bool done = allStarted;
    for (pa_operation* operation : operations) {
        if (operation == nullptr) continue;
        if (pa_operation_get_state(operation) != PA_OPERATION_DONE) {
            done = false;
            pa_operation_cancel(operation);
        }
        pa_operation_unref(operation);
    }
    if (done) return S_OK;
    if (!connected_) return AUDCLNT_E_SERVICE_NOT_RUNNING;
    return deadline.passed ? NoAnswerInTime : E_FAIL;
}

HRESULT PulseAudioService::Await(pa_operation* operation) { return AwaitAll(std::span(&operation, 1)); }

HRESULT PulseAudioService::Usable() {
    if (!connected_) return AUDCLNT_E_SERVICE_NOT_RUNNING;
    // A synchronous call from inside a notification would wait for the thread it runs on.
    if (pa_threaded_mainloop_in_thread(loop_)) return E_UNEXPECTED;
    return S_OK;
}

PulseAudioService::Session* PulseAudioService::Find(SessionKey key) {
    auto it = sessions_.find(key);
    return it == sessions_.end() ? nullptr : &it->second;
}

// The server's default sink into *name (empty when it has none). Called with the
// loop's lock held.
HRESULT PulseAudioService::QueryDefaultSink(std::string* name) {
    ServerInfo server;
    HRESULT hr = Await(pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* userdata) {
            if (info != nullptr && info->default_sink_name != nullptr)
                static_cast<ServerInfo*>(userdata)->defaultSink = info->default_sink_name;
        },
        &server));
    *name = std::move(server.defaultSink);
    return hr;
}

HRESULT PulseAudioService::DefaultEndpoint(EDataFlow flow, ERole) {
    Lock lock(loop_);
    if (HRESULT hr = Usable(); hr != S_OK) return hr;
    if (flow != eRender) return E_NOTFOUND;  // sessions are playback streams only
    std::string defaultSink;
    if (HRESULT hr = QueryDefaultSink(&defaultSink); hr != S_OK) return hr;
    return defaultSink.empty() ? E_NOTFOUND : S_OK;
}

// Asks the server afresh: the default sink, its index, then every sink input. Streams
// new to the cache take their values from the answer; streams already known keep what
// the subscription reported, so that no change slips past a notification. The
// sessions are listed by the lowest index among their streams.
HRESULT PulseAudioService::ListSessions(std::vector<SessionKey>* sessions) {
    Lock lock(loop_);
    if (HRESULT hr = Usable(); hr != S_OK) return hr;
    std::string defaultSink;
    if (HRESULT hr = QueryDefaultSink(&defaultSink); hr != S_OK) return hr;
    if (defaultSink.empty()) return S_OK;  // no sink, no sessions

    SinkIndex sink;
    HRESULT hr = Await(pa_context_get_sink_info_by_name(
        context_, defaultSink.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            if (info != nullptr && eol == 0) static_cast<SinkIndex*>(userdata)->index = info->index;
        },
        &sink));
    if (hr != S_OK) return hr;
    if (sink.index == PA_INVALID_INDEX) return S_OK;  // the default sink vanished meanwhile

    // The answer is the stream cache itself, brought up to date, and the sessions on
    // the sink, each with its lowest stream index.
    struct Listing {
        PulseAudioService* service;
        const std::string& sinkName;
        uint32_t sinkIndex;
        std::map<SessionKey, uint32_t> sessions;
    } listing{this, defaultSink, sink.index, {}};
    hr = Await(pa_context_get_sink_input_info_list(
        context_,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
            if (eol != 0 || info == nullptr) return;
            auto* listing = static_cast<Listing*>(userdata);
            PulseAudioService* service = listing->service;
            Stream& stream = service->streams_[info->index];
            if (!stream.reported) service->TakeReport(info->index, stream, info);
            if (info->sink != listing->sinkIndex || stream.sink != listing->sinkIndex) return;
            Session& session = service->sessions_.at(stream.session);
            if (!session.listed) {
                session.listed = true;
                session.identifier =
                    service->UniqueIdentifier(SessionIdentifier(listing->sinkName, stream.properties, session.membership));
            }
            auto [it, isNew] = listing->sessions.try_emplace(stream.session, info->index);
            if (!isNew) it->second = std::min(it->second, info->index);
        },
        &listing));
    if (hr != S_OK) return hr;
    std::vector<std::pair<uint32_t, SessionKey>> order;
    for (auto [key, lowest] : listing.sessions) order.emplace_back(lowest, key);
    std::sort(order.begin(), order.end());
    sessions->clear();
    for (auto [lowest, key] : order) sessions->push_back(key);
    return S_OK;
}

bool PulseAudioService::Supports(SessionKey session, REFIID iid) {
    Lock lock(loop_);
    if (Find(session) == nullptr) return false;
    return IsEqualIID(iid, IID_IAudioSessionControl2) || IsEqualIID(iid, IID_ISimpleAudioVolume);
}

// The getters answer from the cache, which the subscription keeps current: they never
// wait for the server, so they also work from inside a notification. They read what
// the registered objects were last told.
template <typename Read>
HRESULT PulseAudioService::ReadSession(SessionKey key, Read read) {
    Lock lock(loop_);
    if (!connected_) return AUDCLNT_E_SERVICE_NOT_RUNNING;
    const Session* session = Find(key);
    if (session == nullptr) return AUDCLNT_E_DEVICE_INVALIDATED;
    return read(*session);
}

HRESULT PulseAudioService::IsSystemSounds(SessionKey key) {
    return ReadSession(key, [](const Session& session) {
        return session.membership.kind == SessionMembership::Kind::SystemSounds ? S_OK : S_FALSE;
    });
}

HRESULT PulseAudioService::ProcessId(SessionKey key, DWORD* processId) {
    return ReadSession(key, [&](const Session& session) {
        switch (session.membership.kind) {
        case SessionMembership::Kind::Application: *processId = session.membership.processId; return S_OK;
        // The system sounds of every process.
        case SessionMembership::Kind::SystemSounds: *processId = 0; return AUDCLNT_S_NO_SINGLE_PROCESS;
        // A stream without application.process.id (a network client, a module's own
        // stream) has no process to name.
        case SessionMembership::Kind::OwnStream: break;
        }
        return E_NOTFOUND;
    });
}

HRESULT PulseAudioService::Identifier(SessionKey key, std::u16string* identifier) {
    return ReadSession(key, [&](const Session& session) {
        *identifier = session.identifier;
        return S_OK;
    });
}

HRESULT PulseAudioService::State(SessionKey key, AudioSessionState* state) {
    return ReadSession(key, [&](const Session& session) {
        *state = session.shown.state;
        return S_OK;
    });
}

HRESULT PulseAudioService::Volume(SessionKey key, float* volume) {
    return ReadSession(key, [&](const Session& session) {
        *volume = LevelFromVolume(session.shown.volume);
        return S_OK;
    });
}

HRESULT PulseAudioService::Mute(SessionKey key, BOOL* mute) {
    return ReadSession(key, [&](const Session& session) {
        *mute = session.shown.mute ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT PulseAudioService::SetVolume(SessionKey session, float volume, const GUID& eventContext) {
    return RequestChange(session, PendingChange{.target = LevelTarget{VolumeFromLevel(volume)}, .eventContext = eventContext});
}

HRESULT PulseAudioService::SetMute(SessionKey session, BOOL mute, const GUID& eventContext) {
    return RequestChange(session, PendingChange{.target = MuteTarget{mute != FALSE}, .eventContext = eventContext});
}

// Writes every stream of the session. The change is remembered before the requests
// leave, so that the report it causes finds the caller's event context however the
// answers interleave. The server applies them, and reports them, in the order sent:
// a level going down reaches the loudest stream last and a level going up reaches it
// first, so the session's level moves once, straight to the new value.
HRESULT PulseAudioService::RequestChange(SessionKey key, PendingChange change) {
    Lock lock(loop_);
    if (HRESULT hr = Usable(); hr != S_OK) return hr;
    Session* session = Find(key);
    if (session == nullptr || session->streams.empty()) return AUDCLNT_E_DEVICE_INVALIDATED;

    std::vector<uint32_t> targets = session->streams;
    std::vector<pa_cvolume> volumes;
    const LevelTarget* level = std::get_if<LevelTarget>(&change.target);
    if (level != nullptr) {
        std::vector<StreamAtLevel> now;
        for (uint32_t index : targets) {
            auto kept = session->kept.find(index);
            now.push_back(
                {streams_.at(index).status.volume, kept != session->kept.end() ? std::optional(kept->second) : std::nullopt});
        }
        // Read, modify, write: each stream keeps its balance and its share of the level.
        SessionLevelChange written = SessionToLevel(now, level->volume);
        session->kept.clear();
        for (size_t k = 0; k < targets.size(); ++k)
            if (written.kept[k]) session->kept.emplace(targets[k], *written.kept[k]);
        // Down: the loudest stream now goes last; up: the loudest after goes first.
        const bool down = level->volume <= session->shown.volume;
        std::vector<size_t> order(targets.size());
        for (size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return down ? VolumeOfStream(now[a].volume) < VolumeOfStream(now[b].volume)
                        : VolumeOfStream(written.volumes[a]) > VolumeOfStream(written.volumes[b]);
        });
        std::vector<uint32_t> sorted;
        for (size_t k : order) {
            sorted.push_back(targets[k]);
            volumes.push_back(written.volumes[k]);
        }
        targets = std::move(sorted);
    }
    change.id = nextPendingId_++;
    session->pending.push_back(change);

    std::vector<Acknowledgement> answers(targets.size());
    std::vector<pa_operation*> operations;
    auto answered = [](pa_context* context, int success, void* userdata) {
        auto* answer = static_cast<Acknowledgement*>(userdata);
        answer->success = success != 0;
        if (!answer->success) answer->error = pa_context_errno(context);
    };
    const MuteTarget* mute = std::get_if<MuteTarget>(&change.target);
    for (size_t k = 0; k < targets.size(); ++k) {
        operations.push_back(level != nullptr
                                 ? pa_context_set_sink_input_volume(context_, targets[k], &volumes[k], answered, &answers[k])
                                 : pa_context_set_sink_input_mute(context_, targets[k], mute->mute ? 1 : 0, answered, &answers[k]));
    }
    // Done when the server took the value for every stream it still has; a stream that
    // ended meanwhile ("no such entity") has nothing left to change.
    HRESULT hr = AwaitAll(operations);
    if (hr == S_OK) {
        bool anyTaken = false, allTaken = true;
        for (const Acknowledgement& answer : answers) {
            anyTaken = anyTaken || answer.success;
            if (!answer.success && answer.error != PA_ERR_NOENTITY) allTaken = false;
        }
        if (anyTaken && allTaken) {
            MarkApplied(key, change.id);
            return S_OK;
        }
        hr = AUDCLNT_E_DEVICE_INVALIDATED;
    }
    // A server that did not answer in time may still apply the change when it wakes:
    // its report then carries the caller's context.
    if (hr != NoAnswerInTime) {
        if (Session* again = Find(key)) std::erase_if(again->pending, [&](const PendingChange& p) { return p.id == change.id; });
    }
    return hr;
}

void PulseAudioService::MarkApplied(SessionKey key, uint64_t pendingId) {
    Session* session = Find(key);
    if (session == nullptr) return;
    for (PendingChange& change : session->pending)
        if (change.id == pendingId) change.applied = true;
}

// The context of the request that explains the session's new level or mute, if one
// of ours does; requests before it were overtaken by it. When none does, another
// client changed the session after every request the server has already answered:
// those are dropped.
GUID PulseAudioService::TakeContext(Session& session, bool volumeChanged, bool muteChanged) {
    auto& pending = session.pending;
    for (size_t k = 0; k < pending.size(); ++k) {
        const PendingChange& change = pending[k];
        const LevelTarget* level = std::get_if<LevelTarget>(&change.target);
        const MuteTarget* mute = std::get_if<MuteTarget>(&change.target);
        bool explains = level != nullptr ? volumeChanged && level->volume == session.shown.volume
                                         : muteChanged && mute->mute == session.shown.mute;
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
    for (auto& [key, session] : sessions_) {
        if (!session.listed || session.shown.state == AudioSessionStateExpired) continue;
        Notifications().DeliverDisconnect(key, DisconnectReasonServerShutdown);
    }
}

// A stream announced (new, or changed before this process knew it) is asked for; a
// stream removed is forgotten, so that a late answer about it finds nothing to update
// (PipeWire may hand its index to a later stream, which is announced anew).
void PulseAudioService::OnSubscription(pa_subscription_event_type_t event, uint32_t index) {
    if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT) return;
    if ((event & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
        OnStreamRemoved(index);
        return;
    }
    streams_.try_emplace(index);
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
    auto it = streams_.find(info->index);
    if (it == streams_.end()) return;  // removed since it was asked for
    TakeReport(info->index, it->second, info);
}

// The stream as the server reports it, in the session its process and sink make; the
// sessions it left and joined report what changed. Nothing is written to the server.
void PulseAudioService::TakeReport(uint32_t index, Stream& stream, const pa_sink_input_info* info) {
    stream.reported = true;
    stream.sink = info->sink;
    stream.status = StreamStatus{info->volume, info->mute != 0, info->corked != 0};
    stream.properties = ReadStreamProperties(info->proplist);
    Place(index, stream);
    ForgetShapeChangedByOthers(index, stream);
    Refresh(stream.session);
}

// The identifier as made from the session's first stream, made unique: two sessions
// can agree on sink, application and process ID (two sandboxed copies of a player on
// a server that cannot tell them apart, a dead process and a new one with its ID and
// name but another binary). The later one gets "|#2", "|#3", ...
std::u16string PulseAudioService::UniqueIdentifier(std::u16string identifier) {
    std::u16string unique = identifier;
    for (int n = 2; !identifiers_.insert(unique).second; ++n) {
        std::string suffix = "|#" + std::to_string(n);
        unique = identifier + std::u16string(suffix.begin(), suffix.end());
    }
    return unique;
}

void PulseAudioService::Place(uint32_t index, Stream& stream) {
    const SessionMembership membership = MembershipOf(stream.properties, stream.sink, index);
    auto [found, isNew] = sessionOf_.try_emplace(membership, nextSessionKey_);
    const SessionKey key = found->second;
    if (isNew) {
        ++nextSessionKey_;
        sessions_[key].membership = membership;
    }
    if (stream.session == key) return;
    if (stream.session != 0) Leave(index, stream.session);
    stream.session = key;
    sessions_.at(key).streams.push_back(index);
}

// A stream the session keeps a shape for was set to 0 by us; heard again and no longer
// silent, another client has turned it up, and its new volume counts from then on.
// While a request of ours is unanswered the report may predate it, so it waits.
void PulseAudioService::ForgetShapeChangedByOthers(uint32_t index, const Stream& stream) {
    Session& session = sessions_.at(stream.session);
    if (VolumeOfStream(stream.status.volume) == PA_VOLUME_MUTED) return;
    if (std::any_of(session.pending.begin(), session.pending.end(), [](const PendingChange& change) { return !change.applied; }))
        return;
    session.kept.erase(index);
}

void PulseAudioService::Leave(uint32_t index, SessionKey key) {
    Session& session = sessions_.at(key);
    std::erase(session.streams, index);
    session.kept.erase(index);
    Refresh(key);
}

// Reports what changed in the session since it last reported: one volume report when
// its level or mute moved, one state report when its state did. A session nobody can
// name (never listed) that has no stream left is forgotten.
void PulseAudioService::Refresh(SessionKey key) {
    auto it = sessions_.find(key);
    Session& session = it->second;
    std::vector<const StreamStatus*> members;
    for (uint32_t index : session.streams) members.push_back(&streams_.at(index).status);
    SessionStatus now = StatusOfSession(members);
    if (members.empty()) {
        // An Expired session keeps showing its last level and mute.
        now.volume = session.shown.volume;
        now.mute = session.shown.mute;
        session.pending.clear();
        session.kept.clear();
        if (!session.listed) {
            sessionOf_.erase(session.membership);
            sessions_.erase(it);
            return;
        }
    }
    const bool volumeChanged = now.volume != session.shown.volume;
    const bool muteChanged = now.mute != session.shown.mute;
    const bool stateChanged = now.state != session.shown.state;
    session.shown = now;
    if (!session.listed) return;  // nobody can have registered for it
    if (volumeChanged || muteChanged) {
        GUID context = TakeContext(session, volumeChanged, muteChanged);
        Notifications().DeliverVolume(key, LevelFromVolume(now.volume), now.mute ? TRUE : FALSE, context);
    }
    if (stateChanged) Notifications().DeliverState(key, now.state);
}

void PulseAudioService::OnStreamRemoved(uint32_t index) {
    auto it = streams_.find(index);
    if (it == streams_.end()) return;
    const SessionKey key = it->second.session;
    streams_.erase(it);
    if (key != 0) Leave(index, key);
}

std::shared_ptr<AudioService> CreatePulseService(std::string& whyNot) {
    // A local server answers in milliseconds; the limit only matters for a remote
    // PULSE_SERVER that does not answer.
    return PulseAudioService::Connect(nullptr, std::chrono::milliseconds(1500), &whyNot);
}

}  // namespace platform::mmdevapi::pulse
