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

std::vector<StreamAtLevel> Now(std::initializer_list<pa_cvolume> volumes) {
    std::vector<StreamAtLevel> streams;
    for (const pa_cvolume& volume : volumes) streams.push_back({volume, std::nullopt});
    return streams;
}

TEST(PulseSessions, OneLevelForAllStreamsKeepsTheirBalanceAndRatio) {
    // A game: music at 80% / 40%, effects at 40%. "0.25": the loudest channel of the
    // loudest stream lands at 25%, everything else keeps its share of it.
    auto quarter = SessionToLevel(Now({Channels({52429, 26214}), Channels({26214, 26214})}), VolumeFromLevel(0.25f)).volumes;
    ASSERT_EQ(quarter.size(), 2u);
    EXPECT_EQ(quarter[0].values[0], PA_VOLUME_NORM / 4);
    EXPECT_EQ(quarter[0].values[1], 8191u);  // 26214 * 16384 / 52429, truncated
    EXPECT_EQ(quarter[1].values[0], 8191u);
    EXPECT_EQ(quarter[1].values[1], 8191u);

    // One stream moves exactly as it does on its own.
    const pa_cvolume one = Channels({39322, 13107});
    auto alone = SessionToLevel(Now({one}), VolumeFromLevel(0.5f)).volumes;
    const pa_cvolume own = ScaledToLevel(one, VolumeFromLevel(0.5f));
    EXPECT_TRUE(pa_cvolume_equal(&alone[0], &own));

    // Silent streams with nothing kept (another client set them to 0): all take the level.
    for (const pa_cvolume& volume : SessionToLevel(Now({Channels({0, 0}), Channels({0})}), VolumeFromLevel(0.5f)).volumes)
        for (unsigned c = 0; c < volume.channels; ++c) EXPECT_EQ(volume.values[c], PA_VOLUME_NORM / 2);
}

TEST(PulseSessions, ZeroKeepsTheMixAndTheNextLevelBringsItBack) {
    // 100%, 40% and 80% / 40%, set to 0: all silent, each shape kept.
    auto zero =
        SessionToLevel(Now({Channels({65536, 65536}), Channels({26214, 26214}), Channels({52429, 26214})}), PA_VOLUME_MUTED);
    std::vector<StreamAtLevel> silent;
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(VolumeOfStream(zero.volumes[k]), PA_VOLUME_MUTED);
        ASSERT_TRUE(zero.kept[k].has_value());
        silent.push_back({zero.volumes[k], zero.kept[k]});
    }
    auto half = SessionToLevel(silent, VolumeFromLevel(0.5f));
    EXPECT_EQ(half.volumes[0].values[0], 32768u);
    EXPECT_EQ(half.volumes[1].values[0], 13107u);
    EXPECT_EQ(half.volumes[2].values[0], 26214u);
    EXPECT_EQ(half.volumes[2].values[1], 13107u);
    EXPECT_FALSE(half.kept[0].has_value());  // a level other than 0 keeps nothing

    // 0 again while at 0 keeps the same shapes.
    auto again = SessionToLevel(silent, PA_VOLUME_MUTED);
    EXPECT_TRUE(pa_cvolume_equal(&again.kept[2]->volume, &silent[2].kept->volume));

    // Another client turned the second stream up to 60% meanwhile: it counts from
    // there, as the loudest of the streams with no kept shape; the others come back.
    silent[1].volume = Channels({39322, 39322});
    auto quarter = SessionToLevel(silent, VolumeFromLevel(0.25f));
    EXPECT_EQ(quarter.volumes[0].values[0], 16384u);
    EXPECT_EQ(quarter.volumes[1].values[0], 16384u);
    EXPECT_EQ(quarter.volumes[2].values[1], 6553u);

    // The loudest stream ended while at 0: the loudest of the rest lands at the level.
    std::vector<StreamAtLevel> rest = {silent[2]};
    EXPECT_EQ(VolumeOfStream(SessionToLevel(rest, VolumeFromLevel(0.5f)).volumes[0]), 32768u);

    // A stream that joined while at 0 at the server's 100% counts from there.
    std::vector<StreamAtLevel> joined = {silent[0], {Channels({65536, 65536}), std::nullopt}};
    auto joinedHalf = SessionToLevel(joined, VolumeFromLevel(0.5f)).volumes;
    EXPECT_EQ(joinedHalf[0].values[0], 32768u);
    EXPECT_EQ(joinedHalf[1].values[0], 32768u);
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

StreamProperties Process(const char* name, const char* pid, const char* host, const char* binary = "player") {
    StreamProperties stream;
    stream.name = stream.application = name;
    stream.processIdText = pid;
    if (*pid != '\0') stream.processId = static_cast<DWORD>(std::stoul(pid));
    stream.host = host;
    stream.binary = binary;
    return stream;
}

TEST(PulseSessions, AProcessOnASinkIsOneSessionAndEveryEventStreamIsTheSystemSounds) {
    StreamProperties player = Process("Player", "4242", "desk");
    const auto first = MembershipOf(player, 1, 10);
    EXPECT_EQ(first, MembershipOf(player, 1, 11));                               // its second stream
    EXPECT_NE(first, MembershipOf(player, 2, 11));                               // the same process on another sink
    EXPECT_NE(first, MembershipOf(Process("Player", "4242", "laptop"), 1, 12));  // another machine's process 4242

    StreamProperties chime = Process("Player", "4242", "desk"), otherChime = Process("Mail", "77", "desk");
    chime.systemSounds = otherChime.systemSounds = true;
    EXPECT_EQ(MembershipOf(chime, 1, 13).kind, SessionMembership::Kind::SystemSounds);
    EXPECT_EQ(MembershipOf(chime, 1, 13), MembershipOf(otherChime, 1, 14));
    EXPECT_NE(MembershipOf(chime, 1, 13), first);  // the player's own event sounds are not the player

    StreamProperties module = Process("Loopback", "", "");
    EXPECT_NE(MembershipOf(module, 1, 15), MembershipOf(module, 1, 16));  // no process: a session each
}

TEST(PulseSessions, AProcessIsEverythingTheServerSaysOfItNotItsIdAlone) {
    // Sandboxed players each report process 1 from their own PID namespace.
    const auto firefox = MembershipOf(Process("FlatFirefox", "1", "desk", "firefox"), 1, 10);
    EXPECT_NE(firefox, MembershipOf(Process("FlatSpotify", "1", "desk", "firefox"), 1, 11));
    EXPECT_NE(firefox, MembershipOf(Process("FlatFirefox", "1", "desk", "spotify"), 1, 11));
    EXPECT_EQ(firefox, MembershipOf(Process("FlatFirefox", "1", "desk", "firefox"), 1, 12));  // its next connection
    // The ID as the client wrote it: "007" is not process 7, though both answer 7.
    const auto padded = MembershipOf(Process("Player", "007", "desk"), 1, 13);
    EXPECT_NE(padded, MembershipOf(Process("Player", "7", "desk"), 1, 14));
    EXPECT_EQ(padded.processId, 7u);
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
    StreamProperties stream = Process("Music", "4242", "desk");
    EXPECT_EQ(SessionIdentifier("alsa_output.pci", stream, MembershipOf(stream, 1, 17)), u"pulse:alsa_output.pci|Music|4242");
    stream = Process("Music", "007", "desk");
    EXPECT_EQ(SessionIdentifier("null", stream, MembershipOf(stream, 1, 17)), u"pulse:null|Music|007");
    stream = Process("", "", "");
    EXPECT_EQ(SessionIdentifier("null", stream, MembershipOf(stream, 1, 3)), u"pulse:null|||3");
}

}  // namespace
