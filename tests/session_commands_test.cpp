// The buttons' commands: what reaches the audio service, and when the program's own
// copy of the status follows.
#include "app/command_buttons.h"
#include "audio/session_commands.h"
#include "audio_fixture.h"

namespace {

using platform::test::SetCall;

bool IsZeroContext(const GUID& context) { return IsEqualGUID(context, GUID_NULL); }

class CommandsTest : public AudioTest {
protected:
    void Bind(platform::test::ScriptedSession session = AppSession(u"app")) {
        Use({session});
        BindAudioSession();
        ASSERT_NE(AppState.session, nullptr);
    }
};

TEST_F(CommandsTest, WithoutASessionNothingReachesThePlatform) {
    Use({AppSession(u"app")});
    // Not bound: no session to command.
    for (WORD id : {SwapMuteCommand, Volume0Command, Volume25Command, Volume50Command, Volume100Command}) OnCommand(id);
    SetSessionVolume(0.5f);
    SetSessionMute(TRUE);
    EXPECT_TRUE(service->SetCalls().empty());
    EXPECT_EQ(platform::test::LiveAudioObjects(), 0u);
}

TEST_F(CommandsTest, VolumeChangesOnlyWhenTheServiceReportsIt) {
    Bind();
    SetSessionVolume(0.25f);
    auto calls = service->SetCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, SetCall::Volume);
    EXPECT_EQ(calls[0].volume, 0.25f);
    EXPECT_TRUE(IsZeroContext(calls[0].eventContext));
    EXPECT_TRUE(IsZeroContext(EventContextGuid));

    service->Flush();
    EXPECT_EQ(AppState.sink.volume.load(), 0.25f);
}

TEST_F(CommandsTest, ButtonsMapToTheirLevels) {
    Bind();
    const std::pair<WORD, float> buttons[] = {
        {Volume0Command, 0.0f}, {Volume25Command, 0.25f}, {Volume50Command, 0.5f}, {Volume100Command, 1.0f}};
    for (auto [id, level] : buttons) {
        SCOPED_TRACE(id);
        // The notification code in the high word does not matter.
        OnCommand(MAKEWPARAM(id, BN_CLICKED + 7));
        auto calls = service->SetCalls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().kind, SetCall::Volume);
        EXPECT_EQ(calls.back().volume, level);
    }
    service->Flush();
    EXPECT_EQ(AppState.sink.volume.load(), 1.0f);
}

TEST_F(CommandsTest, TheCurrentVolumeIsStillSent) {
    Bind();  // the session is at 1.0
    OnCommand(Volume100Command);
    ASSERT_EQ(service->SetCalls().size(), 1u);
    EXPECT_EQ(service->SetCalls()[0].volume, 1.0f);
}

TEST_F(CommandsTest, SwapMuteDecidesFromTheLastKnownMute) {
    Bind();
    service->HoldNotifications(true);
    OnCommand(SwapMuteCommand);
    OnCommand(SwapMuteCommand);  // before the notification came back: the same value again
    service->HoldNotifications(false);
    auto calls = service->SetCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, SetCall::Mute);
    EXPECT_EQ(calls[0].mute, TRUE);
    EXPECT_EQ(calls[1].mute, TRUE);

    service->Flush();
    EXPECT_EQ(AppState.sink.mute.load(), 1);
    OnCommand(SwapMuteCommand);
    EXPECT_EQ(service->SetCalls().back().mute, FALSE);

    // Any non-zero mute the service reported counts as muted.
    service->SendVolumeNotification(0, 1.0f, 5);
    service->Flush();
    OnCommand(SwapMuteCommand);
    EXPECT_EQ(service->SetCalls().back().mute, FALSE);
}

TEST_F(CommandsTest, UnknownIdentifiersDoNothing) {
    Bind();
    for (WORD id : {0, 99, 101, 105, 109, 114, 0xFFFF}) OnCommand(id);
    EXPECT_TRUE(service->SetCalls().empty());
}

TEST_F(CommandsTest, ASessionWithoutSimpleVolumeIgnoresCommands) {
    platform::test::ScriptedSession session = AppSession(u"app");
    session.hasSimpleVolume = false;
    Bind(session);
    OnCommand(Volume25Command);
    OnCommand(SwapMuteCommand);
    EXPECT_TRUE(service->SetCalls().empty());
}

}  // namespace
