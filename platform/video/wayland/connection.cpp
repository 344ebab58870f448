// Windows on a Wayland compositor: the connection, its globals, input from the seat and
// a compositor that goes away.
//
// A compositor that goes away (it ended or crashed) is handled as a lost X display:
// every window is reported gone, the window manager destroys it as DestroyWindow does,
// and the program gets WM_DESTROY and ends the way it always does, with exit code 0.
#include "wayland/connection.h"

#include <linux/input-event-codes.h>
#include <unistd.h>
#include <winuser.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fractional-scale-v1-client.h"
#include "viewporter-client.h"
#include "wayland/window.h"
#include "xdg-decoration-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"
#include "xdg-shell-client.h"

namespace platform::video::wayland {
namespace {

// The versions this backend speaks; a compositor may offer newer ones.
constexpr uint32_t CompositorVersion = 4;  // wl_surface.damage_buffer
constexpr uint32_t SeatVersion = 5;
constexpr uint32_t OutputVersion = 2;  // wl_output.scale

uint32_t Version(uint32_t offered, uint32_t spoken) { return std::min(offered, spoken); }

template <typename Proxy>
Proxy* Bind(wl_registry* registry, uint32_t name, const wl_interface& interface, uint32_t offered, uint32_t spoken) {
    return static_cast<Proxy*>(wl_registry_bind(registry, name, &interface, Version(offered, spoken)));
}

const xdg_wm_base_listener WmBaseListener = {
    // The compositor asks whether the program still answers.
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

}  // namespace

const wl_registry_listener Connection::RegistryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        auto* self = static_cast<Connection*>(data);
        if (std::strcmp(interface, wl_compositor_interface.name) == 0 && version >= CompositorVersion) {
            self->compositor_ = Bind<wl_compositor>(registry, name, wl_compositor_interface, version, CompositorVersion);
        } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            self->shm_ = Bind<wl_shm>(registry, name, wl_shm_interface, version, 1);
        } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
            self->wmBase_ = Bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, version, 1);
            xdg_wm_base_add_listener(self->wmBase_, &WmBaseListener, self);
        } else if (std::strcmp(interface, zxdg_decoration_manager_v1_interface.name) == 0) {
            self->decorationManager_ =
                Bind<zxdg_decoration_manager_v1>(registry, name, zxdg_decoration_manager_v1_interface, version, 1);
        } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
            self->fractionalScaleManager_ =
                Bind<wp_fractional_scale_manager_v1>(registry, name, wp_fractional_scale_manager_v1_interface, version, 1);
        } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
            self->viewporter_ = Bind<wp_viewporter>(registry, name, wp_viewporter_interface, version, 1);
        } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
            self->outputManager_ = Bind<zxdg_output_manager_v1>(registry, name, zxdg_output_manager_v1_interface, version, 1);
            for (auto& [outputName, output] : self->outputs_) self->WatchLogicalSize(output);
        } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
            self->seat_ = Bind<wl_seat>(registry, name, wl_seat_interface, version, SeatVersion);
            wl_seat_add_listener(self->seat_, &SeatListener, self);
        } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= OutputVersion) {
            Output& output = self->outputs_[name];
            output.connection = self;
            output.output = Bind<wl_output>(registry, name, wl_output_interface, version, OutputVersion);
            wl_output_add_listener(output.output, &OutputListener, &output);
            self->WatchLogicalSize(output);
        }
    },
    // global_remove: an output unplugged.
    [](void* data, wl_registry*, uint32_t name) {
        auto* self = static_cast<Connection*>(data);
        auto found = self->outputs_.find(name);
        if (found == self->outputs_.end()) return;
        if (found->second.logical != nullptr) zxdg_output_v1_destroy(found->second.logical);
        wl_output_destroy(found->second.output);
        self->outputs_.erase(found);
    },
};

