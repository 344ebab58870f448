// The window manager stand-in (user32) as the program relies on it: creation, the
// message queue and its priorities, painting, timers, buttons, destruction.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "testing/window_test.h"

namespace {

using platform::test::Describe;
using platform::test::Desktop;

struct Delivered {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Delivered> delivered;
LRESULT createResult = 0;
PAINTSTRUCT lastPaint;
int paintsSeen = 0;
CREATESTRUCTA createSeen;

void Forget() {
    delivered.clear();
    createResult = 0;
    paintsSeen = 0;
    lastPaint = PAINTSTRUCT{};
}

std::vector<UINT> MessagesFor(HWND window) {
    std::vector<UINT> messages;
    for (const Delivered& entry : delivered) {
        if (entry.window == window) messages.push_back(entry.message);
    }
    return messages;
}

// Records every message, paints through BeginPaint/EndPaint, and leaves the rest to
// DefWindowProcA, like a plain program's window procedure.
LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    delivered.push_back({window, message, wParam, lParam});
    switch (message) {
    case WM_CREATE: createSeen = *reinterpret_cast<CREATESTRUCTA*>(lParam); return createResult;
    case WM_PAINT: {
        ++paintsSeen;
        HDC dc = BeginPaint(window, &lastPaint);
        EXPECT_NE(dc, nullptr);
        EndPaint(window, &lastPaint);
        return 0;
    }
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

ATOM Register(const char* name, UINT style = CS_HREDRAW | CS_VREDRAW, HBRUSH background = (HBRUSH)(COLOR_MENU + 1)) {
    WNDCLASSA windowClass{};
    windowClass.style = style;
    windowClass.lpfnWndProc = RecordingProcedure;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass);
}

HWND CreateMain(const char* className = "TestWindow", DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE) {
    return CreateWindowExA(0, className, "Test window", style, CW_USEDEFAULT, CW_USEDEFAULT, 800, 400, nullptr, nullptr, nullptr,
                           nullptr);
}

HWND CreateButton(HWND parent, int id, int x = 10, int y = 160, int width = 60, int height = 30) {
    return CreateWindowExA(0, "BUTTON", "0.25", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { Forget(); }
    Desktop desktop;
};

// --- classes --------------------------------------------------------------------

TEST_F(WindowTest, RegisterClassRefusesDuplicatesAndIncompleteClasses) {
    ATOM atom = Register("TestWindow");
    EXPECT_NE(atom, 0);
    EXPECT_EQ(Register("TestWindow"), 0) << "same name";
    EXPECT_EQ(Register("testwindow"), 0) << "class names ignore case";

    WNDCLASSA noProcedure{};
    noProcedure.lpszClassName = "NoProcedure";
    EXPECT_EQ(RegisterClassA(&noProcedure), 0);
    WNDCLASSA noName{};
    noName.lpfnWndProc = RecordingProcedure;
    EXPECT_EQ(RegisterClassA(&noName), 0);
    EXPECT_EQ(RegisterClassA(nullptr), 0);

    HWND window = CreateMain();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassA("TestWindow", nullptr)) << "a class with windows stays";
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("TestWindow", nullptr));
    EXPECT_FALSE(UnregisterClassA("TestWindow", nullptr));
    EXPECT_EQ(CreateMain(), nullptr) << "unregistered class";
}

TEST_F(WindowTest, StockIconAndCursorExist) {
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
}

// --- creation -------------------------------------------------------------------

TEST_F(WindowTest, CreateSendsNcCreateAndCreateBeforeReturning) {
    ASSERT_NE(Register("TestWindow"), 0);
    int parameter = 0;
    HWND window = CreateWindowExA(0, "TestWindow", "Title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 800, 400, nullptr,
                                  nullptr, nullptr, &parameter);
    ASSERT_NE(window, nullptr);
    std::vector<UINT> messages = MessagesFor(window);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(messages[1], static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(createSeen.lpCreateParams, &parameter);
    EXPECT_EQ(createSeen.cx, 800);
    EXPECT_EQ(createSeen.cy, 400);
    EXPECT_STREQ(createSeen.lpszName, "Title");

    char title[64];
    EXPECT_EQ(GetWindowTextA(window, title, sizeof title), 5);
    EXPECT_STREQ(title, "Title");
    EXPECT_EQ(GetWindowTextA(window, title, 3), 2) << "truncated to the buffer";
    EXPECT_STREQ(title, "Ti");
}

TEST_F(WindowTest, CreateFailsWhenWmCreateReturnsMinusOne) {
    ASSERT_NE(Register("TestWindow"), 0);
    createResult = -1;
    EXPECT_EQ(CreateMain(), nullptr);
    ASSERT_FALSE(delivered.empty());
    HWND attempted = delivered.front().window;
    std::vector<UINT> messages = MessagesFor(attempted);
    std::vector<UINT> expected = {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY};
    EXPECT_EQ(messages, expected);
    EXPECT_FALSE(IsWindow(attempted));
}

TEST_F(WindowTest, ChildNeedsAValidParent) {
    EXPECT_EQ(CreateButton(nullptr, 110), nullptr);
    EXPECT_EQ(CreateButton(reinterpret_cast<HWND>(0x1234), 110), nullptr);
}

TEST_F(WindowTest, OuterSizeIncludesWindows10FrameAndCaption) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    ASSERT_NE(window, nullptr);
    RECT client, outer;
    ASSERT_TRUE(GetClientRect(window, &client));
    ASSERT_TRUE(GetWindowRect(window, &outer));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 784);
    EXPECT_EQ(client.bottom, 361);
    EXPECT_EQ(outer.right - outer.left, 800);
    EXPECT_EQ(outer.bottom - outer.top, 400);

