// The X11 backend's connection to the display: it creates the windows, reads the
// display's events and turns them into the window manager's calls, translates keys,
// and notices windows that another client destroyed and a connection that was lost.
//
// An idle program must not talk to the server: events are read only when the
// connection polled readable, or when a call of ours may have left some in Xlib's
// queue. Every such call goes through Request, which notes it.
#pragma once

#include <X11/Xlib.h>

#include <map>
#include <optional>
#include <set>
#include <utility>

#include "video/video.h"

namespace platform::video::x11 {

class X11Window;

class Connection final : public Backend {
public:
    explicit Connection(Display* display);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::unique_ptr<Window> CreateWindow(HWND window, int clientWidth, int clientHeight, EventSink& events) override;
    int EventDescriptor() const override;
    void DispatchEvents(EventSink& sink, bool descriptorReadable) override;
    bool PrepareToWait() override;
    SIZE ScreenSize() const override;

    // The only way to the display for the rest of the backend: calls(display) runs
    // Xlib calls, and the next pass reads the connection whatever it polls. Any call
    // that sends or asks may read it on the way: a round trip reads until its reply (an
    // atom, the keyboard map on the first key lookup), and a request that finds the
    // output buffer full makes Xlib wait to write and read whatever arrives meanwhile
    // (a large frame). What it reads lands in Xlib's queue, where polling the socket
    // cannot see it; left there, a close request could wait forever.
    template <typename Calls>
    decltype(auto) Request(Calls&& calls) {
        mayHoldEvents_ = true;
        return std::forward<Calls>(calls)(display_);
    }

    // The window will be mapped before the thread next sleeps, unless a frame maps it
    // first; waiting false takes it off that list.
    void AwaitMap(X11Window* window, bool waiting);
    // No request may go to the X window any more: another client destroyed it, or the
    // connection is lost.
    bool IsGone(::Window xWindow) const;
    // The X window is destroyed (or gone): its events and HWND are forgotten.
    void Forget(::Window xWindow);
    // A protocol error that a window of ours explains: it may be gone before its
    // DestroyNotify is read, or another client destroyed it.
    bool ExplainsError(const XErrorEvent& error) const;

    // Device pixels per logical pixel on this display, as the desktop publishes it.
    double scale() const { return scale_; }
    Atom wmDeleteWindow() const { return wmDeleteWindow_; }
    Atom netWmName() const { return netWmName_; }
    Atom utf8String() const { return utf8String_; }

private:
    void DeliverKey(EventSink& sink, HWND window, XKeyEvent& key);
    void FollowDesktopScale(EventSink& sink);
    void WatchConnection();
    void ReportGone(EventSink& sink, ::Window xWindow);
    void ReportAllGone(EventSink& sink);
    bool ServerHungUp() const;
    void NoteConnectionLost();
    [[noreturn]] static void EndAfterConnectionLost(Display* display, void* connection);

    struct Known {
        HWND handle;
        X11Window* native;
    };

    Display* display_;
    // GDK_SCALE, where the user set it: then the desktop's setting is not followed.
    std::optional<double> userScale_;
    double scale_;
    Atom wmProtocols_, wmDeleteWindow_, netWmName_, utf8String_;
    std::map<::Window, Known> windows_;
    // Destroyed by another client (or lost with the connection); kept after the HWND is
    // gone, since errors of requests sent before the destruction was seen may come late.
    std::set<::Window> gone_;
    bool connectionLost_ = false;
    EventSink* lastSink_ = nullptr;
    std::set<X11Window*> awaitingMap_;
    bool mayHoldEvents_ = true;  // the atoms' round trips at start
};

}  // namespace platform::video::x11
