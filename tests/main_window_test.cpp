// The program from WinMain to its exit code: start-up, the road of one click,
// notifications from the service's thread, closing, and the start-up failures.
#include "app/command_buttons.h"
#include "program_names.h"
#include "window_fixture.h"

namespace {

class MainWindowTest : public ProgramTest {};

TEST_F(MainWindowTest, OpensItsWindowWithFiveButtons) {
    Use({PlayerSession()});
    Run({[](Program& program) {
        HWND window = program.MainWindow();
        ASSERT_NE(window, nullptr);
        char title[128] = {};
        GetWindowTextA(window, title, sizeof title);
        EXPECT_STREQ(title, MainWindowTitle);
        RECT outer, client;
        GetWindowRect(window, &outer);
        GetClientRect(window, &client);
        EXPECT_EQ(outer.right - outer.left, 800);
        EXPECT_EQ(outer.bottom - outer.top, 400);
        EXPECT_EQ(client.right, ClientWidth);
        EXPECT_EQ(client.bottom, ClientHeight);

        struct Expected {
            int id;
            const char* text;
            LONG x, width;
        };
        for (Expected button : {Expected{Volume0Command, "0", 10, 60},
                                {Volume25Command, "0.25", 80, 60},
                                {Volume50Command, "0.50", 150, 60},
                                Expected{Volume100Command, "1.00", 220, 60},
                                {SwapMuteCommand, "Swap Mute", 320, 150}}) {
            SCOPED_TRACE(button.text);
            HWND control = program.Control(button.id);
            ASSERT_NE(control, nullptr);
            GetWindowTextA(control, title, sizeof title);
            EXPECT_STREQ(title, button.text);
            RECT rect;
            GetClientRect(control, &rect);
            EXPECT_EQ(rect.right, button.width);
            EXPECT_EQ(rect.bottom, 30);
        }
        EXPECT_EQ(AppState.btnVolume25, program.Control(Volume25Command));
        EXPECT_EQ(AppState.btnSwapMute, program.Control(SwapMuteCommand));
        EXPECT_EQ(AppState.hwndMain, window);
        EXPECT_NE(AppState.session, nullptr);
        EXPECT_EQ(AppState.timerId, 16325u);
        program.Close();
    }});
}

TEST_F(MainWindowTest, TheRoadOfOneClick) {
    auto audio = Use({PlayerSession()});
    Run({
        [](Program& program) {
            program.TakeTrace();
            program.Click(program.Control(Volume25Command));
        },
        [&](Program& program) {
            auto calls = audio->SetCalls();
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].kind, platform::test::SetCall::Volume);
            EXPECT_EQ(calls[0].volume, 0.25f);
            EXPECT_TRUE(IsEqualGUID(calls[0].eventContext, GUID_NULL));
            // The click itself draws nothing: the row follows the notification.
            EXPECT_TRUE(Matching(DrawingLines(program.TakeTrace()), "DrawText").empty());
            audio->Flush();
            EXPECT_EQ(AppState.sink.volume.load(), 0.25f);
            program.AdvanceTime(30);
        },
        [](Program& program) {
            auto lines = DrawingLines(program.TakeTrace());
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.front(), "GetDC");
            EXPECT_EQ(lines.back(), "ReleaseDC");
            EXPECT_EQ(Matching(lines, "DrawTextA 'Volume")[0], "DrawTextA 'Volume: 0.250' (10,125,310,155) 0x25");
            program.Close();
        },
    });
}

