// Choosing the video backend, and the X11 backend against a real X server.
#include <gtest/gtest.h>
#include <windows.h>
// Xlib's macros (None, Bool, Status) must come after GoogleTest's templates.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "provisioned.h"
#include "testing/window_test.h"
#include "user32/user32.h"
#include "video/video.h"
#include "x11_peer.h"

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A fresh window system that picks its backend the way the program does.
class BackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::test::ResetWindowSystem();
        platform::video::OverrideOrder({});
        windowClass_.lpfnWndProc = DefWindowProcA;
        windowClass_.lpszClassName = "BackendTest";
        ASSERT_NE(RegisterClassA(&windowClass_), 0);
    }
    void TearDown() override { platform::test::ResetWindowSystem(); }

    WNDCLASSA windowClass_{};

    static HWND CreateTopLevel(const char* title) {
        return CreateWindowExA(0, "BackendTest", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 800, 400,
                               nullptr, nullptr, nullptr, nullptr);
    }
};

TEST_F(BackendTest, WithoutADisplayTopLevelCreationFailsAndSaysWhatWasTried) {
    ScopedEnvironment noDisplay("DISPLAY", nullptr);
    ScopedEnvironment noCompositor("WAYLAND_DISPLAY", nullptr);
    ScopedEnvironment noOverride("PLATFORM_VIDEO", nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTopLevel("no display"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "video: no backend could start; tried wayland (WAYLAND_DISPLAY is not set), x11 (DISPLAY is not set)\n");
}

// A Wayland display that cannot be reached: x11 is tried next, and the message names
// both with their reasons.
TEST_F(BackendTest, AnUnreachableCompositorFallsBackToX11AndBothAreNamed) {
    ScopedEnvironment noDisplay("DISPLAY", nullptr);
    ScopedEnvironment compositor("WAYLAND_DISPLAY", "/nonexistent/wayland-0");
    ScopedEnvironment noOverride("PLATFORM_VIDEO", nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTopLevel("no compositor"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "video: no backend could start; tried wayland (cannot connect to /nonexistent/wayland-0 (No such file or "
              "directory)), x11 (DISPLAY is not set)\n");
}

TEST_F(BackendTest, EnvironmentOverridesTheOrderAndSkipsWhatCannotStart) {
    ScopedEnvironment noDisplay("DISPLAY", nullptr);
    ScopedEnvironment order("PLATFORM_VIDEO", "x11, nonesuch,offscreen");
    testing::internal::CaptureStderr();
    HWND window = CreateTopLevel("offscreen");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(window, nullptr);
}

TEST_F(BackendTest, UnknownNamesAreReported) {
    ScopedEnvironment order("PLATFORM_VIDEO", "nonesuch");
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTopLevel("unknown"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "video: no backend could start; tried nonesuch (unknown backend)\n");
}

::Window FindByName(Display* display, ::Window parent, const std::string& name) {
    return FindNamedWindow(display, parent, [&](::Window, const std::string& windowName) { return windowName == name; });
}

std::string Utf8Property(Display* display, ::Window window, const char* property) {
    Atom type;
    int format;
    unsigned long items, remaining;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1024, False,
                           XInternAtom(display, "UTF8_STRING", False), &type, &format, &items, &remaining, &data) == Success &&
        data) {
        value.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
    }
    return value;
}

// Sends what a window manager sends when the user clicks the close button, once the
// thread has had time to go to sleep on its queue, and waits for the queue to turn it
// into WM_CLOSE.
bool DeleteWindowBecomesWmClose(Display* observer, ::Window xWindow, HWND window) {
    std::thread windowManager([observer, xWindow] {
        usleep(200000);
        SendDeleteWindow(observer, xWindow);
    });

    // A long guard timer keeps a broken backend from hanging the suite; it is not a
    // deadline for the test.
    SetTimer(window, 1, 60000, nullptr);
    bool closeArrived = false;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_CLOSE && message.hwnd == window) {
            closeArrived = true;
            break;
        }
        if (message.message == WM_TIMER) break;
        DispatchMessageA(&message);
    }
    windowManager.join();
    return closeArrived;
}

// The same against the X server named by DISPLAY, watched from a connection of the
// test's own; skipped without one.
class X11BackendTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name) SKIP_FOR_MISSING("x11") << "DISPLAY is not set (e.g. Xvfb :99)";
        observer_ = XOpenDisplay(name);
        if (!observer_) SKIP_FOR_MISSING("x11") << "cannot open display " << name;
        video_.emplace("PLATFORM_VIDEO", "x11");
    }
    void TearDown() override {
        BackendTest::TearDown();
        video_.reset();
        if (observer_) XCloseDisplay(observer_);
    }

    Display* observer_ = nullptr;
    std::optional<ScopedEnvironment> video_;
};

