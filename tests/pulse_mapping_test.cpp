// How sink inputs read as sessions: membership, level, mute, state, properties and
// identifier. No server needed.
#include <gtest/gtest.h>

#include "mmdevapi/pulse/pulse_mapping.h"

namespace {

using namespace platform::mmdevapi::pulse;

TEST(PulseLevels, TheProgramsLevelsMapToExactVolumesAndBack) {
    // 0.25 must be what pactl prints as 25%: a quarter of PA_VOLUME_NORM.
    const struct {
        float level;
        pa_volume_t volume;
    } exact[] = {{0.0f, PA_VOLUME_MUTED}, {0.25f, PA_VOLUME_NORM / 4}, {0.5f, PA_VOLUME_NORM / 2}, {1.0f, PA_VOLUME_NORM}};
    for (auto [level, volume] : exact) {
        SCOPED_TRACE(level);
        EXPECT_EQ(VolumeFromLevel(level), volume);
        EXPECT_EQ(LevelFromVolume(volume), level);
    }
}

TEST(PulseLevels, OtherLevelsRoundToTheNearestStepAndStayInRange) {
    EXPECT_EQ(VolumeFromLevel(0.3f), 19661u);  // 0.3 * 65536 = 19660.8
    EXPECT_NEAR(LevelFromVolume(19661), 0.3f, 1.0f / PA_VOLUME_NORM);
    EXPECT_EQ(VolumeFromLevel(-0.5f), PA_VOLUME_MUTED);
    EXPECT_EQ(VolumeFromLevel(1.5f), PA_VOLUME_NORM);
    // Another client may raise a stream above 100%; the session reads what it is.
    EXPECT_EQ(LevelFromVolume(PA_VOLUME_NORM * 3 / 2), 1.5f);
}

pa_cvolume Channels(std::initializer_list<pa_volume_t> values) {
    pa_cvolume volume;
    pa_cvolume_init(&volume);
    for (pa_volume_t value : values) volume.values[volume.channels++] = value;
    return volume;
}

TEST(PulseLevels, AStreamsLevelIsItsLoudestChannelAndSettingItKeepsTheBalance) {
    // pactl's 60% / 20%: the mixers show 60%.
    const pa_cvolume balanced = Channels({39322, 13107});
    EXPECT_EQ(VolumeOfStream(balanced), 39322u);

    // "0.50": the loudest channel at exactly 50%, the other at a third of it (17%).
    pa_cvolume half = ScaledToLevel(balanced, VolumeFromLevel(0.5f));
    ASSERT_EQ(half.channels, 2);
    EXPECT_EQ(half.values[0], PA_VOLUME_NORM / 2);
    EXPECT_EQ(half.values[1], 10922u);  // 13107 * 32768 / 39322, truncated
    EXPECT_EQ(VolumeOfStream(half), PA_VOLUME_NORM / 2);

    // Silent on every channel: no balance to keep, every channel takes the level.
    pa_cvolume fromSilence = ScaledToLevel(Channels({0, 0}), VolumeFromLevel(0.25f));
    EXPECT_EQ(fromSilence.channels, 2);
    EXPECT_EQ(fromSilence.values[0], PA_VOLUME_NORM / 4);
    EXPECT_EQ(fromSilence.values[1], PA_VOLUME_NORM / 4);

    // 1.00 after 150%: the loudest channel back at 100%.
    EXPECT_EQ(VolumeOfStream(ScaledToLevel(Channels({PA_VOLUME_NORM * 3 / 2, PA_VOLUME_NORM}), VolumeFromLevel(1.0f))),
              PA_VOLUME_NORM);

    pa_cvolume none = Channels({});  // no valid volume at all
    EXPECT_EQ(VolumeOfStream(none), PA_VOLUME_MUTED);
}

TEST(PulseSessions, OneLevelForAllStreamsKeepsTheirBalanceAndRatio) {
    // A game: music at 80% / 40%, effects at 40%. "0.25": the loudest channel of the
    // loudest stream lands at 25%, everything else keeps its share of it.
    const pa_cvolume streams[] = {Channels({52429, 26214}), Channels({26214, 26214})};
    auto quarter = ScaledSessionToLevel(streams, VolumeFromLevel(0.25f));
    ASSERT_EQ(quarter.size(), 2u);
    EXPECT_EQ(quarter[0].values[0], PA_VOLUME_NORM / 4);
    EXPECT_EQ(quarter[0].values[1], 8191u);  // 26214 * 16384 / 52429, truncated
    EXPECT_EQ(quarter[1].values[0], 8191u);
    EXPECT_EQ(quarter[1].values[1], 8191u);

    // One stream moves exactly as it does on its own.
    const pa_cvolume one[] = {Channels({39322, 13107})};
    auto alone = ScaledSessionToLevel(one, VolumeFromLevel(0.5f));
    const pa_cvolume own = ScaledToLevel(one[0], VolumeFromLevel(0.5f));
    EXPECT_TRUE(pa_cvolume_equal(&alone[0], &own));

    // After "0": every stream silent, no ratio left; all take the level.
    const pa_cvolume silent[] = {Channels({0, 0}), Channels({0})};
    for (const pa_cvolume& volume : ScaledSessionToLevel(silent, VolumeFromLevel(0.5f)))
        for (unsigned c = 0; c < volume.channels; ++c) EXPECT_EQ(volume.values[c], PA_VOLUME_NORM / 2);
}

TEST(PulseSessions, LevelIsTheLoudestStreamMuteNeedsEveryStreamAndOnePlayingStreamIsActive) {
    StreamStatus quiet{Channels({16384, 8192}), true, true}, loud{Channels({49152, 49152}), false, true};
    const StreamStatus* both[] = {&quiet, &loud};
    SessionStatus session = StatusOfSession(both);
    EXPECT_EQ(session.volume, 49152u);
    EXPECT_FALSE(session.mute);  // the loud stream is still audible
    EXPECT_EQ(session.state, AudioSessionStateInactive);

    loud.mute = true;
    loud.corked = false;
    session = StatusOfSession(both);
    EXPECT_TRUE(session.mute);
    EXPECT_EQ(session.state, AudioSessionStateActive);

    EXPECT_EQ(StatusOfSession({}).state, AudioSessionStateExpired);
}

TEST(PulseSessions, AProcessOnASinkIsOneSessionAndEveryEventStreamIsTheSystemSounds) {
    StreamProperties player{"Player", 4242u, "desk", false};
    const auto first = MembershipOf(player, 1, 10);
    EXPECT_EQ(first, MembershipOf(player, 1, 11));  // its second stream
    EXPECT_NE(first, MembershipOf(player, 2, 11));  // the same process on another sink
    StreamProperties remote = player;
    remote.host = "laptop";
    EXPECT_NE(first, MembershipOf(remote, 1, 12));  // another machine's process 4242

    StreamProperties chime{"Player", 4242u, "desk", true}, otherChime{"Mail", 77u, "desk", true};
    EXPECT_EQ(MembershipOf(chime, 1, 13).kind, SessionMembership::Kind::SystemSounds);
    EXPECT_EQ(MembershipOf(chime, 1, 13), MembershipOf(otherChime, 1, 14));
    EXPECT_NE(MembershipOf(chime, 1, 13), first);  // the player's own event sounds are not the player

    StreamProperties module{"Loopback", std::nullopt, "", false};
    EXPECT_NE(MembershipOf(module, 1, 15), MembershipOf(module, 1, 16));  // no process: a session each
}

struct Properties {
    pa_proplist* list = pa_proplist_new();
    ~Properties() { pa_proplist_free(list); }
    Properties& Set(const char* key, const char* value) {
        pa_proplist_sets(list, key, value);
        return *this;
    }
};

TEST(PulseStreamProperties, ApplicationNameFirstThenBinary) {
    Properties both;
    both.Set(PA_PROP_APPLICATION_NAME, "Music").Set(PA_PROP_APPLICATION_PROCESS_BINARY, "player");
    EXPECT_EQ(ReadStreamProperties(both.list).application, "Music");
    Properties binaryOnly;
    binaryOnly.Set(PA_PROP_APPLICATION_PROCESS_BINARY, "player");
    EXPECT_EQ(ReadStreamProperties(binaryOnly.list).application, "player");
    Properties none;
    EXPECT_EQ(ReadStreamProperties(none.list).application, "");
}

TEST(PulseStreamProperties, ProcessIdOnlyWhenTheWholePropertyIsANumber) {
    const struct {
        const char* text;
        std::optional<DWORD> expected;
    } cases[] = {{"4242", 4242u}, {"", std::nullopt}, {"12x", std::nullopt}, {"-1", std::nullopt}, {"99999999999", std::nullopt}};
    for (auto [text, expected] : cases) {
        SCOPED_TRACE(text);
        Properties properties;
        properties.Set(PA_PROP_APPLICATION_PROCESS_ID, text);
        EXPECT_EQ(ReadStreamProperties(properties.list).processId, expected);
    }
    Properties missing;
    EXPECT_EQ(ReadStreamProperties(missing.list).processId, std::nullopt);
}

TEST(PulseStreamProperties, OnlyTheEventRoleIsSystemSounds) {
    for (const char* role : {"event", "music", "video", "phone", ""}) {
        SCOPED_TRACE(role);
        Properties properties;
        properties.Set(PA_PROP_MEDIA_ROLE, role);
        EXPECT_EQ(ReadStreamProperties(properties.list).systemSounds, std::string(role) == "event");
    }
    Properties noRole;
    EXPECT_FALSE(ReadStreamProperties(noRole.list).systemSounds);
}

TEST(PulseIdentifier, SinkApplicationAndProcessWithTheStreamOnlyWhereThereIsNoProcess) {
    StreamProperties stream;
    stream.application = "Music";
    stream.processId = 4242;
    EXPECT_EQ(SessionIdentifier("alsa_output.pci", stream, MembershipOf(stream, 1, 17)), u"pulse:alsa_output.pci|Music|4242");
    stream.processId.reset();
    stream.application.clear();
    EXPECT_EQ(SessionIdentifier("null", stream, MembershipOf(stream, 1, 3)), u"pulse:null|||3");
}

}  // namespace
