// The whole program against a real sound server: a private PulseAudio daemon with an
// event stream and an application stream. The program binds the application stream,
// its buttons change it as pactl sees it, and what pactl or the stream itself does
// shows up in the value row.
#include <cmath>
#include <string>
#include <thread>

#include "app/command_buttons.h"
#include "mmdevapi/pulse/pulse_service.h"
#include "provisioned.h"
#include "pulse/pulse_server.h"
#include "window_fixture.h"

namespace {

using platform::mmdevapi::pulse::PulseAudioService;
using pulsetest::CorkablePlayer;
using pulsetest::Pacat;
using pulsetest::WaitUntil;

class PulseWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why = server.Start();
        if (!why.empty()) SKIP_FOR_MISSING(pulsetest::ServerKind()) << "no private server: " << why;
        if (CorkablePlayer::Path() == nullptr) GTEST_SKIP() << "corkable-player not built (tests/pulse/CMakeLists.txt)";
        ASSERT_TRUE(chime.Start({"--client-name=chime", "--property=media.role=event"}));
        ASSERT_TRUE(player.Start("player"));
        ASSERT_LT(chime.Index(), player.Index());
        service = PulseAudioService::Connect(nullptr, std::chrono::seconds(5));
        ASSERT_NE(service, nullptr) << "the private daemon did not answer";
        platform::mmdevapi::InstallService(service);
    }

    void TearDown() override {
        server.Thaw();  // the players end through the server
        player.Stop();
        chime.Stop();
        service.reset();
        platform::test::ResetAudio();
        server.Stop();
    }

    // Runs the program through every step; the last must close it, and it must quit
    // by itself with exit code 0 and give every reference back.
    void Run(std::vector<Step> steps) {
        const size_t count = steps.size();
        RunResult result = RunWinMain(std::move(steps));
        ExpectEveryStepRan(result, count);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_FALSE(result.stepsExhausted);
        ExpectReferencesGivenBack(service.get());
    }

    static std::vector<std::string> RowTexts(Program& program) { return Matching(DrawingLines(program.TakeTrace()), "DrawTextA"); }

    static void Pactl(const std::string& arguments) { EXPECT_TRUE(pulsetest::Pactl(arguments)) << "pactl " << arguments; }

    pulsetest::PrivateServer server;
    Pacat chime;
    CorkablePlayer player;
    std::shared_ptr<PulseAudioService> service;
};

TEST_F(PulseWindowTest, ButtonsAndOtherClientsMeetInTheValueRow) {
    const std::string index = std::to_string(player.Index());
    Run({
        [&](Program& program) {
            const std::string expected = "pulse:sessionvol_null|player|" + std::to_string(player.Pid());
            EXPECT_EQ(std::u16string(AppState.sink.sessionId), std::u16string(expected.begin(), expected.end()));
            EXPECT_EQ(AppState.sink.processId, static_cast<DWORD>(player.Pid()));
            program.TakeTrace();
            program.Click(program.Control(Volume25Command));
        },
        [&](Program& program) {
            ASSERT_TRUE(WaitUntil([&] {
                auto input = pulsetest::SinkInputByIndex(player.Index());
                return input && !input->percents.empty() && input->percents[0] == 25;
            })) << "pactl never showed 25%";
            auto chimeInput = pulsetest::SinkInputByIndex(chime.Index());
            ASSERT_TRUE(chimeInput.has_value());
            EXPECT_EQ(chimeInput->percents[0], 100) << "the event stream was touched";
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.25f; })) << "no notification came back";
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            EXPECT_EQ(RowTexts(program)[0], "DrawTextA 'Volume: 0.250' (10,125,310,155) 0x25");
            Pactl("set-sink-input-volume " + index + " 50%");
            Pactl("set-sink-input-mute " + index + " 1");
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f && AppState.sink.mute.load() == 1; }));
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            auto texts = RowTexts(program);
            ASSERT_EQ(texts.size(), 4u);
            EXPECT_EQ(texts[0], "DrawTextA 'Volume: 0.500' (10,125,310,155) 0x25");
            EXPECT_EQ(texts[1], "DrawTextA 'Mute: 1' (320,125,470,155) 0x25");
            program.Click(program.Control(SwapMuteCommand));  // Swap Mute: unmutes
        },
        [&](Program& program) {
            ASSERT_TRUE(WaitUntil([&] {
                auto input = pulsetest::SinkInputByIndex(player.Index());
                return input && !input->mute;
            })) << "pactl never showed the stream unmuted";
            ASSERT_TRUE(player.Cork(true));
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateInactive; }));
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            auto texts = RowTexts(program);
            ASSERT_EQ(texts.size(), 4u);
            EXPECT_EQ(texts[2], "DrawTextA 'Inactive' (480,125,630,155) 0x25");
            player.Stop();
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.state.load() == AudioSessionStateExpired; }));
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            auto texts = RowTexts(program);
            ASSERT_EQ(texts.size(), 4u);
            EXPECT_EQ(texts[2], "DrawTextA 'Expired' (480,125,630,155) 0x25");
            program.Close();
        },
    });
}

