#include "mmdevapi/pulse/pulse_mapping.h"

#include <charconv>
#include <cmath>
#include <cstring>

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

float LevelOfStream(const pa_cvolume& volume) { return LevelFromVolume(VolumeOfStream(volume)); }

AudioSessionState StateOfStream(bool corked) { return corked ? AudioSessionStateInactive : AudioSessionStateActive; }

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
    stream.systemSounds = Property(properties, PA_PROP_MEDIA_ROLE) == "event";
    return stream;
}

std::u16string SessionIdentifier(const std::string& sinkName, const StreamProperties& stream, uint32_t streamIndex) {
    // Appended piece by piece: GCC 12 at -O3 misreads chains of string + (a false -Wrestrict).
    std::string text = "pulse:";
    text.append(sinkName).append("|").append(stream.application).append("|");
    if (stream.processId) text.append(std::to_string(*stream.processId));
    text.append("|").append(std::to_string(streamIndex));
    return Utf16FromUtf8(text);
}

std::u16string Utf16FromUtf8(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char lead = bytes[i];
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t code = 0;
        bool valid = length != 0 && i + length <= n;
        if (valid) {
            code = length == 1 ? lead : lead & (0x7F >> length);
            for (size_t k = 1; k < length; ++k) {
                if ((bytes[i + k] & 0xC0) != 0x80) {
                    valid = false;
                    break;
                }
                code = (code << 6) | (bytes[i + k] & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && (code < smallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)) valid = false;
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

}  // namespace platform::mmdevapi::pulse
