// The real program on a real X display: what desktops match its window by, a window
// that another client destroys ends the program the normal way, and the server shows
// the pixels the offscreen display shows.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "program_names.h"
#include "provisioned.h"
#include "testing/window_test.h"
#include "window_fixture.h"
#include "user32/user32.h"
#include "video/video.h"
#include "x11_peer.h"
// Xlib's macros (None, Bool, Status) must come after GoogleTest's templates.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

namespace {

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

bool EightBitsPerChannel(const Visual* visual) {
    return visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

// The window's client area as the X server shows it; empty unless the window's pixels
// have 8 bits for each of red, green and blue.
platform::test::Image ReadBack(Display* display, ::Window window) {
    platform::test::Image image;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || !EightBitsPerChannel(attributes.visual)) return image;
    XImage* shown = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!shown) return image;
    image.width = attributes.width;
    image.height = attributes.height;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) image.pixels.push_back(static_cast<uint32_t>(XGetPixel(shown, x, y) & 0xFFFFFF));
    }
    XDestroyImage(shown);
    return image;
}

// This process's window with the program's title (other tests may run beside it).
::Window FindOurWindow(Display* display, ::Window parent) {
    return FindNamedWindow(display, parent, [&](::Window window, const std::string& name) {
        return name == MainWindowTitle && CardinalProperty(display, window, "_NET_WM_PID") == getpid();
    });
}

class X11ProgramTest : public AudioTest {
protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name) SKIP_FOR_MISSING("x11") << "DISPLAY is not set (scripts/test starts Xvfb)";
        outsider_ = XOpenDisplay(name);
        if (!outsider_) SKIP_FOR_MISSING("x11") << "cannot open display " << name;
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

