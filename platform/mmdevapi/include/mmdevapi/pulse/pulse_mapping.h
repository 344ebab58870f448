// How PulseAudio sink inputs appear as Core Audio sessions: which session a stream
// belongs to, and a session's level, mute, state and identifier from its streams.
// Pure functions, shared by the service and its tests.
#pragma once

#include <audiopolicy.h>
#include <pulse/def.h>
#include <pulse/proplist.h>
#include <pulse/volume.h>

#include <compare>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::mmdevapi::pulse {

// Level <-> pa_volume_t, linear in the raw volume: level = volume / PA_VOLUME_NORM,
// which is the percentage pactl and the desktop mixers print (0.25 is "25%"). The
// levels the program offers (0, 0.25, 0.5, 1) map to exact volumes and back. A level
// asked for lies in 0.0-1.0 as Core Audio allows; a stream raised above 100% by
// another client reads as it is (1.5 for 150%).
pa_volume_t VolumeFromLevel(float level);
float LevelFromVolume(pa_volume_t volume);

// The stream's volume as one number: its loudest channel (pa_cvolume_max), as desktop
// mixers show a stream; muted for a volume that is not valid.
pa_volume_t VolumeOfStream(const pa_cvolume& volume);

// The stream's channels scaled so that the loudest one is at `loudest`, keeping the
// balance between them (pa_cvolume_scale). Channels all at zero have no balance left
// to keep: they all take `loudest`.
pa_cvolume ScaledToLevel(pa_cvolume volume, pa_volume_t loudest);

// The stream properties a session is built from.
struct StreamProperties {
    std::string application;         // application.name, else application.process.binary, else empty
    std::optional<DWORD> processId;  // application.process.id when it is a number
    std::string host;                // application.process.host, empty when absent
    bool systemSounds = false;       // media.role is "event": desktop notification sounds
    std::string processIdText;       // application.process.id as the client wrote it
    std::string binary;              // application.process.binary
    std::string name;                // application.name
};

StreamProperties ReadStreamProperties(const pa_proplist* properties);

// Which session of a sink a stream belongs to. As on Windows, a session is one
// process's streams on the endpoint. A process ID alone does not name a process:
// sandboxed applications report IDs from their own PID namespace (often 1 or 2), and
// IDs are reused. So the streams of one session agree on everything the server says
// of their process: host (a remote client's ID does not mix with a local one), process
// ID as the client wrote it ("007" is not "7"), binary and application name. One
// process's several connections (a browser may open one per stream) still agree on all
// of them. Every event-role stream, whatever its process, belongs to the one
// system-sounds session of its sink. A stream without a process ID is a session of its
// own.
struct SessionMembership {
    enum class Kind { Application, SystemSounds, OwnStream };
    uint32_t sink = PA_INVALID_INDEX;
    Kind kind = Kind::OwnStream;
    DWORD processId = 0;        // Application: what GetProcessId answers
    std::string host;           // Application, and the rest of what tells its process apart
    std::string processIdText;  // Application
    std::string binary;         // Application
    std::string name;           // Application
    uint32_t stream = 0;        // OwnStream: the stream's index

    auto operator<=>(const SessionMembership&) const = default;
};

SessionMembership MembershipOf(const StreamProperties& stream, uint32_t sink, uint32_t streamIndex);

// What a session shows of one of its streams.
struct StreamStatus {
    pa_cvolume volume{};
    bool mute = false;
    bool corked = false;
};

// The session as its streams make it: its level is the loudest channel of its
// loudest stream; it is muted when every stream is (one unmuted stream leaves the
// application audible); it is Active while any stream plays, Inactive while all are
// corked, Expired with no stream left (level and mute then mean nothing).
struct SessionStatus {
    pa_volume_t volume = PA_VOLUME_MUTED;
    bool mute = false;
    AudioSessionState state = AudioSessionStateExpired;
};

SessionStatus StatusOfSession(std::span<const StreamStatus* const> streams);

// What a session set to 0 keeps of one stream, to bring its mix back with the next
// level: the stream's channels when it was set to 0, over the session's loudest
// channel then.
struct KeptShape {
    pa_cvolume volume{};
    pa_volume_t loudest = PA_VOLUME_NORM;
};

// One stream of a session as a level command finds it: its volume now, and the shape
// kept for it when the session was set to 0, if any.
struct StreamAtLevel {
    pa_cvolume volume{};
    std::optional<KeptShape> kept;
};

// What a level command writes: each stream's new volume, and what the session keeps
// of each stream from then on (only after 0).
struct SessionLevelChange {
    std::vector<pa_cvolume> volumes;
    std::vector<std::optional<KeptShape>> kept;
};

// The streams' volumes for a session level, as a Windows session volume is a
// multiplier over its streams' own. Every stream is scaled by one factor, so that the
// loudest channel of the loudest stream lands at `level`, keeping each stream's
// balance and the ratio between streams. At 0 that leaves nothing to scale from, so 0
// keeps each stream's shape, and a later level gives each kept stream its shape times
// the level. A kept shape counts only while its stream is silent: a stream another
// client has turned up since counts from its new volume, scaled with the streams
// that have no kept shape (joined while the session was at 0) by their own loudest
// channel. Streams all silent with nothing kept: every channel takes `level`.
SessionLevelChange SessionToLevel(std::span<const StreamAtLevel> streams, pa_volume_t level);

// "pulse:<sink name>|<application>|<process ID>", with an empty field where the
// session lacks it and the process ID as the client wrote it; a session of a stream
// without a process ID adds "|<stream index>". The service makes the text unique
// among its sessions (two sandboxed processes can agree on name and ID).
std::u16string SessionIdentifier(const std::string& sinkName, const StreamProperties& stream, const SessionMembership& membership);

}  // namespace platform::mmdevapi::pulse
