// The audio service over a PulseAudio server (or PipeWire through its PulseAudio
// interface): the default sink is the render endpoint, and a session is an application
// on it, as on Windows: one process's sink inputs on that sink together (see
// SessionMembership). Its state, level and mute come from all of its streams, and the
// same session comes back when its process plays on the sink again.
//
// Threads and locks. libpulse runs on a threaded main loop; every call into it holds
// the loop's lock, and every callback runs on the loop thread with that lock held. The
// stream and session caches below are guarded by the same lock. Notifications are delivered from the
// loop thread, so the hub's mutex is always taken after the loop lock, never before:
// the hub itself never calls the service, and the program unregisters from its window
// thread without holding the loop lock. A delivery in progress therefore only makes
// Unregister wait, it cannot deadlock with it.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "mmdevapi/audio_service.h"
#include "mmdevapi/pulse/pulse_mapping.h"

namespace platform::mmdevapi::pulse {

class PulseAudioService final : public AudioService {
public:
    // Null when no server answers within `timeout` (never autospawns one); whyNot, when
    // given, then names the server address tried and the error. `server` null means
    // libpulse's usual lookup: PULSE_SERVER, then the user's socket.
    static std::shared_ptr<PulseAudioService> Connect(const char* server, std::chrono::milliseconds timeout,
                                                      std::string* whyNot = nullptr);

    PulseAudioService(const PulseAudioService&) = delete;
    PulseAudioService& operator=(const PulseAudioService&) = delete;
    ~PulseAudioService() override;

    HRESULT DefaultEndpoint(EDataFlow flow, ERole role) override;
    HRESULT ListSessions(std::vector<SessionKey>* sessions) override;
    bool Supports(SessionKey session, REFIID iid) override;
    HRESULT IsSystemSounds(SessionKey session) override;
    HRESULT ProcessId(SessionKey session, DWORD* processId) override;
    HRESULT Identifier(SessionKey session, std::u16string* identifier) override;
    HRESULT State(SessionKey session, AudioSessionState* state) override;
    HRESULT Volume(SessionKey session, float* volume) override;
    HRESULT Mute(SessionKey session, BOOL* mute) override;
    HRESULT SetVolume(SessionKey session, float volume, const GUID& eventContext) override;
    HRESULT SetMute(SessionKey session, BOOL mute, const GUID& eventContext) override;

    // The event context of changes that this process did not request.
    static constexpr GUID OtherClientContext = {0x3c0d8a51, 0x7e26, 0x4f0b, {0x9d, 0x41, 0x70, 0x75, 0x6c, 0x73, 0x65, 0x21}};

private:
    PulseAudioService();

    // What a SetVolume or SetMute asked the session for.
    struct LevelTarget {
        pa_volume_t volume;
    };
    struct MuteTarget {
        bool mute;
    };

    // A SetVolume or SetMute of ours whose change has not been reported yet.
    struct PendingChange {
        std::variant<LevelTarget, MuteTarget> target;
        GUID eventContext;
        uint64_t id = 0;       // set when the request is sent
        bool applied = false;  // the server answered the request: later reports include it
    };

    // A sink input as the server last reported it.
    struct Stream {
        bool reported = false;  // announced by an event, not yet reported
        uint32_t sink = PA_INVALID_INDEX;
        StreamStatus status;
        StreamProperties properties;
        SessionKey session = 0;  // the session it belongs to, 0 before its first report
    };

    struct Session {
        SessionMembership membership;
        std::u16string identifier;      // set when first listed
        bool listed = false;            // handed out as a session key: it stays, Expired or not
        std::vector<uint32_t> streams;  // its streams now
        SessionStatus shown;            // as last reported to the registered objects
        std::deque<PendingChange> pending;
        std::map<uint32_t, KeptShape> kept;  // by stream index: the mix to bring back after 0
    };

    class Lock;

    bool Start(const char* server, std::chrono::milliseconds timeout, std::string& whyNot);
    std::string ServerAddress(const char* requested);
    HRESULT Await(pa_operation* operation);
    HRESULT AwaitAll(std::span<pa_operation* const> operations);
    HRESULT QueryDefaultSink(std::string* name);
    HRESULT Usable();
    // Takes the loop's lock and calls read with the session; the error the getters
    // return when there is none.
    template <typename Read>
    HRESULT ReadSession(SessionKey key, Read read);
    Session* Find(SessionKey key);
    HRESULT RequestChange(SessionKey key, PendingChange change);

    void TakeReport(uint32_t index, Stream& stream, const pa_sink_input_info* info);
    void Place(uint32_t index, Stream& stream);
    std::u16string UniqueIdentifier(std::u16string identifier);
    void Leave(uint32_t index, SessionKey key);
    void ForgetShapeChangedByOthers(uint32_t index, const Stream& stream);
    void Refresh(SessionKey key);

    void OnContextState();
    void OnSubscription(pa_subscription_event_type_t event, uint32_t index);
    void OnStreamReport(const pa_sink_input_info* info);
    void OnStreamRemoved(uint32_t index);
    void OnServerGone();
    void MarkApplied(SessionKey key, uint64_t pendingId);
    GUID TakeContext(Session& session, bool volumeChanged, bool muteChanged);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool connected_ = false;     // context ready and not yet failed
    bool shuttingDown_ = false;  // the destructor runs: no more notifications
    bool timedOut_ = false;
    uint64_t nextPendingId_ = 1;
    SessionKey nextSessionKey_ = 1;
    std::map<uint32_t, Stream> streams_;
    std::map<SessionKey, Session> sessions_;
    // The session each process has on each sink. A session whose last stream ended
    // stays here, so that the same process coming back finds it again; any other
    // process makes a session of its own.
    std::map<SessionMembership, SessionKey> sessionOf_;
    std::set<std::u16string> identifiers_;  // every identifier handed out, so that each stays unique
};

std::shared_ptr<AudioService> CreatePulseService(std::string& whyNot);

}  // namespace platform::mmdevapi::pulse
