#include "mmdevapi/pulse/pulse_mapping.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/text.h"

namespace platform::mmdevapi::pulse {

pa_volume_t VolumeFromLevel(float level) {
    if (!(level > 0.0f)) return PA_VOLUME_MUTED;
    if (level >= 1.0f) return PA_VOLUME_NORM;
    return static_cast<pa_volume_t>(std::lround(static_cast<double>(level) * PA_VOLUME_NORM));
}

float LevelFromVolume(pa_volume_t volume) { return static_cast<float>(static_cast<double>(volume) / PA_VOLUME_NORM); }

pa_volume_t VolumeOfStream(const pa_cvolume& volume) {
    return pa_cvolume_valid(&volume) ? pa_cvolume_max(&volume) : PA_VOLUME_MUTED;
}

pa_cvolume ScaledToLevel(pa_cvolume volume, pa_volume_t loudest) {
    if (!pa_cvolume_valid(&volume)) pa_cvolume_set(&volume, 1, PA_VOLUME_MUTED);
    pa_cvolume_scale(&volume, loudest);
    return volume;
}

SessionStatus StatusOfSession(std::span<const StreamStatus* const> streams) {
    SessionStatus session;
    if (streams.empty()) return session;
    session.mute = true;
    session.state = AudioSessionStateInactive;
    for (const StreamStatus* stream : streams) {
        session.volume = std::max(session.volume, VolumeOfStream(stream->volume));
        session.mute = session.mute && stream->mute;
        if (!stream->corked) session.state = AudioSessionStateActive;
    }
    return session;
}

std::vector<pa_cvolume> ScaledSessionToLevel(std::span<const pa_cvolume> volumes, pa_volume_t loudest) {
    pa_volume_t from = PA_VOLUME_MUTED;
    for (const pa_cvolume& volume : volumes) from = std::max(from, VolumeOfStream(volume));
    std::vector<pa_cvolume> scaled(volumes.begin(), volumes.end());
    for (pa_cvolume& volume : scaled) {
        if (from == PA_VOLUME_MUTED) {
            volume = ScaledToLevel(volume, loudest);
            continue;
        }
        // pa_cvolume_scale's arithmetic, with the session's loudest channel in place of
        // the stream's own: one stream scales exactly as ScaledToLevel scales it.
        if (!pa_cvolume_valid(&volume)) continue;
        for (unsigned c = 0; c < volume.channels; ++c)
            volume.values[c] = static_cast<pa_volume_t>(
                std::min<uint64_t>(static_cast<uint64_t>(volume.values[c]) * loudest / from, PA_VOLUME_MAX));
    }
    return scaled;
}

namespace {

std::string Property(const pa_proplist* properties, const char* key) {
    const char* value = properties != nullptr ? pa_proplist_gets(properties, key) : nullptr;
    return value != nullptr ? value : "";
}

}  // namespace

StreamProperties ReadStreamProperties(const pa_proplist* properties) {
    StreamProperties stream;
    stream.application = Property(properties, PA_PROP_APPLICATION_NAME);
    if (stream.application.empty()) stream.application = Property(properties, PA_PROP_APPLICATION_PROCESS_BINARY);
    std::string pid = Property(properties, PA_PROP_APPLICATION_PROCESS_ID);
    DWORD value = 0;
    auto [end, error] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
    if (!pid.empty() && error == std::errc() && end == pid.data() + pid.size()) stream.processId = value;
    stream.host = Property(properties, PA_PROP_APPLICATION_PROCESS_HOST);
    stream.systemSounds = Property(properties, PA_PROP_MEDIA_ROLE) == "event";
    return stream;
}

SessionMembership MembershipOf(const StreamProperties& stream, uint32_t sink, uint32_t streamIndex) {
    SessionMembership membership;
    membership.sink = sink;
    if (stream.systemSounds) {
        membership.kind = SessionMembership::Kind::SystemSounds;
    } else if (stream.processId) {
        membership.kind = SessionMembership::Kind::Application;
        membership.processId = *stream.processId;
        membership.host = stream.host;
    } else {
        membership.stream = streamIndex;
    }
    return membership;
}

std::u16string SessionIdentifier(const std::string& sinkName, const StreamProperties& stream, const SessionMembership& membership) {
    // Appended piece by piece: GCC 12 at -O3 misreads chains of string + (a false -Wrestrict).
    std::string text = "pulse:";
    text.append(sinkName).append("|").append(stream.application).append("|");
    if (stream.processId) text.append(std::to_string(*stream.processId));
    if (membership.kind == SessionMembership::Kind::OwnStream) text.append("|").append(std::to_string(membership.stream));
    return base::Utf8ToUtf16(text);
}

}  // namespace platform::mmdevapi::pulse