const wl_output_listener Connection::OutputListener = {
    // geometry
    [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*, int32_t) {},
    // mode
    [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
        auto* output = static_cast<Output*>(data);
        output->width = width;
        output->height = height;
    },
    // done: a scale changed at run time reaches the windows on that output.
    [](void* data, wl_output*) {
        Connection* self = static_cast<Output*>(data)->connection;
        std::vector<WaylandWindow*> windows;
        for (const auto& [window, handle] : self->windows_) windows.push_back(window);
        for (WaylandWindow* window : windows) {
            if (self->windows_.count(window) > 0) window->OnOutputScaleChanged();
        }
    },
    // scale
    [](void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->scale = std::max(factor, 1); },
    // name, description
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener Connection::LogicalOutputListener = {
    // logical_position
    [](void*, zxdg_output_v1*, int32_t, int32_t) {},
    // logical_size
    [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        auto* output = static_cast<Output*>(data);
        output->logicalWidth = width;
        output->logicalHeight = height;
    },
    // done, name, description
    [](void*, zxdg_output_v1*) {},
    [](void*, zxdg_output_v1*, const char*) {},
    [](void*, zxdg_output_v1*, const char*) {},
};

void Connection::WatchLogicalSize(Output& output) {
    if (outputManager_ == nullptr || output.logical != nullptr) return;
    output.logical = zxdg_output_manager_v1_get_xdg_output(outputManager_, output.output);
    zxdg_output_v1_add_listener(output.logical, &LogicalOutputListener, &output);
}

const wl_seat_listener Connection::SeatListener = {
    [](void* data, wl_seat* seat, uint32_t capabilities) {
        auto* self = static_cast<Connection*>(data);
        const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
        const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
        if (pointer && self->pointer_ == nullptr) {
            self->pointer_ = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(self->pointer_, &PointerListener, self);
        } else if (!pointer && self->pointer_ != nullptr) {
            wl_pointer_release(self->pointer_);
            self->pointer_ = nullptr;
            self->pointerFocus_ = nullptr;
        }
        if (keyboard && self->keyboard_ == nullptr) {
            self->keyboard_ = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(self->keyboard_, &KeyboardListener, self);
        } else if (!keyboard && self->keyboard_ != nullptr) {
            wl_keyboard_release(self->keyboard_);
            self->keyboard_ = nullptr;
            self->keyboardFocus_ = nullptr;
        }
    },
    // name
    [](void*, wl_seat*, const char*) {},
};

// Pointer positions are surface coordinates, which are already logical pixels at any
// scale (the buffer scale or the viewport maps them onto the device pixels).
const wl_pointer_listener Connection::PointerListener = {
    // enter
    [](void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
        auto* self = static_cast<Connection*>(data);
        self->pointerFocus_ = self->WindowOf(surface);
        self->pointerX_ = x;
        self->pointerY_ = y;
    },
    // leave
    [](void* data, wl_pointer*, uint32_t, wl_surface*) { static_cast<Connection*>(data)->pointerFocus_ = nullptr; },
    // motion
    [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        auto* self = static_cast<Connection*>(data);
        self->pointerX_ = x;
        self->pointerY_ = y;
    },
    // button: the left one, as the X11 backend delivers Button1.
    [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
        auto* self = static_cast<Connection*>(data);
        if (button != BTN_LEFT || self->pointerFocus_ == nullptr || self->sink_ == nullptr) return;
        const int x = static_cast<int>(std::floor(wl_fixed_to_double(self->pointerX_)));
        const int y = static_cast<int>(std::floor(wl_fixed_to_double(self->pointerY_)));
        self->sink_->OnMouseButton(self->pointerFocus_->handle(), x, y, state == WL_POINTER_BUTTON_STATE_PRESSED);
    },
    // axis, frame, axis_source, axis_stop, axis_discrete
    [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, int32_t) {},
    // axis_value120
    [](void*, wl_pointer*, uint32_t, int32_t) {},
};

const wl_keyboard_listener Connection::KeyboardListener = {
    // keymap
    [](void* data, wl_keyboard*, uint32_t format, int32_t descriptor, uint32_t size) {
        auto* self = static_cast<Connection*>(data);
        if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            close(descriptor);
            return;
        }
        self->keys_.LoadKeymap(descriptor, size);
        self->repeat_.Stop();
    },
    // enter
    [](void* data, wl_keyboard*, uint32_t, wl_surface* surface, wl_array*) {
        auto* self = static_cast<Connection*>(data);
        self->keyboardFocus_ = self->WindowOf(surface);
    },
    // leave
    [](void* data, wl_keyboard*, uint32_t, wl_surface*) {
        auto* self = static_cast<Connection*>(data);
        self->keyboardFocus_ = nullptr;
        self->repeat_.Stop();
    },
    // key: the compositor sends a held key once; its repeats are the client's to make.
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        auto* self = static_cast<Connection*>(data);
        const bool pressed = state == WL_KEYBOARD_KEY_STATE_PRESSED;
        const bool delivered = self->DeliverKey(key, pressed);
        if (!pressed) {
            self->repeat_.Released(key);
        } else {
            self->repeat_.Pressed(key, delivered && self->keys_.Repeats(key), KeyRepeat::Clock::now());
        }
    },
    // modifiers
    [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
        static_cast<Connection*>(data)->keys_.UpdateModifiers(depressed, latched, locked, group);
    },
    // repeat_info
    [](void* data, wl_keyboard*, int32_t rate, int32_t delay) { static_cast<Connection*>(data)->repeat_.SetTiming(rate, delay); },
};

