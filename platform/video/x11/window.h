// One top-level window on the X display: an X window the size of the client area; the
// window manager draws the real frame around it. It is mapped with its first frame, so
// the first thing on screen is complete.
#pragma once

#include <X11/Xlib.h>

#include <span>
#include <string>

#include "video/video.h"

namespace platform::video::x11 {

class Connection;

class X11Window final : public Window {
public:
    // Creates the X window, unmapped, with what desktops match it by.
    X11Window(Connection& connection, int clientWidth, int clientHeight);
    ~X11Window() override;
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    ::Window id() const { return xWindow_; }
    void SetTitle(const std::string& utf8Title) override;
    void Show(bool visible) override;
    void Resize(int clientWidth, int clientHeight) override;
    // The display resized the window to this logical client size.
    void NoteClientSize(int clientWidth, int clientHeight);
    // The display's scale changed: the X window becomes the client area at the new one.
    void FollowScale();
    bool WantsFrames() const override;
    void Present(std::span<const Layer> layers) override;
    // Maps the window if it is to be shown and is not yet; within a request.
    void Map(Display* display);

private:
    bool Gone() const;

    Connection& connection_;
    ::Window xWindow_ = 0;
    GC gc_ = nullptr;
    bool mapWanted_ = false;
    int width_, height_;  // logical, the client area
};

}  // namespace platform::video::x11
