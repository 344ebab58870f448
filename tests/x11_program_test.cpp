// The real program on a real X display: what desktops match its window by, and a
// window that another client destroys ends the program the normal way.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "audio_fixture.h"
#include "testing/window_test.h"
#include "user32/user32.h"
#include "video/video.h"
#include "x11_peer.h"
// Xlib's macros (None, Bool, Status) must come after GoogleTest's templates.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

namespace {

const char Title[] = "ISimpleAudioVolume::SetMasterVolume TEST2";

long CardinalProperty(Display* display, ::Window window, const char* name, unsigned long* count = nullptr) {
    Atom type;
    int format;
    unsigned long items = 0, remaining;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1 << 16, False, XA_CARDINAL, &type, &format,
                           &items, &remaining, &data) == Success &&
        data) {
        if (items > 0) value = reinterpret_cast<long*>(data)[0];
        XFree(data);
    }
    if (count) *count = items;
    return value;
}

// This process's window with the program's title (other tests may run beside it).
::Window FindOurWindow(Display* display, ::Window parent) {
    return FindNamedWindow(display, parent, [&](::Window window, const std::string& name) {
        return name == Title && CardinalProperty(display, window, "_NET_WM_PID") == getpid();
    });
}

class X11ProgramTest : public AudioTest {
protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name) GTEST_SKIP() << "DISPLAY is not set: this test needs an X server (scripts/test starts Xvfb)";
        outsider_ = XOpenDisplay(name);
        if (!outsider_) GTEST_SKIP() << "cannot open display " << name;
        AudioTest::SetUp();
        platform::test::ResetWindowSystem();
        platform::video::OverrideOrder({"x11"});
    }
    void TearDown() override {
        if (!outsider_) return;
        platform::test::ResetWindowSystem();
        platform::video::OverrideOrder({});
        XCloseDisplay(outsider_);
        AudioTest::TearDown();
    }

    // Waits for the program's window, as another client sees it.
    ::Window WaitForWindow() {
        for (int attempt = 0; attempt < 300; ++attempt) {
            XWindowAttributes attributes;
            ::Window window = FindOurWindow(outsider_, DefaultRootWindow(outsider_));
            if (window && XGetWindowAttributes(outsider_, window, &attributes) && attributes.map_state == IsViewable) return window;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return 0;
    }

    Display* outsider_ = nullptr;
};

// xdotool windowclose does exactly this: XDestroyWindow from another connection.
// Without a window the program must not live on: it gets WM_DESTROY, releases the
// session and returns 0, and its window carries what desktops match it by.
TEST_F(X11ProgramTest, WindowDestroyedByAnotherClientEndsTheProgramThroughWmDestroy) {
    auto audio = Use({AppSession(u"x11 program test")});
    std::atomic<bool> destroyed{false};
    std::string instanceName, className;
    unsigned long iconItems = 0;
    long iconWidth = 0;
    std::thread outsider([&] {
        ::Window window = WaitForWindow();
        if (!window) return;
        XClassHint hint{};
        if (XGetClassHint(outsider_, window, &hint)) {
            instanceName = hint.res_name;
            className = hint.res_class;
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        iconWidth = CardinalProperty(outsider_, window, "_NET_WM_ICON", &iconItems);
        XDestroyWindow(outsider_, window);
        XSync(outsider_, False);
        destroyed = true;
    });
    char commandLine[] = "";
    const int exitCode = WinMain(platform::user32::ProgramInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
    outsider.join();

    ASSERT_TRUE(destroyed) << "the program's window never appeared";
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(AppState.session, nullptr) << "WM_DESTROY did not release the session";
    EXPECT_EQ(audio->RegisteredCount(), 0u);
    EXPECT_EQ(platform::test::LiveAudioObjects(), 0u);
    EXPECT_FALSE(IsWindow(AppState.hwndMain));

    // The .desktop file's StartupWMClass is "Sessionvol".
    EXPECT_EQ(instanceName, "sessionvol");
    EXPECT_EQ(className, "Sessionvol");
    EXPECT_EQ(iconWidth, 48);
    EXPECT_EQ(iconItems, 2u + 48u * 48u);
}

}  // namespace