Connection::Connection(wl_display* display) : display_(display) {}

std::unique_ptr<Connection> Connection::Open(std::string& whyNot) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') {
        whyNot = "WAYLAND_DISPLAY is not set";
        return nullptr;
    }
    // A name is a socket in XDG_RUNTIME_DIR, an absolute path the socket itself.
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        whyNot = std::string("cannot connect to ") + name + " (" + std::strerror(errno) + ")";
        return nullptr;
    }
    std::unique_ptr<Connection> connection(new Connection(display));
    if (!connection->BindGlobals(whyNot)) return nullptr;
    return connection;
}

// Two round trips: the globals, then what the bound ones say at once (the outputs'
// scales and modes, the seat's devices, the keymap).
bool Connection::BindGlobals(std::string& whyNot) {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &RegistryListener, this);
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
        whyNot = "the compositor closed the connection";
        return false;
    }
    if (compositor_ == nullptr)
        whyNot = "the compositor offers no wl_compositor 4";
    else if (shm_ == nullptr)
        whyNot = "the compositor offers no wl_shm";
    else if (wmBase_ == nullptr)
        whyNot = "the compositor offers no xdg_wm_base";
    if (!whyNot.empty()) return false;
    // Started here, before the program's first wait announces a read: it makes round
    // trips of its own.
    if (decorationManager_ == nullptr) clientDecorations_ = ClientDecorations::Start(display_);
    return true;
}

Connection::~Connection() {
    if (readPrepared_) wl_display_cancel_read(display_);
    clientDecorations_.reset();
    if (pointer_ != nullptr) wl_pointer_destroy(pointer_);
    if (keyboard_ != nullptr) wl_keyboard_destroy(keyboard_);
    if (seat_ != nullptr) wl_seat_destroy(seat_);
    for (auto& [name, output] : outputs_) {
        if (output.logical != nullptr) zxdg_output_v1_destroy(output.logical);
        wl_output_destroy(output.output);
    }
    if (outputManager_ != nullptr) zxdg_output_manager_v1_destroy(outputManager_);
    if (viewporter_ != nullptr) wp_viewporter_destroy(viewporter_);
    if (fractionalScaleManager_ != nullptr) wp_fractional_scale_manager_v1_destroy(fractionalScaleManager_);
    if (decorationManager_ != nullptr) zxdg_decoration_manager_v1_destroy(decorationManager_);
    if (wmBase_ != nullptr) xdg_wm_base_destroy(wmBase_);
    if (shm_ != nullptr) wl_shm_destroy(shm_);
    if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
    if (registry_ != nullptr) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

std::unique_ptr<Window> Connection::CreateWindow(HWND window, int clientWidth, int clientHeight, EventSink& events) {
    auto created = std::make_unique<WaylandWindow>(*this, window, clientWidth, clientHeight, events);
    windows_[created.get()] = window;
    if (lost_) created->MarkGone();
    return created;
}

void Connection::Forget(WaylandWindow* window) {
    windows_.erase(window);
    if (pointerFocus_ == window) pointerFocus_ = nullptr;
    if (keyboardFocus_ == window) {
        keyboardFocus_ = nullptr;
        repeat_.Stop();
    }
}

WaylandWindow* Connection::WindowOf(wl_surface* surface) const {
    if (surface == nullptr) return nullptr;
    auto* window = static_cast<WaylandWindow*>(wl_surface_get_user_data(surface));
    return windows_.count(window) > 0 ? window : nullptr;
}

int Connection::EventDescriptor() const { return lost_ ? -1 : wl_display_get_fd(display_); }

// The read announced before the wait is done now: read when the socket polled readable,
// else given up. Never left announced, or libwayland would make the next reader wait.
void Connection::EndRead(bool readable) {
    if (!readPrepared_) return;
    readPrepared_ = false;
    if (!readable) {
        wl_display_cancel_read(display_);
        return;
    }
    if (wl_display_read_events(display_) < 0) NoteConnectionLost();
}

void Connection::DispatchEvents(EventSink& sink, bool descriptorReadable) {
    sink_ = &sink;
    if (!lost_) {
        // Readable without a read announced (the first wait, say): announced now; events
        // already queued are dispatched first and the socket is read after the next wait.
        if (descriptorReadable && !readPrepared_ && wl_display_prepare_read(display_) == 0) readPrepared_ = true;
        EndRead(descriptorReadable);
    }
    if (!lost_ && wl_display_dispatch_pending(display_) < 0) NoteConnectionLost();
    if (!lost_) DeliverDueRepeat();
    if (!lost_) {
        // A release or a frame callback may have freed the way for a frame.
        std::vector<WaylandWindow*> windows;
        for (const auto& [window, handle] : windows_) windows.push_back(window);
        for (WaylandWindow* window : windows) {
            if (windows_.count(window) > 0) window->SendFrameIfReady();
        }
    }
    if (lost_) ReportAllGone(sink);
}

bool Connection::PrepareToWait() {
    if (lost_) return false;
    if (!readPrepared_) {
        // Events already queued: they are dispatched before any wait.
        if (wl_display_prepare_read(display_) != 0) return true;
        readPrepared_ = true;
    }
    // What is not sent now would wait with the program. A full socket (EAGAIN) keeps
    // the rest buffered for the next flush; the requests here are small (the pixels go
    // through shared memory), so that is a compositor that stopped reading.
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        NoteConnectionLost();
        return true;  // dispatched at once: the windows are reported gone
    }
    return false;
}