TEST_F(X11BackendTest, X11WindowShowsTitleAndTurnsDeleteWindowIntoWmClose) {
    // Unique, so that other programs on the same display cannot be mistaken for ours.
    const std::string title = "platform x11 test " + std::to_string(getpid());
    HWND window = CreateTopLevel(title.c_str());
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);

    ::Window xWindow = FindByName(observer_, DefaultRootWindow(observer_), title);
    ASSERT_NE(xWindow, 0u) << "no X window with the title";
    EXPECT_EQ(Utf8Property(observer_, xWindow, "_NET_WM_NAME"), title);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(observer_, xWindow, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_EQ(attributes.width, 784) << "the X window is the client area";
    EXPECT_EQ(attributes.height, 361);

    // A title set later is 8-bit text like the first one: Latin-1, shown as UTF-8.
    const std::string renamed = title + " caf\xe9";
    ASSERT_TRUE(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(renamed.c_str())));
    const std::string shown = title + " caf\xc3\xa9";
    for (int tries = 0; tries < 200 && Utf8Property(observer_, xWindow, "_NET_WM_NAME") != shown; ++tries) usleep(10000);
    EXPECT_EQ(Utf8Property(observer_, xWindow, "_NET_WM_NAME"), shown);

    EXPECT_TRUE(DeleteWindowBecomesWmClose(observer_, xWindow, window));
}

// The thread sleeps on the display's connection between messages; a connection opened
// after an earlier one closed (often with the same descriptor number) must wake it too.
TEST_F(X11BackendTest, X11EventsWakeTheThreadOnADisplayOpenedAgain) {
    const std::string title = "platform x11 reopened " + std::to_string(getpid());
    for (int opening = 1; opening <= 2; ++opening) {
        HWND window = CreateTopLevel(title.c_str());
        ASSERT_NE(window, nullptr);
        UpdateWindow(window);
        ::Window xWindow = 0;
        for (int tries = 0; tries < 200 && !xWindow; ++tries) {
            xWindow = FindByName(observer_, DefaultRootWindow(observer_), title);
            if (!xWindow) usleep(10000);
        }
        ASSERT_NE(xWindow, 0u) << "opening " << opening;
        EXPECT_TRUE(DeleteWindowBecomesWmClose(observer_, xWindow, window)) << "opening " << opening;
        platform::test::ResetWindowSystem();  // closes the display connection
        XSync(observer_, False);
        RegisterClassA(&windowClass_);
    }
}

