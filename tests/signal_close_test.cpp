// SIGTERM, SIGINT and SIGHUP end the program the way its close does: raised while the
// real WinMain waits in its loop, the signal becomes WM_CLOSE, the program quits by
// itself with exit code 0 and gives back every reference it held. (What only a real
// process shows, its exit code and its standard error, is signal_close.sh's part.)
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>

#include "mmdevapi/pulse/pulse_service.h"
#include "provisioned.h"
#include "pulse/pulse_server.h"
#include "user32/user32.h"
#include "window_fixture.h"

namespace {

using platform::mmdevapi::pulse::PulseAudioService;

// What main() does before WinMain, done in the first step: the handler needs the
// window thread's queue, which the driver makes fresh for each run. The signal's
// default action is set first, as a program started from a terminal finds it: a test
// runner may start the tests with SIGINT ignored, and an ignored signal stays ignored.
void RaiseWhileTheLoopWaits(int signal) {
    std::signal(signal, SIG_DFL);
    platform::user32::CloseWindowsOnTerminationSignals();
    ASSERT_EQ(std::raise(signal), 0);
}

// The program gave back what it held: no device, session manager or session left in
// its state record.
void ExpectNothingHeld() {
    EXPECT_EQ(AppState.session, nullptr);
    EXPECT_EQ(AppState.sessionManager, nullptr);
    EXPECT_EQ(AppState.device, nullptr);
}

class SignalCloseTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalCloseTest, TheSignalClosesTheProgramAndEveryReferenceIsGivenBack) {
    Use({PlayerSession()});
    bool bound = false;
    RunResult result = Run({[&](Program&) {
        bound = AppState.session != nullptr;
        RaiseWhileTheLoopWaits(GetParam());
    }});
    EXPECT_TRUE(bound) << "no session was bound as the loop started";
    EXPECT_FALSE(result.stepsExhausted) << "the signal did not close the program; the driver's WM_CLOSE did";
    ExpectNothingHeld();
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalCloseTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : info.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

// The same over a sound server: the program's references into the backend, and the
// backend's sink registration, are given back when a signal closes it.
class PulseSignalCloseTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why = server.Start();
        if (!why.empty()) SKIP_FOR_MISSING(pulsetest::ServerKind()) << "no private server: " << why;
        ASSERT_TRUE(player.Start({"--client-name=player"}));
        service = PulseAudioService::Connect(nullptr, std::chrono::seconds(5));
        ASSERT_NE(service, nullptr) << "the private server did not answer";
        platform::mmdevapi::InstallService(service);
    }

    void TearDown() override {
        player.Stop();
        service.reset();
        platform::test::ResetAudio();
        server.Stop();
    }

    pulsetest::PrivateServer server;
    pulsetest::Pacat player;
    std::shared_ptr<PulseAudioService> service;
};

TEST_F(PulseSignalCloseTest, SigtermClosesTheProgramAndEveryReferenceIsGivenBack) {
    bool bound = false;
    RunResult result = RunWinMain({[&](Program&) {
        bound = AppState.session != nullptr;
        RaiseWhileTheLoopWaits(SIGTERM);
    }});
    ExpectEveryStepRan(result, 1);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(bound) << "no session of the server was bound as the loop started";
    EXPECT_FALSE(result.stepsExhausted) << "the signal did not close the program; the driver's WM_CLOSE did";
    ExpectNothingHeld();
    ExpectReferencesGivenBack(service.get());
}

}  // namespace