    const int side = GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    EXPECT_EQ(800 - client.right, 2 * side);
    EXPECT_EQ(400 - client.bottom, caption + 2 * side);

    HWND button = CreateButton(window, 111, 80, 160, 60, 30);
    ASSERT_NE(button, nullptr);
    RECT buttonClient, buttonScreen;
    ASSERT_TRUE(GetClientRect(button, &buttonClient));
    ASSERT_TRUE(GetWindowRect(button, &buttonScreen));
    EXPECT_EQ(buttonClient.right, 60);
    EXPECT_EQ(buttonClient.bottom, 30);
    EXPECT_EQ(buttonScreen.left, outer.left + side + 80) << "child positions are in parent client coordinates";
    EXPECT_EQ(buttonScreen.top, outer.top + side + caption + 160);
    EXPECT_EQ(GetParent(button), window);
    EXPECT_EQ(GetParent(window), nullptr);
}

// --- the message queue ------------------------------------------------------------

TEST_F(WindowTest, GetMessageOrdersPostedInputQuitPaintTimer) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    ASSERT_NE(window, nullptr);
    HWND button = CreateButton(window, 110);
    desktop.PumpUntilIdle();  // the first paint

    // Queued in the reverse of the order they are expected back.
    ASSERT_NE(SetTimer(window, 7, 30, nullptr), 0u);
    desktop.AdvanceTime(30);
    InvalidateRect(window, nullptr, TRUE);
    PostQuitMessage(3);
    desktop.Click(button);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 11, 22));
    ASSERT_TRUE(PostMessageA(window, WM_USER + 2, 0, 0));

    std::vector<UINT> order;
    MSG message;
    for (int i = 0; i < 8; ++i) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        order.push_back(message.message);
        if (got == 0) {
            EXPECT_EQ(message.wParam, 3u) << "the code given to PostQuitMessage";
            continue;
        }
        ASSERT_EQ(got, 1);
        DispatchMessageA(&message);
    }
    // The second WM_PAINT is the button's, which the click invalidated.
    std::vector<UINT> expected = {WM_USER + 1, WM_USER + 2, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_QUIT, WM_PAINT, WM_PAINT, WM_TIMER};
    EXPECT_EQ(order, expected);
}

TEST_F(WindowTest, GetMessageFailsForAWindowThatDoesNotExist) {
    MSG message;
    EXPECT_EQ(GetMessageA(&message, reinterpret_cast<HWND>(0x4321), 0, 0), -1);
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_EQ(GetMessageA(&message, window, 0, 0), -1) << "destroyed window";
}