TEST_F(MainWindowTest, NotificationsFromTheServiceThreadReachTheRow) {
    auto audio = Use({PlayerSession()});
    Run({
        [&](Program& program) {
            program.TakeTrace();
            audio->SendVolumeNotification(0, 0.5f, 5);
            audio->ChangeState(0, 3);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [](Program& program) {
            auto texts = Matching(DrawingLines(program.TakeTrace()), "DrawTextA");
            ASSERT_EQ(texts.size(), 4u);
            EXPECT_EQ(texts[0], "DrawTextA 'Volume: 0.500' (10,125,310,155) 0x25");
            EXPECT_EQ(texts[1], "DrawTextA 'Mute: 5' (320,125,470,155) 0x25");
            EXPECT_EQ(texts[2], "DrawTextA 'no state' (480,125,630,155) 0x25");
            EXPECT_EQ(texts[3], "DrawTextA 'PUID: 4242' (640,125,740,155) 0x25");
            program.Close();
        },
    });
}

// The service reports a change to everyone registered at that moment; one made while
// the program registers must still reach the screen, whichever side of it lands first.
TEST_F(MainWindowTest, AChangeWhileTheSinkRegistersIsShown) {
    auto audio = Use({PlayerSession()});
    audio->AtNextRegistration([&](size_t session) {
        audio->OtherClientSetVolume(session, 0.37f);
        audio->OtherClientSetMute(session, TRUE);
        audio->ChangeState(session, AudioSessionStateInactive);
        audio->Flush();
    });
    Run({
        [](Program& program) {
            program.TakeTrace();
            program.AdvanceTime(30);
        },
        [](Program& program) {
            program.TakeTrace();
            InvalidateRect(program.MainWindow(), nullptr, TRUE);
        },
        [](Program& program) {
            auto texts = Matching(DrawingLines(program.TakeTrace()), "DrawTextA");
            ASSERT_EQ(texts.size(), 6u);
            EXPECT_EQ(texts[2], "DrawTextA 'Volume: 0.370' (10,125,310,155) 0x25");
            EXPECT_EQ(texts[3], "DrawTextA 'Mute: 1' (320,125,470,155) 0x25");
            EXPECT_EQ(texts[4], "DrawTextA 'Inactive' (480,125,630,155) 0x25");
            program.Close();
        },
    });
}

TEST_F(MainWindowTest, SwapMuteTwiceBeforeTheNotificationSendsTheSameValue) {
    auto audio = Use({PlayerSession()});
    Run({
        [&](Program& program) {
            audio->HoldNotifications(true);
            program.Click(program.Control(SwapMuteCommand));
            program.Click(program.Control(SwapMuteCommand));
        },
        [&](Program& program) {
            auto calls = audio->SetCalls();
            ASSERT_EQ(calls.size(), 2u);
            EXPECT_EQ(calls[0].mute, TRUE);
            EXPECT_EQ(calls[1].mute, TRUE);
            audio->HoldNotifications(false);
            audio->Flush();
            program.Click(program.Control(SwapMuteCommand));
        },
        [&](Program& program) {
            EXPECT_EQ(audio->SetCalls().back().mute, FALSE);
            program.Close();
        },
    });
}

TEST_F(MainWindowTest, SpaceOnTheClickedButtonSendsItsCommandAgain) {
    auto audio = Use({PlayerSession()});
    Run({
        [](Program& program) {
            EXPECT_EQ(GetFocus(), program.MainWindow()) << "the activated main window has the focus";
            program.PressKey(VK_SPACE);  // the main window ignores it
        },
        [&](Program& program) {
            EXPECT_TRUE(audio->SetCalls().empty());
            program.Click(program.Control(Volume25Command));
        },
        [&](Program& program) {
            EXPECT_EQ(GetFocus(), program.Control(Volume25Command));
            ASSERT_EQ(audio->SetCalls().size(), 1u);
            program.Key(VK_SPACE, true);
        },
        [&](Program& program) {
            EXPECT_EQ(audio->SetCalls().size(), 1u) << "the button is only pressed while Space is down";
            program.Key(VK_SPACE, false);
        },
        [&](Program& program) {
            auto calls = audio->SetCalls();
            ASSERT_EQ(calls.size(), 2u);
            EXPECT_EQ(calls[1].kind, platform::test::SetCall::Volume);
            EXPECT_EQ(calls[1].volume, 0.25f);
            audio->Flush();
            EXPECT_EQ(AppState.sink.volume.load(), 0.25f);
            program.Close();
        },
    });
}

TEST_F(MainWindowTest, AltF4EndsTheProgramWithExitCodeZero) {
    Use({PlayerSession()});
    for (bool buttonFocused : {false, true}) {
        SCOPED_TRACE(buttonFocused ? "a button has the focus" : "the main window has the focus");
        RunResult result = Run({[&](Program& program) {
            if (buttonFocused) SetFocus(program.Control(SwapMuteCommand));
            program.PressKey(VK_F4, true);
        }});
        EXPECT_FALSE(result.stepsExhausted) << "Alt+F4 did not close the window";
        EXPECT_FALSE(result.forcedQuit);
        EXPECT_EQ(AppState.session, nullptr) << "the session was not released on the way out";
    }
}

TEST_F(MainWindowTest, UnknownCommandsAreSwallowed) {
    auto audio = Use({PlayerSession()});
    Run({[&](Program& program) {
        EXPECT_EQ(SendMessageA(program.MainWindow(), WM_COMMAND, 105, 0), 0);
        EXPECT_EQ(SendMessageA(program.MainWindow(), WM_COMMAND, MAKEWPARAM(101, BN_CLICKED), 0), 0);
        EXPECT_TRUE(audio->SetCalls().empty());
        program.Close();
    }});
}

TEST_F(MainWindowTest, ASecondDestroyFindsNothingLeftToRelease) {
    auto audio = Use({PlayerSession()});
    RunResult result = Run({[&](Program& program) {
        SendMessageA(program.MainWindow(), WM_DESTROY, 0, 0);
        EXPECT_EQ(AppState.session, nullptr);
        EXPECT_EQ(AppState.sink.refCount.load(), 1u);
        SendMessageA(program.MainWindow(), WM_DESTROY, 0, 0);
        EXPECT_EQ(AppState.sink.refCount.load(), 1u);
        EXPECT_EQ(AppState.timerId, 16325u);  // kept after the timer was stopped
    }});
    EXPECT_FALSE(result.stepsExhausted);
}

TEST_F(MainWindowTest, ClosingGivesEverythingBackAndExitsWithZero) {
    Use({PlayerSession()});
    RunResult result = Run({[](Program& program) {
        EXPECT_EQ(AppState.sink.refCount.load(), 2u);  // its own, and the service's
        program.Close();
    }});
    EXPECT_FALSE(result.stepsExhausted);
    EXPECT_TRUE(result.messageBoxes.empty());
    EXPECT_EQ(AppState.sink.refCount.load(), 1u);
    EXPECT_EQ(AppState.session, nullptr);
    EXPECT_EQ(AppState.device, nullptr);
}

TEST_F(MainWindowTest, WithoutComTheWindowStillWorksWithNoSession) {
    auto audio = Use({PlayerSession()});
    platform::test::FailNextCoInitialize(E_UNEXPECTED);
    RunResult result = Run({
        [](Program& program) {
            ASSERT_NE(program.MainWindow(), nullptr);
            EXPECT_EQ(AppState.device, nullptr);
            EXPECT_EQ(AppState.session, nullptr);
            program.TakeTrace();
            program.Click(program.Control(Volume100Command));
            program.AdvanceTime(300);
        },
        [&](Program& program) {
            EXPECT_TRUE(audio->SetCalls().empty());
            // The zero status never changes, so the timer draws nothing.
            EXPECT_TRUE(Matching(DrawingLines(program.TakeTrace()), "GetDC").empty());
            program.Close();
        },
    });
    EXPECT_TRUE(result.messageBoxes.empty());
}

TEST_F(MainWindowTest, StartUpFailuresShowTheirMessageAndReturnZero) {
    Use({PlayerSession()});
    struct Case {
        platform::test::RunOptions options;
        const char* text;
    };
    for (const Case& c : {Case{{.failRegisterClass = true}, "Failed to register main class..."},
                          Case{{.failCreateWindow = true}, "Failed to create window..."}}) {
        SCOPED_TRACE(c.text);
        RunResult result = Run({}, c.options);
        EXPECT_TRUE(result.registerClassFailed || result.createWindowFailed);
        ASSERT_EQ(result.messageBoxes.size(), 1u);
        EXPECT_EQ(result.messageBoxes[0].caption, "Sorry");
        EXPECT_EQ(result.messageBoxes[0].text, c.text);
        EXPECT_EQ(result.messageBoxes[0].type, static_cast<UINT>(MB_ICONERROR));
    }
}

}  // namespace