TEST_F(PulseWindowTest, LoudStreamsShowAsTheyAreAndTheButtonsKeepTheBalance) {
    const std::string index = std::to_string(player.Index());
    Run({
        [&](Program& program) {
            Pactl("set-sink-input-volume " + index + " 150%");
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 1.5f; }));
            program.TakeTrace();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            EXPECT_EQ(RowTexts(program)[0], "DrawTextA 'Volume: 1.500' (10,125,310,155) 0x25");
            Pactl("set-sink-input-volume " + index + " 60% 20%");
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() < 1.0f; }));
            program.Click(program.Control(Volume50Command));  // "0.50"
        },
        [&](Program& program) {
            ASSERT_TRUE(WaitUntil([&] {
                auto input = pulsetest::SinkInputByIndex(player.Index());
                return input && input->percents == std::vector<int>{50, 17};
            })) << "pactl never showed 50% / 17%";
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f; }));
            program.TakeTrace();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            EXPECT_EQ(RowTexts(program)[0], "DrawTextA 'Volume: 0.500' (10,125,310,155) 0x25");
            program.Close();
        },
    });
}

TEST_F(PulseWindowTest, TheProgramOutlivesItsSoundServer) {
    Run({
        [&](Program& program) {
            ASSERT_NE(AppState.session, nullptr);
            server.Kill();
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.sessionGone.load() == 1; })) << "no disconnection reported";
            // Still running: the buttons do nothing harmful, the timer goes on.
            program.Click(program.Control(Volume25Command));
            program.Click(program.Control(SwapMuteCommand));
            program.AdvanceTime(300);
        },
        [](Program& program) {
            EXPECT_NE(program.MainWindow(), nullptr);
            program.Close();
        },
    });
}

// A loaded desktop can stall its sound server for a second or two. A click made then
// waits a bounded time and fails, but the connection stays: once the server answers
// again the row follows it and the buttons work. Closing with the server stopped ends
// the program at once. The bounds checked here are far above the wait, so that they
// say "returned", not "fast".
TEST_F(PulseWindowTest, AStalledServerHoldsNeitherAClickNorTheCloseAndIsFollowedOnceItAnswers) {
    using Clock = std::chrono::steady_clock;
    const auto generous = std::chrono::seconds(5);
    const std::string index = std::to_string(player.Index());
    Clock::time_point clicked, closed;
    Run({
        [&](Program& program) {
            ASSERT_NE(AppState.session, nullptr);
            server.Freeze();
            clicked = Clock::now();
            program.Click(program.Control(Volume25Command));  // "0.25"
        },
        [&](Program& program) {
            EXPECT_LT(Clock::now() - clicked, generous) << "the click waited for the stopped server";
            std::this_thread::sleep_for(std::chrono::seconds(1));
            server.Thaw();
            // The server applies the click it was sent during the stop, and reports it;
            // then another client's change shows, and a new click works.
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.25f; })) << "the row no longer follows the server";
            Pactl("set-sink-input-volume " + index + " 37%");
            ASSERT_TRUE(WaitUntil([] { return std::abs(AppState.sink.volume.load() - 0.37f) < 1e-4f; }))
                << "another client's change did not show";
            program.Click(program.Control(Volume50Command));  // "0.50"
        },
        [&](Program& program) {
            ASSERT_TRUE(WaitUntil([&] {
                auto input = pulsetest::SinkInputByIndex(player.Index());
                return input && input->percents == std::vector<int>{50, 50};
            })) << "a click after the stall did nothing";
            ASSERT_TRUE(WaitUntil([] { return AppState.sink.volume.load() == 0.5f; }));
            program.TakeTrace();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            EXPECT_EQ(RowTexts(program)[0], "DrawTextA 'Volume: 0.500' (10,125,310,155) 0x25");
            server.Freeze();
            closed = Clock::now();
            program.Close();
        },
    });
    // The program's end includes letting go of the service.
    service.reset();
    platform::test::ResetAudio();
    EXPECT_LT(Clock::now() - closed, generous) << "closing waited for the stopped server";
}

}  // namespace