TEST_F(WindowTest, GetMessageWithWindowFilterLeavesOtherMessagesQueued) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND first = CreateMain();
    HWND second = CreateMain();
    desktop.PumpUntilIdle();
    PostMessageA(first, WM_USER, 1, 0);
    PostMessageA(second, WM_USER, 2, 0);
    MSG message;
    ASSERT_EQ(GetMessageA(&message, second, 0, 0), 1);
    EXPECT_EQ(message.wParam, 2u);
    ASSERT_EQ(GetMessageA(&message, nullptr, 0, 0), 1);
    EXPECT_EQ(message.wParam, 1u);
}

TEST_F(WindowTest, SendMessageCallsTheProcedureAtOnce) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    Forget();
    SendMessageA(window, WM_USER + 5, 1, 2);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].message, static_cast<UINT>(WM_USER + 5));
    EXPECT_EQ(delivered[0].wParam, 1u);
    EXPECT_EQ(delivered[0].lParam, 2);
}

TEST_F(WindowTest, IdleGetMessageRunsIdleActionsThenEnds) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    desktop.AddIdleAction([&] { PostMessageA(window, WM_USER, 42, 0); });
    std::vector<WPARAM> userMessages;
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        if (message.message == WM_USER) userMessages.push_back(message.wParam);
        DispatchMessageA(&message);
    }
    EXPECT_EQ(got, 0);
    EXPECT_EQ(message.wParam, static_cast<WPARAM>(Desktop::IdleQuitCode));
    EXPECT_EQ(userMessages, std::vector<WPARAM>{42});
}

// --- painting -------------------------------------------------------------------

TEST_F(WindowTest, UpdateWindowPaintsSynchronouslyOnlyWhenInvalid) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain("TestWindow", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(ShowWindow(window, SW_SHOW)) << "was hidden";
    EXPECT_EQ(paintsSeen, 0) << "ShowWindow only invalidates";
    ASSERT_TRUE(UpdateWindow(window));
    EXPECT_EQ(paintsSeen, 1);
    EXPECT_EQ(lastPaint.rcPaint.right, 784);
    EXPECT_EQ(lastPaint.rcPaint.bottom, 361);
    EXPECT_FALSE(lastPaint.fErase) << "DefWindowProcA erased with the class brush";
    ASSERT_TRUE(UpdateWindow(window));
    EXPECT_EQ(paintsSeen, 1) << "nothing invalid any more";
    EXPECT_TRUE(desktop.PumpUntilIdle().empty()) << "no WM_PAINT left queued";
    EXPECT_TRUE(ShowWindow(window, SW_SHOW)) << "was visible";
}

TEST_F(WindowTest, HiddenWindowsGetNoPaint) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain("TestWindow", WS_OVERLAPPEDWINDOW);
    InvalidateRect(window, nullptr, TRUE);
    desktop.PumpUntilIdle();
    EXPECT_EQ(paintsSeen, 0);
    ShowWindow(window, SW_SHOW);
    desktop.PumpUntilIdle();
    EXPECT_EQ(paintsSeen, 1);
}

