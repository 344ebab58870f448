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

namespace {

// pa_cvolume_scale's arithmetic, with `from` in place of the stream's own loudest
// channel: a stream scaled by its session's factor.
pa_cvolume ScaledBy(pa_cvolume volume, pa_volume_t to, pa_volume_t from) {
    if (!pa_cvolume_valid(&volume) || from == PA_VOLUME_MUTED) return volume;
    for (unsigned c = 0; c < volume.channels; ++c)
        volume.values[c] =
            static_cast<pa_volume_t>(std::min<uint64_t>(static_cast<uint64_t>(volume.values[c]) * to / from, PA_VOLUME_MAX));
    return volume;
}

}  // namespace

SessionLevelChange SessionToLevel(std::span<const StreamAtLevel> streams, pa_volume_t level) {
    auto keptOf = [](const StreamAtLevel& stream) -> const KeptShape* {
        return stream.kept && VolumeOfStream(stream.volume) == PA_VOLUME_MUTED ? &*stream.kept : nullptr;
    };
    pa_volume_t from = PA_VOLUME_MUTED;  // the loudest channel of the streams without a kept shape
    bool anyKept = false;
    for (const StreamAtLevel& stream : streams) {
        if (keptOf(stream) != nullptr)
            anyKept = true;
        else
            from = std::max(from, VolumeOfStream(stream.volume));
    }
    SessionLevelChange change;
    for (const StreamAtLevel& stream : streams) {
        const KeptShape* kept = keptOf(stream);
        if (kept != nullptr)
            change.volumes.push_back(ScaledBy(kept->volume, level, kept->loudest));
        else if (from != PA_VOLUME_MUTED)
            change.volumes.push_back(ScaledBy(stream.volume, level, from));
        else if (!anyKept)
            change.volumes.push_back(ScaledToLevel(stream.volume, level));
        else
            change.volumes.push_back(stream.volume);  // silent beside a kept mix: stays silent

        std::optional<KeptShape> keep;
        if (level == PA_VOLUME_MUTED && kept != nullptr)
            keep = *kept;
        else if (level == PA_VOLUME_MUTED && from != PA_VOLUME_MUTED && pa_cvolume_valid(&stream.volume))
            keep = KeptShape{stream.volume, from};
        change.kept.push_back(keep);
    }
    // The loudest stream when the session went to 0 may have ended since: the loudest
    // of the rest then lands at the level, the others keep their share of it.
    pa_volume_t loudest = PA_VOLUME_MUTED;
    for (const pa_cvolume& volume : change.volumes) loudest = std::max(loudest, VolumeOfStream(volume));
    if (loudest != PA_VOLUME_MUTED && loudest != level)
        for (pa_cvolume& volume : change.volumes) volume = ScaledBy(volume, level, loudest);
    return change;
}

namespace {

std::string Property(const pa_proplist* properties, const char* key) {
    const char* value = properties != nullptr ? pa_proplist_gets(properties, key) : nullptr;
    return value != nullptr ? value : "";
}

}  // namespace

StreamProperties ReadStreamProperties(const pa_proplist* properties) {
    StreamProperties stream;
    stream.name = Property(properties, PA_PROP_APPLICATION_NAME);
    stream.binary = Property(properties, PA_PROP_APPLICATION_PROCESS_BINARY);
    stream.application = stream.name.empty() ? stream.binary : stream.name;
    stream.processIdText = Property(properties, PA_PROP_APPLICATION_PROCESS_ID);
    const std::string& pid = stream.processIdText;
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
        membership.processIdText = stream.processIdText;
        membership.binary = stream.binary;
        membership.name = stream.name;
    } else {
        membership.stream = streamIndex;
    }
    return membership;
}

std::u16string SessionIdentifier(const std::string& sinkName, const StreamProperties& stream, const SessionMembership& membership) {
    // Appended piece by piece: GCC 12 at -O3 misreads chains of string + (a false -Wrestrict).
    std::string text = "pulse:";
    text.append(sinkName).append("|").append(stream.application).append("|");
    if (stream.processId) text.append(stream.processIdText);
    if (membership.kind == SessionMembership::Kind::OwnStream) text.append("|").append(std::to_string(membership.stream));
    return base::Utf8ToUtf16(text);
}

}  // namespace platform::mmdevapi::pulse