// What the X server shows after a value-row change: the reference image, which the
// offscreen display gives for the same change (tests/golden). Alone on the display
// (tests/CMakeLists.txt): another window over this one would hide its pixels.
TEST_F(X11ProgramTest, TheWindowReadBackAfterARowChangeIsTheReferenceImage) {
    if (!EightBitsPerChannel(DefaultVisual(outsider_, DefaultScreen(outsider_))))
        SKIP_FOR_MISSING("x11") << "the display's pixels are not 8 bits for each of red, green and blue";
    const platform::test::Image reference = platform::test::LoadPng(GoldenImage);
    ASSERT_NE(reference.width, 0) << "cannot read " << GoldenImage;
    auto audio = Use({PlayerSession()});

    // Polls the window until its pixels equal the reference outside except, for at
    // most 10 s; the last difference seen.
    const platform::test::ImageDifference neverRead{-1, {-1, -1}};
    auto waitUntilShown = [&](::Window window, const RECT& except) {
        platform::test::ImageDifference difference = neverRead;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            const platform::test::Image shown = ReadBack(outsider_, window);
            if (shown.width == reference.width && shown.height == reference.height) {
                difference = Difference(shown, reference, except);
                if (difference.count == 0) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < deadline);
        return difference;
    };
    platform::test::ImageDifference firstFrame = neverRead, afterTheChange = neverRead;
    std::thread outsider([&] {
        const ::Window window = WaitForWindow();
        if (!window) return;
        firstFrame = waitUntilShown(window, VolumeBox);
        audio->OtherClientSetVolume(0, 0.25f);
        audio->Flush();
        afterTheChange = waitUntilShown(window, RECT{});
        SendDeleteWindow(outsider_, window);
    });
    char commandLine[] = "";
    const int exitCode = WinMain(platform::user32::ProgramInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
    outsider.join();

    EXPECT_EQ(firstFrame.count, 0) << "the window never showed as the reference before the change; first difference at ("
                                   << firstFrame.first.x << ", " << firstFrame.first.y << ")";
    EXPECT_EQ(afterTheChange.count, 0)
        << "the changed row never reached the server as the reference shows it; first difference at (" << afterTheChange.first.x
        << ", " << afterTheChange.first.y << ")";
    EXPECT_EQ(exitCode, 0);
}

// The desktop at 200 %, as GNOME, KDE or xrdb publish it: Xft.dpi 192 in the display's
// resource database. The window is twice the size in device pixels, the X server shows
// what the offscreen display shows at scale 2, and a click at device coordinates lands
// on the button drawn there. Needs a screen of at least 1600 x 800 (tests/x11_scale.sh
// starts one): on a smaller one the window is held to the screen, as on Windows.
class X11ScaleTest : public X11ProgramTest {
protected:
    void SetUp() override {
        X11ProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const int screen = DefaultScreen(outsider_);
        if (DisplayWidth(outsider_, screen) < 1600 || DisplayHeight(outsider_, screen) < 800)
            GTEST_SKIP() << "the screen is smaller than 1600 x 800 (tests/x11_scale.sh starts a display of 3840 x 2160)";
        SetResources("Xft.dpi:\t192\n");
    }
    void TearDown() override {
        if (outsider_) {
            XDeleteProperty(outsider_, DefaultRootWindow(outsider_), XA_RESOURCE_MANAGER);
            XSync(outsider_, False);
        }
        X11ProgramTest::TearDown();
    }

    // What xrdb -merge does; read by the program when it opens the display.
    void SetResources(const std::string& resources) {
        XChangeProperty(outsider_, DefaultRootWindow(outsider_), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(resources.data()), static_cast<int>(resources.size()));
        XSync(outsider_, False);
    }

    // The offscreen display's picture at scale 2 after a click on "0.25"; the window
    // system is then ready for the program on the X display.
    platform::test::Image Scale2ReferenceAfterAClick() {
        platform::test::Image reference;
        {
            OffscreenScale scale("2");
            Use({PlayerSession()});
            const platform::test::RunResult run = platform::test::RunWinMain({
                [&](platform::test::Program& program) { program.Click(AppState.btnVolume25); },
                [&](platform::test::Program& program) { program.AdvanceTime(30); },
                [&](platform::test::Program& program) {
                    reference = program.Snapshot();
                    program.Close();
                },
            });
            EXPECT_EQ(run.stepsRun, 3u);
            EXPECT_EQ(service->SetCalls().size(), 1u) << "the reference's click did not reach the session";
        }
        ResetAppState();
        platform::test::ResetWindowSystem();
        platform::video::OverrideOrder({"x11"});
        return reference;
    }
};

// A button press and release as the X server delivers them, at device coordinates
// of the window.
void ClickAt(Display* display, ::Window window, int x, int y) {
    for (const bool press : {true, false}) {
        XEvent event{};
        event.xbutton.type = press ? ButtonPress : ButtonRelease;
        event.xbutton.display = display;
        event.xbutton.window = window;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.same_screen = True;
        XSendEvent(display, window, False, press ? ButtonPressMask : ButtonReleaseMask, &event);
    }
    XFlush(display);
}

TEST_F(X11ScaleTest, AtXftDpi192TheWindowIsTwiceAsLargeShowsTheScale2ReferenceAndTakesClicks) {
    if (!EightBitsPerChannel(DefaultVisual(outsider_, DefaultScreen(outsider_))))
        GTEST_SKIP() << "the display's pixels are not 8 bits for each of red, green and blue";
    // The reference: the offscreen display at scale 2 after a click on "0.25".
    const platform::test::Image reference = Scale2ReferenceAfterAClick();
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(reference.width, 2 * ClientWidth);
    ASSERT_EQ(reference.height, 2 * ClientHeight);

    // The real program on the X display, with a session in the same state.
    auto audio = Use({PlayerSession()});
    XWindowAttributes shownSize{};
    bool clickReached = false;
    const platform::test::ImageDifference neverRead{-1, {-1, -1}};
    platform::test::ImageDifference afterTheClick = neverRead, afterTheExpose = neverRead;
    std::thread outsider([&] {
        const ::Window window = WaitForWindow();
        if (!window || !XGetWindowAttributes(outsider_, window, &shownSize)) return;
        // Polls the window until it shows the reference, for at most 10 s; the last
        // difference seen.
        auto waitUntilShown = [&] {
            platform::test::ImageDifference difference = neverRead;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            do {
                if (!clickReached) clickReached = !audio->SetCalls().empty();
                const platform::test::Image shown = ReadBack(outsider_, window);
                if (clickReached && shown.width == reference.width && shown.height == reference.height) {
                    difference = Difference(shown, reference);
                    if (difference.count == 0) break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            } while (std::chrono::steady_clock::now() < deadline);
            return difference;
        };
        // The middle of "0.25" (logical 80..140 x 160..190), in device pixels.
        ClickAt(outsider_, window, 2 * 110, 2 * 175);
        afterTheClick = waitUntilShown();
        // The server loses part of the lower right (it turns white) and sends an expose in
        // device pixels, which must come back whole from the program's logical surfaces.
        XClearArea(outsider_, window, 2 * 400, 2 * 200, 2 * 300, 2 * 100, True);
        XFlush(outsider_);
        afterTheExpose = waitUntilShown();
        SendDeleteWindow(outsider_, window);
    });
    char commandLine[] = "";
    const int exitCode = WinMain(platform::user32::ProgramInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
    outsider.join();

    EXPECT_EQ(shownSize.width, 2 * ClientWidth) << "the X window is not twice the client width";
    EXPECT_EQ(shownSize.height, 2 * ClientHeight) << "the X window is not twice the client height";
    ASSERT_TRUE(clickReached) << "a click at device (220, 350) did not press \"0.25\"";
    const std::vector<platform::test::SetCall> calls = audio->SetCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, platform::test::SetCall::Volume);
    EXPECT_EQ(calls[0].volume, 0.25f);
    EXPECT_EQ(afterTheClick.count, 0) << "the window never showed as the offscreen display does at scale 2; first difference at ("
                                      << afterTheClick.first.x << ", " << afterTheClick.first.y << ")";
    EXPECT_EQ(afterTheExpose.count, 0) << "an exposed area did not come back; first difference at (" << afterTheExpose.first.x
                                       << ", " << afterTheExpose.first.y << ")";
    EXPECT_EQ(exitCode, 0);
}

// The desktop's scale changes while the program runs: a user's new scaling setting,
// which the desktop publishes by rewriting the resources, as xrdb -merge does here. The
// window follows from 96 to 192 dpi: twice the size, drawn again at scale 2 (what the
// offscreen display shows at scale 2), and a click at device coordinates lands on the
// button drawn there.
TEST_F(X11ScaleTest, AnXftDpiChangedWhileRunningIsFollowed) {
    if (!EightBitsPerChannel(DefaultVisual(outsider_, DefaultScreen(outsider_))))
        GTEST_SKIP() << "the display's pixels are not 8 bits for each of red, green and blue";
    const platform::test::Image reference = Scale2ReferenceAfterAClick();
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(reference.width, 2 * ClientWidth);

    SetResources("Xft.dpi:\t96\n");
    auto audio = Use({PlayerSession()});
    XWindowAttributes before{}, after{};
    int merge = -1;
    bool clickReached = false;
    platform::test::ImageDifference afterTheClick{-1, {-1, -1}};
    std::thread outsider([&] {
        const ::Window window = WaitForWindow();
        if (!window || !XGetWindowAttributes(outsider_, window, &before)) return;
        merge = std::system("echo 'Xft.dpi: 192' | xrdb -nocpp -merge");
        // Each wait for at most 10 s.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (XGetWindowAttributes(outsider_, window, &after) && after.width != 2 * ClientWidth &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ClickAt(outsider_, window, 2 * 110, 2 * 175);
        deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            if (!clickReached) clickReached = !audio->SetCalls().empty();
            const platform::test::Image shown = ReadBack(outsider_, window);
            if (clickReached && shown.width == reference.width && shown.height == reference.height) {
                afterTheClick = Difference(shown, reference);
                if (afterTheClick.count == 0) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < deadline);
        SendDeleteWindow(outsider_, window);
    });
    char commandLine[] = "";
    const int exitCode = WinMain(platform::user32::ProgramInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
    outsider.join();

    EXPECT_EQ(before.width, ClientWidth) << "at 96 dpi the X window is not the client area";
    EXPECT_EQ(before.height, ClientHeight);
    ASSERT_EQ(merge, 0) << "xrdb -merge failed (scripts/test installs x11-xserver-utils)";
    EXPECT_EQ(after.width, 2 * ClientWidth) << "the X window did not follow Xft.dpi 192";
    EXPECT_EQ(after.height, 2 * ClientHeight);
    ASSERT_TRUE(clickReached) << "a click at device (220, 350) did not press \"0.25\" at the new scale";
    EXPECT_EQ(audio->SetCalls()[0].volume, 0.25f);
    EXPECT_EQ(afterTheClick.count, 0) << "the window never showed as the offscreen display does at scale 2; first difference at ("
                                      << afterTheClick.first.x << ", " << afterTheClick.first.y << ")";
    EXPECT_EQ(exitCode, 0);
}

// GDK_SCALE, where the user set it, wins over Xft.dpi, as in GTK: here it asks for 2 on
// a display whose resources say 96 dpi.
TEST_F(X11ScaleTest, GdkScaleWinsOverXftDpi) {
    SetResources("Xft.dpi:\t96\n");
    setenv("GDK_SCALE", "2", 1);
    Use({PlayerSession()});
    XWindowAttributes shownSize{};
    std::thread outsider([&] {
        const ::Window window = WaitForWindow();
        if (!window) return;
        XGetWindowAttributes(outsider_, window, &shownSize);
        SendDeleteWindow(outsider_, window);
    });
    char commandLine[] = "";
    const int exitCode = WinMain(platform::user32::ProgramInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
    outsider.join();
    unsetenv("GDK_SCALE");

    EXPECT_EQ(shownSize.width, 2 * ClientWidth);
    EXPECT_EQ(shownSize.height, 2 * ClientHeight);
    EXPECT_EQ(exitCode, 0);
}

}  // namespace