TEST_F(WindowTest, EraseFillsWithSystemColourBrushValue) {
    ASSERT_NE(Register("TestWindow", 0, reinterpret_cast<HBRUSH>(COLOR_MENU + 1)), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    platform::test::Image image = desktop.Snapshot(window);
    ASSERT_EQ(image.width, 784);
    ASSERT_EQ(image.height, 361);
    EXPECT_EQ(image.At(0, 0), 0xF0F0F0u) << "Windows 10 COLOR_MENU";
    EXPECT_EQ(image.At(783, 360), 0xF0F0F0u);
}

TEST_F(WindowTest, EraseFillsWithStockBrush) {
    ASSERT_NE(Register("TestWindow", 0, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    EXPECT_EQ(desktop.Snapshot(window).At(400, 200), 0x000000u);
}

TEST_F(WindowTest, PaintDcIsClippedToTheUpdateRegion) {
    ASSERT_NE(Register("TestWindow", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    Forget();
    RECT part{100, 100, 120, 110};
    InvalidateRect(window, &part, FALSE);
    MSG message;
    ASSERT_TRUE(platform::user32::PeekNextMessage(&message));
    ASSERT_EQ(message.message, static_cast<UINT>(WM_PAINT));
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    EXPECT_EQ(paint.rcPaint.left, 100);
    EXPECT_EQ(paint.rcPaint.bottom, 110);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    RoundRect(dc, 0, 0, 784, 361, 0, 0);  // covers everything, lands only in the update region
    EndPaint(window, &paint);
    platform::test::Image image = desktop.Snapshot(window);
    EXPECT_EQ(image.At(110, 105), 0x000000u);
    EXPECT_EQ(image.At(99, 105), 0xFFFFFFu);
    EXPECT_EQ(image.At(120, 105), 0xFFFFFFu);
    EXPECT_EQ(image.At(110, 110), 0xFFFFFFu);
    EXPECT_FALSE(platform::user32::PeekNextMessage(&message)) << "BeginPaint validated the region";
}

TEST_F(WindowTest, GetDcDrawsOutsidePaintAndIsVisibleAtOnce) {
    ASSERT_NE(Register("TestWindow", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    RoundRect(dc, 10, 125, 310, 155, 7, 7);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(ReleaseDC(window, dc), 0) << "already released";
    EXPECT_EQ(desktop.Snapshot(window).At(160, 140), 0x000000u);
    EXPECT_TRUE(desktop.PumpUntilIdle().empty()) << "GetDC invalidates nothing";
}

TEST_F(WindowTest, ResizeWithRedrawStylesInvalidatesEverything) {
    ASSERT_NE(Register("TestWindow", CS_HREDRAW | CS_VREDRAW), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    Forget();
    desktop.Resize(window, 900, 500);
    std::vector<UINT> messages = MessagesFor(window);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], static_cast<UINT>(WM_SIZE)) << "sent during the resize";
    EXPECT_EQ(delivered[0].lParam, MAKELPARAM(884, 461));
    desktop.PumpUntilIdle();
    EXPECT_EQ(paintsSeen, 1);
    EXPECT_EQ(lastPaint.rcPaint.left, 0);
    EXPECT_EQ(lastPaint.rcPaint.top, 0);
    EXPECT_EQ(lastPaint.rcPaint.right, 884);
    EXPECT_EQ(lastPaint.rcPaint.bottom, 461);

    desktop.Resize(window, 700, 500);  // narrower: still all of it
    desktop.PumpUntilIdle();
    EXPECT_EQ(paintsSeen, 2);
    EXPECT_EQ(lastPaint.rcPaint.right, 684);
}

TEST_F(WindowTest, ResizeWithoutRedrawStylesInvalidatesOnlyTheUncoveredArea) {
    ASSERT_NE(Register("TestWindow", 0), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    Forget();
    desktop.Resize(window, 900, 400);
    desktop.PumpUntilIdle();
    ASSERT_EQ(paintsSeen, 1);
    EXPECT_EQ(lastPaint.rcPaint.left, 784);
    EXPECT_EQ(lastPaint.rcPaint.right, 884);
    EXPECT_EQ(lastPaint.rcPaint.top, 0);
    EXPECT_EQ(lastPaint.rcPaint.bottom, 361);

    desktop.Resize(window, 800, 300);  // smaller: nothing uncovered
    desktop.PumpUntilIdle();
    EXPECT_EQ(paintsSeen, 1);
}

TEST_F(WindowTest, MoveWindowResizesChildren) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    HWND button = CreateButton(window, 110);
    ASSERT_TRUE(MoveWindow(button, 20, 40, 100, 50, TRUE));
    RECT client;
    GetClientRect(button, &client);
    EXPECT_EQ(client.right, 100);
    EXPECT_EQ(client.bottom, 50);
    EXPECT_FALSE(MoveWindow(reinterpret_cast<HWND>(0x4321), 0, 0, 1, 1, TRUE));
}

// --- timers ---------------------------------------------------------------------

TEST_F(WindowTest, TimerFiresOncePerDueTimeUnderTheVirtualClock) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    EXPECT_EQ(SetTimer(window, 16325, 30, nullptr), 16325u);

    auto timerMessages = [&] {
        int count = 0;
        for (const MSG& message : desktop.PumpUntilIdle()) {
            if (message.message == WM_TIMER) {
                EXPECT_EQ(message.wParam, 16325u);
                EXPECT_EQ(message.hwnd, window);
                ++count;
            }
        }
        return count;
    };
    desktop.AdvanceTime(29);
    EXPECT_EQ(timerMessages(), 0) << "not due yet";
    desktop.AdvanceTime(1);
    EXPECT_EQ(timerMessages(), 1);
    EXPECT_EQ(timerMessages(), 0) << "one message per due time";
    desktop.AdvanceTime(1000);
    EXPECT_EQ(timerMessages(), 1) << "a late timer fires once, not once per missed period";
    desktop.AdvanceTime(30);
    EXPECT_EQ(timerMessages(), 1);
}

TEST_F(WindowTest, TimerKeepsItsScheduleWhenTakenLateAndSkipsMissedPeriods) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    SetTimer(window, 7, 30, nullptr);  // due at 30, 60, 90, ...
    auto timerMessages = [&] {
        int count = 0;
        for (const MSG& message : desktop.PumpUntilIdle()) count += message.message == WM_TIMER;
        return count;
    };
    desktop.AdvanceTime(45);  // a busy thread takes the first tick 15 ms late
    EXPECT_EQ(timerMessages(), 1);
    desktop.AdvanceTime(14);
    EXPECT_EQ(timerMessages(), 0) << "59: the second period has not ended";
    desktop.AdvanceTime(1);
    EXPECT_EQ(timerMessages(), 1) << "60: lateness of one tick does not move the next";
    desktop.AdvanceTime(100);
    EXPECT_EQ(timerMessages(), 1) << "160: the ticks due at 90, 120 and 150 make one message";
    desktop.AdvanceTime(19);
    EXPECT_EQ(timerMessages(), 0) << "179: the missed periods are skipped, the schedule kept";
    desktop.AdvanceTime(1);
    EXPECT_EQ(timerMessages(), 1) << "180";
}

TEST_F(WindowTest, SetTimerAgainRestartsTheTimer) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    SetTimer(window, 5, 30, nullptr);
    desktop.AdvanceTime(20);
    EXPECT_EQ(SetTimer(window, 5, 30, nullptr), 5u);
    desktop.AdvanceTime(20);
    EXPECT_TRUE(desktop.PumpUntilIdle().empty()) << "restarted 20 ms ago";
    desktop.AdvanceTime(10);
    std::vector<MSG> taken = desktop.PumpUntilIdle();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_TIMER));
}

TEST_F(WindowTest, KillTimerStopsKnownTimersOnly) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    desktop.PumpUntilIdle();
    SetTimer(window, 1, 30, nullptr);
    EXPECT_FALSE(KillTimer(window, 2)) << "unknown id";
    EXPECT_FALSE(KillTimer(nullptr, 1)) << "the timer belongs to the window";
    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(window, 1)) << "already gone";
    desktop.AdvanceTime(100);
    EXPECT_TRUE(desktop.PumpUntilIdle().empty());
    EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x4321), 1, 30, nullptr), 0u) << "no such window";
}