TEST_F(X11BackendTest, X11KeysBecomeKeyMessagesAndAltF4ClosesTheWindow) {
    const std::string title = "platform x11 keys " + std::to_string(getpid());
    HWND window = CreateTopLevel(title.c_str());
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);
    ::Window xWindow = FindByName(observer_, DefaultRootWindow(observer_), title);
    ASSERT_NE(xWindow, 0u) << "no X window with the title";

    // What the X server sends for a typed "a", then for F4 with Alt held.
    auto send = [&](KeySym symbol, unsigned state, int type) {
        XEvent key{};
        key.xkey.type = type;
        key.xkey.display = observer_;
        key.xkey.window = xWindow;
        key.xkey.root = DefaultRootWindow(observer_);
        key.xkey.state = state;
        key.xkey.keycode = XKeysymToKeycode(observer_, symbol);
        key.xkey.same_screen = True;
        ASSERT_TRUE(XSendEvent(observer_, xWindow, False, type == KeyPress ? KeyPressMask : KeyReleaseMask, &key));
    };
    send(XK_a, 0, KeyPress);
    send(XK_a, 0, KeyRelease);
    send(XK_F4, Mod1Mask, KeyPress);
    XFlush(observer_);

    SetTimer(window, 1, 60000, nullptr);  // a guard against a broken backend, not a deadline
    std::vector<MSG> keys;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        if (message.message >= WM_KEYDOWN && message.message <= WM_SYSCHAR) keys.push_back(message);
        if (message.message == WM_SYSCOMMAND) {
            EXPECT_EQ(message.wParam, static_cast<WPARAM>(SC_CLOSE));
            DispatchMessageA(&message);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(keys[1].message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(keys[2].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(keys[3].message, static_cast<UINT>(WM_SYSKEYDOWN));
    EXPECT_EQ(keys[3].wParam, static_cast<WPARAM>(VK_F4));
    EXPECT_TRUE(HIWORD(keys[3].lParam) & KF_ALTDOWN);
    EXPECT_FALSE(IsWindow(window)) << "DefWindowProc's WM_CLOSE destroyed the window";
}

// A key held on the X server's keyboard (xdotool through XTest): the server repeats it
// (Xvfb: after 660 ms, 25 a second) and the window gets what Windows sends, key downs
// marked as repeats and one key up at the release, not a key up and down per repeat.
TEST_F(X11BackendTest, X11HeldKeyRepeatsAsKeyDownsUntilItsRelease) {
    const std::string title = "platform x11 held key " + std::to_string(getpid());
    HWND window = CreateTopLevel(title.c_str());
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);
    ::Window xWindow = 0;
    XWindowAttributes attributes{};
    for (int tries = 0; tries < 200; ++tries) {
        xWindow = FindByName(observer_, DefaultRootWindow(observer_), title);
        if (xWindow && XGetWindowAttributes(observer_, xWindow, &attributes) && attributes.map_state == IsViewable) break;
        usleep(10000);
    }
    ASSERT_EQ(attributes.map_state, IsViewable) << "the window was never shown";
    XSetInputFocus(observer_, xWindow, RevertToParent, CurrentTime);
    XSync(observer_, False);

    int typed = -1;
    std::thread keyboard([&] { typed = std::system("xdotool keydown a && sleep 1.5 && xdotool keyup a"); });
    SetTimer(window, 1, 60000, nullptr);  // a guard against keys that never come, not a deadline
    std::vector<MSG> keys;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        if (message.message == WM_KEYDOWN || message.message == WM_KEYUP) keys.push_back(message);
        if (message.message == WM_KEYUP) break;
        DispatchMessageA(&message);
    }
    keyboard.join();
    ASSERT_EQ(typed, 0) << "xdotool failed (scripts/test installs it)";
    ASSERT_FALSE(keys.empty()) << "no key reached the window";
    EXPECT_EQ(keys.back().message, static_cast<UINT>(WM_KEYUP)) << "\"a\" held did not end with its release";
    int repeats = 0;
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        EXPECT_EQ(keys[i].message, static_cast<UINT>(WM_KEYDOWN)) << "message " << i << " before the release";
        EXPECT_EQ(keys[i].wParam, static_cast<WPARAM>('A'));
        EXPECT_EQ((HIWORD(keys[i].lParam) & KF_REPEAT) != 0, i > 0) << "message " << i;
        repeats += i > 0;
    }
    EXPECT_GE(repeats, 2) << "\"a\" held for 1.5 s did not repeat";
}

// Xlib writes to the connection with writev: a server that goes away between libxcb's
// poll and its write raises SIGPIPE there. Under load that ended the program with exit
// status 141 instead of through WM_DESTROY (tests/x11_lost_display.sh); the raised
// signal stands in for that write.
TEST_F(X11BackendTest, X11ConnectionLeavesAWriteToAServerThatWentAwayToXlibsErrorPath) {
    HWND window = CreateTopLevel("platform x11 broken pipe");
    ASSERT_NE(window, nullptr);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            raise(SIGPIPE);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// A window manager may hand the window any size; one beyond the largest tracking size
// is taken back to it, and the X window is told, so that no surface outgrows the bound.
TEST_F(X11BackendTest, X11WindowResizedBeyondTheScreenIsHeldToTheLargestTrackingSize) {
    const std::string title = "platform x11 resize test " + std::to_string(getpid());
    HWND window = CreateTopLevel(title.c_str());
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);
    ::Window xWindow = FindByName(observer_, DefaultRootWindow(observer_), title);
    ASSERT_NE(xWindow, 0u) << "no X window with the title";

    XResizeWindow(observer_, xWindow, 32767, 32767);
    XFlush(observer_);
    // The resize arrives as display events, taken while the loop waits; the timer is
    // only a guard against a backend that never reports it.
    SetTimer(window, 1, 10, nullptr);
    RECT client{0, 0, 784, 361};
    MSG message;
    for (int ticks = 0; client.right == 784 && ticks < 3000 && GetMessageA(&message, nullptr, 0, 0) > 0;) {
        if (message.message == WM_TIMER) ++ticks;
        DispatchMessageA(&message);
        GetClientRect(window, &client);
    }
    const int frameWidth = 800 - 784, frameHeight = 400 - 361;
    EXPECT_EQ(client.right, GetSystemMetrics(SM_CXMAXTRACK) - frameWidth);
    EXPECT_EQ(client.bottom, GetSystemMetrics(SM_CYMAXTRACK) - frameHeight);

    XWindowAttributes attributes{};
    for (int polls = 0; polls < 500; ++polls) {
        XGetWindowAttributes(observer_, xWindow, &attributes);
        if (attributes.width == client.right) break;
        usleep(10000);
    }
    EXPECT_EQ(attributes.width, client.right) << "the X window kept the size beyond the bound";
    EXPECT_EQ(attributes.height, client.bottom);
}

}  // namespace