std::optional<std::chrono::steady_clock::time_point> Connection::NextOwnInput() const {
    if (lost_) return std::nullopt;
    return repeat_.NextDue();
}

// Alt's own press and release count as Alt held, as Windows reports them. False when
// the key went nowhere: no window has the keyboard, or the key has no virtual key.
bool Connection::DeliverKey(uint32_t key, bool pressed) {
    if (keyboardFocus_ == nullptr || sink_ == nullptr) return false;
    const KeyMeaning meaning = keys_.Meaning(key);
    if (meaning.virtualKey == 0) return false;
    const bool altDown = keys_.AltDown() || meaning.virtualKey == VK_MENU;
    sink_->OnKey(keyboardFocus_->handle(), meaning.virtualKey, pressed, altDown, meaning.character);
    return true;
}

// A repeat is the key's press again, with the modifiers held now, as the X server
// repeats a KeyPress; the window manager marks it as a key that was already down.
// The clock is read only while a key is held.
void Connection::DeliverDueRepeat() {
    if (!repeat_.NextDue()) return;
    if (std::optional<uint32_t> key = repeat_.TakeDue(KeyRepeat::Clock::now())) DeliverKey(*key, true);
}

SIZE Connection::ScreenSize() const {
    for (const auto& [name, output] : outputs_) {
        if (output.logicalWidth > 0 && output.logicalHeight > 0) return SIZE{output.logicalWidth, output.logicalHeight};
        if (output.width > 0 && output.height > 0) return SIZE{output.width / output.scale, output.height / output.scale};
    }
    return SIZE{1920, 1080};
}

int Connection::OutputScale(wl_output* output) const {
    for (const auto& [name, known] : outputs_) {
        if (known.output == output) return known.scale;
    }
    return 1;
}

int Connection::LargestOutputScale() const {
    int largest = 1;
    for (const auto& [name, output] : outputs_) largest = std::max(largest, output.scale);
    return largest;
}

void Connection::NoteConnectionLost() {
    if (lost_) return;
    const int error = wl_display_get_error(display_);
    std::fprintf(stderr, "wayland: lost the connection to the compositor (%s)\n", std::strerror(error != 0 ? error : EPIPE));
    if (readPrepared_) wl_display_cancel_read(display_);
    readPrepared_ = false;
    lost_ = true;
}

void Connection::ReportAllGone(EventSink& sink) {
    std::vector<std::pair<WaylandWindow*, HWND>> remaining(windows_.begin(), windows_.end());
    for (auto& [window, handle] : remaining) {
        if (windows_.count(window) == 0) continue;
        window->MarkGone();
        windows_.erase(window);
        sink.OnWindowDestroyed(handle);
    }
}

namespace {

std::unique_ptr<Backend> CreateWayland(std::string& whyNot) { return Connection::Open(whyNot); }

}  // namespace
}  // namespace platform::video::wayland

namespace platform::video {

const BackendEntry WaylandBackendEntry = {"wayland", "windows on the Wayland compositor named by WAYLAND_DISPLAY",
                                          wayland::CreateWayland};

}  // namespace platform::video