std::vector<UINT_PTR> timerProcedureCalls;
void CALLBACK RecordingTimerProcedure(HWND, UINT message, UINT_PTR id, DWORD) {
    EXPECT_EQ(message, static_cast<UINT>(WM_TIMER));
    timerProcedureCalls.push_back(id);
}

TEST_F(WindowTest, TimerProcedureIsCalledByDispatch) {
    timerProcedureCalls.clear();
    UINT_PTR id = SetTimer(nullptr, 0, 50, RecordingTimerProcedure);
    ASSERT_NE(id, 0u);
    desktop.AdvanceTime(50);
    desktop.PumpUntilIdle();
    EXPECT_EQ(timerProcedureCalls, std::vector<UINT_PTR>{id});
    EXPECT_TRUE(KillTimer(nullptr, id));
}

TEST_F(WindowTest, DestroyingAWindowKillsItsTimersAndPostedMessages) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    SetTimer(window, 1, 30, nullptr);
    PostMessageA(window, WM_USER, 0, 0);
    ASSERT_TRUE(DestroyWindow(window));
    desktop.AdvanceTime(100);
    EXPECT_TRUE(desktop.PumpUntilIdle().empty());
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
}

// --- buttons --------------------------------------------------------------------

TEST_F(WindowTest, ButtonClickSendsCommandWithControlId) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    HWND button = CreateButton(window, 111);
    ASSERT_NE(button, nullptr);
    desktop.PumpUntilIdle();
    Forget();
    desktop.Click(button);
    desktop.PumpUntilIdle();
    std::vector<Delivered> commands;
    for (const Delivered& entry : delivered) {
        if (entry.message == WM_COMMAND) commands.push_back(entry);
    }
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].window, window);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(111, BN_CLICKED));
    EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(button));

    Forget();
    SendMessageA(button, BM_CLICK, 0, 0);
    ASSERT_EQ(MessagesFor(window), std::vector<UINT>{WM_COMMAND}) << "BM_CLICK notifies at once";
    EXPECT_EQ(delivered[0].wParam, MAKEWPARAM(111, BN_CLICKED));
}

