// How a PulseAudio sink input appears as a Core Audio session: its level, state,
// identifier, process ID and whether it is the system-sounds session. Pure functions
// over the stream's properties, shared by the service and its tests.
#pragma once

#include <audiopolicy.h>
#include <pulse/proplist.h>
#include <pulse/volume.h>

#include <optional>
#include <string>

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
// The level of that volume.
float LevelOfStream(const pa_cvolume& volume);

// The stream's channels scaled so that the loudest one is at `loudest`, keeping the
// balance between them (pa_cvolume_scale). Channels all at zero have no balance left
// to keep: they all take `loudest`.
pa_cvolume ScaledToLevel(pa_cvolume volume, pa_volume_t loudest);

// Corked (paused by its application) is Inactive; otherwise the stream plays.
AudioSessionState StateOfStream(bool corked);

// The stream properties a session is built from.
struct StreamProperties {
    std::string application;         // application.name, else application.process.binary, else empty
    std::optional<DWORD> processId;  // application.process.id when it is a number
    bool systemSounds = false;       // media.role is "event": desktop notification sounds
};

StreamProperties ReadStreamProperties(const pa_proplist* properties);

// "pulse:<sink name>|<application>|<process ID>|<stream index>", with an empty field
// where the stream lacks the property. Stable for the stream's lifetime, unique per
// stream, and the same text for the same properties across runs.
std::u16string SessionIdentifier(const std::string& sinkName, const StreamProperties& stream, uint32_t streamIndex);

// UTF-8 (what libpulse hands out) to UTF-16 (what Core Audio hands out); invalid
// bytes become U+FFFD.
std::u16string Utf16FromUtf8(const std::string& text);

}  // namespace platform::mmdevapi::pulse
