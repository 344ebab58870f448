// Running the real WinMain end to end on the offscreen window system, with a
// simulated audio service, and reading back what it drew.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "audio_fixture.h"
#include "testing/audio_test.h"
#include "testing/window_test.h"

using platform::test::Program;
using platform::test::RunResult;
using platform::test::RunWinMain;
using platform::test::SimScenario;
using platform::test::SimSession;
using platform::test::Step;

// The client area of the 800 x 400 main window.
inline constexpr int ClientWidth = 784;
inline constexpr int ClientHeight = 361;

// The reference image: the window with PlayerSession's values after another client set
// the volume to 0.25. VolumeBox is where the volume shows.
inline const std::string GoldenImage = std::string(SESSIONVOL_TEST_DIR) + "/golden/main_window.png";
inline constexpr RECT VolumeBox{10, 125, 310, 155};

// The offscreen display at a desktop's scale while this lives (PLATFORM_VIDEO_SCALE,
// read when the backend opens: each RunWinMain opens it anew).
class OffscreenScale {
public:
    explicit OffscreenScale(const char* scale) { setenv("PLATFORM_VIDEO_SCALE", scale, 1); }
    ~OffscreenScale() { unsetenv("PLATFORM_VIDEO_SCALE"); }
    OffscreenScale(const OffscreenScale&) = delete;
    OffscreenScale& operator=(const OffscreenScale&) = delete;
};

inline SimSession PlayerSession(std::u16string identifier = u"{0.0.0.00000000}.{render}|C:\\Apps\\player.exe%b{1}",
                                DWORD processId = 4242) {
    SimSession session;
    session.identifier = std::move(identifier);
    session.processId = processId;
    return session;
}

// The drawing calls of a trace, one short line each: the calls that decide what is
// on screen, with stock objects named.
std::vector<std::string> DrawingLines(const std::vector<platform::test::GdiCall>& trace);

// Lines that start with `prefix`.
std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& prefix);

// A program that ends before its last step (its window was never made, or it quit
// early) skips the checks the remaining steps hold; one that had to be made to quit
// did not close when asked.
inline void ExpectEveryStepRan(const RunResult& result, size_t steps) {
    EXPECT_EQ(result.stepsRun, steps) << "the program ended before its last step";
    EXPECT_FALSE(result.forcedQuit) << "the program did not quit when closed; the driver ended its loop";
}

class ProgramTest : public ::testing::Test {
protected:
    void TearDown() override {
        service.reset();
        platform::test::ResetAudio();
    }

    std::shared_ptr<platform::test::SimAudioService> Use(std::vector<SimSession> sessions) {
        SimScenario scenario;
        scenario.sessions = std::move(sessions);
        service = platform::test::UseSimulatedAudio(std::move(scenario));
        return service;
    }

    // Runs the program through `steps`, then checks the way out: every step ran, the
    // program quit by itself (closed by a step, or by the driver's WM_CLOSE after the
    // last one), exit code 0, and every reference given back.
    RunResult Run(std::vector<Step> steps, platform::test::RunOptions options = {}) {
        const size_t count = steps.size();
        RunResult result = RunWinMain(std::move(steps), options);
        ExpectEveryStepRan(result, count);
        EXPECT_EQ(result.exitCode, 0);
        ExpectReferencesGivenBack(service.get());
        return result;
    }

    std::shared_ptr<platform::test::SimAudioService> service;
};