TEST_F(WindowTest, ButtonReleasedOutsideDoesNotClick) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    HWND button = CreateButton(window, 111, 80, 160, 60, 30);
    desktop.PumpUntilIdle();
    Forget();
    platform::user32::DisplayEvents().OnMouseButton(window, 100, 170, true);
    platform::user32::DisplayEvents().OnMouseButton(window, 300, 300, false);  // dragged off the button
    bool releaseReachedButton = false;
    for (const MSG& message : desktop.PumpUntilIdle()) {
        releaseReachedButton |= message.message == WM_LBUTTONUP && message.hwnd == button;
    }
    EXPECT_TRUE(releaseReachedButton) << "the button captured the mouse";
    for (const Delivered& entry : delivered) EXPECT_NE(entry.message, static_cast<UINT>(WM_COMMAND));
}

TEST_F(WindowTest, ButtonPaintsARaisedFaceWithItsText) {
    ASSERT_NE(Register("TestWindow", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    HWND window = CreateMain();
    HWND button = CreateButton(window, 111, 80, 160, 60, 30);
    desktop.PumpUntilIdle();
    platform::test::Image image = desktop.Snapshot(window);
    EXPECT_EQ(image.At(80, 160), 0xFFFFFFu) << "highlight edge top left";
    EXPECT_EQ(image.At(139, 189), 0x696969u) << "dark shadow bottom right";
    EXPECT_EQ(image.At(82, 162), 0xF0F0F0u) << "face";
    EXPECT_EQ(image.At(79, 160), 0xFFFFFFu) << "parent background outside";
    int textPixels = 0;
    for (int y = 162; y < 188; ++y) {
        for (int x = 82; x < 138; ++x) textPixels += image.At(x, y) != 0xF0F0F0u;
    }
    EXPECT_GT(textPixels, 10) << "the caption is drawn";
    for (const platform::test::GdiCall& call : desktop.TakeTrace()) {
        EXPECT_NE(call.window, button) << "the platform's own drawing is not traced: " << Describe(call);
    }
}

// --- keyboard -------------------------------------------------------------------

TEST_F(WindowTest, KeysReachTheFocusWhichAClickedButtonTakesAndShows) {
    ASSERT_NE(Register("TestWindow", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    HWND window = CreateMain();
    HWND button = CreateButton(window, 111, 80, 160, 60, 30);
    desktop.PumpUntilIdle();
    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(GetFocus(), window) << "shown, activated, focused";

    Forget();
    desktop.PressKey(window, 'A');
    desktop.PumpUntilIdle();  // translates, as a message loop does
    ASSERT_EQ(MessagesFor(window), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    EXPECT_EQ(delivered[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(HIWORD(delivered[0].lParam) & (KF_UP | KF_REPEAT | KF_ALTDOWN), 0);
    EXPECT_EQ(delivered[1].wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(HIWORD(delivered[2].lParam) & (KF_UP | KF_REPEAT), KF_UP | KF_REPEAT);

    const platform::test::Image unfocused = desktop.Snapshot(window);
    EXPECT_EQ(unfocused.At(83, 163), 0xF0F0F0u) << "no focus rectangle yet";
    Forget();
    desktop.Click(button);
    desktop.PumpUntilIdle();
    EXPECT_EQ(GetFocus(), button);
    EXPECT_EQ(MessagesFor(window), (std::vector<UINT>{WM_KILLFOCUS, WM_COMMAND}));
    platform::test::Image focused = desktop.Snapshot(window);
    EXPECT_EQ(focused.At(83, 163), 0x000000u) << "focus rectangle: a dot at its corner";
    EXPECT_EQ(focused.At(84, 163), 0xF0F0F0u) << "and a gap beside it";
    EXPECT_EQ(focused.At(136, 164), 0x000000u) << "its right edge";
    EXPECT_EQ(focused.At(82, 163), 0xF0F0F0u) << "inside the face";

    // Space: the press shows while the key is down, the click comes on release.
    Forget();
    desktop.Key(window, VK_SPACE, true);
    desktop.PumpUntilIdle();
    EXPECT_TRUE(MessagesFor(window).empty());
    EXPECT_EQ(desktop.Snapshot(window).At(80, 160), 0x696969u) << "pressed: dark shadow top left";
    desktop.Key(window, VK_SPACE, false);
    desktop.PumpUntilIdle();
    ASSERT_EQ(MessagesFor(window), std::vector<UINT>{WM_COMMAND});
    EXPECT_EQ(delivered.back().wParam, MAKEWPARAM(111, BN_CLICKED));
    EXPECT_EQ(desktop.Snapshot(window).At(80, 160), 0xFFFFFFu) << "raised again";

    // Alt+F4 on the button closes the top-level window through DefWindowProc.
    Forget();
    desktop.PressKey(window, VK_F4, true);
    desktop.PumpUntilIdle();
    std::vector<UINT> closing = MessagesFor(window);
    ASSERT_GE(closing.size(), 2u);
    EXPECT_EQ(closing[0], static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(delivered[0].wParam, static_cast<WPARAM>(SC_CLOSE));
    EXPECT_EQ(closing[1], static_cast<UINT>(WM_CLOSE));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetFocus(), nullptr);
}

// --- destruction ----------------------------------------------------------------

TEST_F(WindowTest, DestroyWindowDestroysChildrenInWindowsOrder) {
    ASSERT_NE(Register("TestWindow"), 0);
    ASSERT_NE(Register("TestChild"), 0);
    HWND window = CreateMain();
    HWND child = CreateWindowExA(0, "TestChild", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window, reinterpret_cast<HMENU>(1),
                                 nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    Forget();
    ASSERT_TRUE(DestroyWindow(window));
    std::vector<std::pair<HWND, UINT>> order;
    for (const Delivered& entry : delivered) {
        if (entry.message == WM_DESTROY || entry.message == WM_NCDESTROY) order.emplace_back(entry.window, entry.message);
    }
    std::vector<std::pair<HWND, UINT>> expected = {
        {window, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {window, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(DestroyWindow(window));
}

TEST_F(WindowTest, DefaultCloseDestroysTheWindow) {
    ASSERT_NE(Register("TestWindow"), 0);
    HWND window = CreateMain();
    PostMessageA(window, WM_CLOSE, 0, 0);
    desktop.PumpUntilIdle();
    EXPECT_FALSE(IsWindow(window));
}

// --- message boxes --------------------------------------------------------------

TEST_F(WindowTest, MessageBoxWritesAndRecordsAndAnswersOk) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Failed to create window...", "Sorry", MB_ICONERROR), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Sorry: Failed to create window...\n");
    std::vector<platform::test::MessageBoxRecord> boxes = desktop.TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Sorry");
    EXPECT_EQ(boxes[0].text, "Failed to create window...");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
}

}  // namespace
