// The WinMain driver of the test surface, run over the real program: steps at idle,
// the end of a run, failure injection, message boxes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/command_buttons.h"
#include "program_names.h"
#include "testing/window_test.h"

namespace {

using platform::test::Program;
using platform::test::RunResult;
using platform::test::RunWinMain;

TEST(WinMainDriver, StepsRunAtIdleAndAClosedProgramExitsNormally) {
    std::string title;
    RECT client{};
    int controls = 0;
    uint64_t timeSeen = 0;
    bool painted = false;
    RunResult result = RunWinMain({
        [&](Program& program) {
            char text[128] = {};
            GetWindowTextA(program.MainWindow(), text, sizeof text);
            title = text;
            GetClientRect(program.MainWindow(), &client);
            for (int id : {Volume0Command, Volume25Command, Volume50Command, Volume100Command, SwapMuteCommand})
                controls += program.Control(id) != nullptr;
            EXPECT_EQ(program.Control(105), nullptr);
            for (const auto& call : program.TakeTrace()) painted |= call.function == "BeginPaint";
            EXPECT_EQ(program.Snapshot().At(400, 300), 0xF0F0F0u) << "class brush COLOR_MENU + 1";
        },
        [&](Program& program) {
            program.AdvanceTime(30);
            timeSeen = program.Now();
        },
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.stepsExhausted);
    EXPECT_FALSE(result.forcedQuit) << "WM_CLOSE was enough";
    EXPECT_TRUE(result.messageBoxes.empty());
    EXPECT_EQ(title, MainWindowTitle);
    EXPECT_EQ(client.right, 784);
    EXPECT_EQ(client.bottom, 361);
    EXPECT_EQ(controls, 5);
    EXPECT_TRUE(painted) << "UpdateWindow painted before the loop";
    EXPECT_EQ(timeSeen, 30u);
}

TEST(WinMainDriver, CloseFromAStepEndsTheRunBeforeTheStepsRunOut) {
    int laterSteps = 0;
    RunResult result = RunWinMain({
        [](Program& program) { program.Close(); },
        [&](Program&) { ++laterSteps; },
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_FALSE(result.stepsExhausted);
    EXPECT_EQ(laterSteps, 0);
}

TEST(WinMainDriver, InjectedRegisterClassFailureShowsTheProgramsMessage) {
    RunResult result = RunWinMain({}, {.failRegisterClass = true});
    EXPECT_TRUE(result.registerClassFailed);
    EXPECT_FALSE(result.createWindowFailed);
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_EQ(result.messageBoxes.size(), 1u);
    EXPECT_EQ(result.messageBoxes[0].caption, "Sorry");
    EXPECT_EQ(result.messageBoxes[0].text, "Failed to register main class...");
    EXPECT_EQ(result.messageBoxes[0].type, static_cast<UINT>(MB_ICONERROR));
}

TEST(WinMainDriver, InjectedCreateWindowFailureShowsTheProgramsMessage) {
    RunResult result = RunWinMain({}, {.failCreateWindow = true});
    EXPECT_TRUE(result.createWindowFailed);
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_EQ(result.messageBoxes.size(), 1u);
    EXPECT_EQ(result.messageBoxes[0].text, "Failed to create window...");
}

}  // namespace
