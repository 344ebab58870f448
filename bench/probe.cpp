// The measuring side of the benchmarks: watches a window on the X display from a
// connection of its own, and plays the other PulseAudio client. Figures only; the
// scripts in bench/ start the display, the sound server and the programs.
//
//   probe start TITLE MODE -- PROGRAM [ARGS...]
//       Starts PROGRAM and prints "<pid> <ms>": the time from exec until the window
//       named TITLE shows what MODE asks for. MODE "row": the value row's volume text
//       is on the display (dark pixels inside the volume box). MODE "settled": the last
//       change of the window's pixels before they stay still for 1 s.
//   probe change TITLE X Y W H COUNT
//       Sets the volume of the lowest-numbered sink input COUNT times, alternating
//       25 % and 50 %, and for each change waits until the pixels of the rectangle
//       X Y W H of the window change (polled at 2 kHz through MIT-SHM). Between
//       changes it waits a random 40 to 100 ms, so changes land at every point of the
//       program's timer period. Prints the percentiles of change -> pixels and of the
//       notification time a client sees (the server's event plus one info query).
//   probe commit LOG COUNT
//       As change, but a change is seen when a new wl_surface commit appears in LOG, the
//       program's libwayland request log (WAYLAND_DEBUG=client), polled at 2 kHz: the
//       frame handed to the compositor.
//   probe floor
//       A bare loop that waits 30 ms at a time on a fixed schedule: the floor an idle
//       program's wake-ups cost. Runs until killed.
//   probe cpu PID SECONDS
//       CPU time and times scheduled in (wake-ups) over SECONDS, of all threads of PID
//       and of its main thread: "<cpu ns> <wake-ups> <main cpu ns> <main wake-ups>".
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pulse/pulseaudio.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "x11_peer.h"

namespace {

int64_t NowNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void SleepNs(int64_t ns) {
    timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    nanosleep(&wait, nullptr);
}

// A viewable window named title, or 0.
::Window FindWindow(Display* display, ::Window parent, const char* title) {
    return FindNamedWindow(display, parent, [&](::Window window, const std::string& name) {
        XWindowAttributes attributes;
        return name == title && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
    });
}

// Grabs a rectangle of a window through shared memory: one request, no copy on the wire.
class Grabber {
public:
    Grabber(Display* display, ::Window window, int x, int y, int width, int height)
        : display_(display), window_(window), x_(x), y_(y) {
        int screen = DefaultScreen(display);
        image_ = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap, nullptr, &shm_,
                                 width, height);
        shm_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * height, IPC_CREAT | 0600);
        shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        shm_.readOnly = False;
        XShmAttach(display, &shm_);
        XSync(display, False);
        shmctl(shm_.shmid, IPC_RMID, nullptr);
    }
    ~Grabber() {
        XShmDetach(display_, &shm_);
        XSync(display_, False);
        image_->data = nullptr;
        XDestroyImage(image_);
        shmdt(shm_.shmaddr);
    }
    // False when the window is gone or not viewable.
    bool Grab() { return XShmGetImage(display_, window_, image_, x_, y_, AllPlanes) != 0; }
    std::vector<uint32_t> Pixels() const {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < image_->height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(image_->data + static_cast<size_t>(y) * image_->bytes_per_line);
            pixels.insert(pixels.end(), row, row + image_->width);
        }
        return pixels;
    }
    int Dark() const {
        int dark = 0;
        for (uint32_t pixel : Pixels())
            dark += ((pixel >> 16) & 0xFF) < 0x80 && ((pixel >> 8) & 0xFF) < 0x80 && (pixel & 0xFF) < 0x80;
        return dark;
    }

private:
    Display* display_;
    ::Window window_;
    int x_, y_;
    XShmSegmentInfo shm_{};
    XImage* image_;
};

int Start(int argc, char** argv) {
    if (argc < 6 || std::strcmp(argv[4], "--") != 0) return 2;
    const char* title = argv[2];
    const bool row = std::strcmp(argv[3], "row") == 0;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "probe: cannot open the display\n");
        return 1;
    }
    // A window of the last round may still be closing; its id may come back for the new
    // program's window (the server reuses a closed client's ids), so wait until it is gone.
    for (int tries = 0; FindWindow(display, DefaultRootWindow(display), title) && tries < 5000; ++tries) SleepNs(1'000'000);
    const int64_t start = NowNs();
    pid_t pid = fork();
    if (pid == 0) {
        // Not our standard output: whoever reads it waits for the pid and the time only.
        int nothing = open("/dev/null", O_WRONLY);
        dup2(nothing, STDOUT_FILENO);
        close(nothing);
        execvp(argv[5], argv + 5);
        _exit(127);
    }
    ::Window window = 0;
    while (!window) {
        window = FindWindow(display, DefaultRootWindow(display), title);
        if (NowNs() - start > 30'000'000'000) {
            std::fprintf(stderr, "probe: no window named %s after 30 s\n", title);
            return 1;
        }
        if (!window) SleepNs(500'000);
    }
    XWindowAttributes attributes;
    XGetWindowAttributes(display, window, &attributes);
    int64_t seen = 0;
    if (row) {
        // The volume box of the value row, inside its outline: x 10..310, y 125..155
        // (logical pixels; the display shows them at SESSIONVOL_BENCH_SCALE).
        const char* scaleText = std::getenv("SESSIONVOL_BENCH_SCALE");
        const double scale = scaleText ? std::atof(scaleText) : 1.0;
        auto device = [&](int logical) { return static_cast<int>(logical * (scale > 0 ? scale : 1.0) + 0.5); };
        Grabber grabber(display, window, device(12), device(127), device(296), device(26));
        while (!seen) {
            if (grabber.Grab() && grabber.Dark() >= 20) seen = NowNs();
            if (NowNs() - start > 30'000'000'000) {
                std::fprintf(stderr, "probe: the value row never showed text\n");
                return 1;
            }
            SleepNs(250'000);
        }
    } else {
        Grabber grabber(display, window, 0, 0, attributes.width, attributes.height);
        std::vector<uint32_t> last;
        int64_t lastChange = NowNs();
        while (NowNs() - lastChange < 1'000'000'000) {
            if (grabber.Grab()) {
                std::vector<uint32_t> pixels = grabber.Pixels();
                if (pixels != last) {
                    lastChange = NowNs();
                    last.swap(pixels);
                }
            }
            SleepNs(1'000'000);
        }
        seen = lastChange;
    }
    std::printf("%d %.2f\n", pid, (seen - start) / 1e6);
    XCloseDisplay(display);
    return 0;
}

struct Pulse {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    uint32_t index = PA_INVALID_INDEX;
    pa_cvolume volume{};
    std::atomic<int64_t> notified{0};
};

void Percentiles(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))]; };
    std::printf("%s over %zu: p50 %.2f ms, p95 %.2f ms, p99 %.2f ms, max %.2f ms\n", what, samples.size(), at(0.5), at(0.95),
                at(0.99), samples.back());
}

// Connects to the sound server and finds the lowest-numbered sink input, subscribed so
// that pulse.notified stamps what a client must do to learn a new volume: the event,
// then one info query.
bool ConnectPulse(Pulse& pulse) {
    pulse.loop = pa_threaded_mainloop_new();
    pulse.context = pa_context_new(pa_threaded_mainloop_get_api(pulse.loop), "probe");
    pa_context_set_state_callback(
        pulse.context, [](pa_context*, void* p) { pa_threaded_mainloop_signal(static_cast<Pulse*>(p)->loop, 0); }, &pulse);
    pa_threaded_mainloop_lock(pulse.loop);
    pa_threaded_mainloop_start(pulse.loop);
    pa_context_connect(pulse.context, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
    while (pa_context_get_state(pulse.context) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(pulse.context))) return false;
        pa_threaded_mainloop_wait(pulse.loop);
    }
    auto lowest = [](pa_context*, const pa_sink_input_info* info, int eol, void* p) {
        auto& pulse = *static_cast<Pulse*>(p);
        if (!eol && info && (pulse.index == PA_INVALID_INDEX || info->index < pulse.index)) {
            pulse.index = info->index;
            pulse.volume = info->volume;
        }
        if (eol) pa_threaded_mainloop_signal(pulse.loop, 0);
    };
    pa_operation_unref(pa_context_get_sink_input_info_list(pulse.context, lowest, &pulse));
    pa_threaded_mainloop_wait(pulse.loop);
    if (pulse.index == PA_INVALID_INDEX) return false;
    pa_context_set_subscribe_callback(
        pulse.context,
        [](pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* p) {
            auto& pulse = *static_cast<Pulse*>(p);
            if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT || index != pulse.index) return;
            pa_operation_unref(pa_context_get_sink_input_info(
                context, index,
                [](pa_context*, const pa_sink_input_info* info, int eol, void* p) {
                    if (!eol && info) static_cast<Pulse*>(p)->notified.store(NowNs());
                },
                p));
        },
        &pulse);
    pa_operation_unref(pa_context_subscribe(pulse.context, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr));
    pa_threaded_mainloop_unlock(pulse.loop);
    return true;
}

// Sets the volume count times, alternating 25 % and 50 %; after each set, polls
// changed() every 0.5 ms (at most 2 s) after mark() noted the state before it. Prints the
// percentiles of change -> seen and of the notification time.
template <typename Mark, typename Changed>
int MeasureChanges(int count, const char* what, Mark mark, Changed changed) {
    static Pulse pulse;
    if (!ConnectPulse(pulse)) return 1;
    std::mt19937 random(12345);
    // 40 ms and a uniform part of one 30 ms timer period, so that each change lands at a
    // uniformly random point of the period (whole milliseconds from 40 to 100 came back
    // to the first third of the period more often than to the rest).
    std::uniform_int_distribution<int64_t> pause(40'000'000, 69'999'999);
    std::vector<double> toSeen, notification;
    for (int i = 0; i < count; ++i) {
        if (!mark()) return 1;
        pa_cvolume volume = pulse.volume;
        pa_cvolume_set(&volume, volume.channels, i % 2 ? PA_VOLUME_NORM / 2 : PA_VOLUME_NORM / 4);
        pulse.notified.store(0);
        pa_threaded_mainloop_lock(pulse.loop);
        const int64_t set = NowNs();
        pa_operation_unref(pa_context_set_sink_input_volume(pulse.context, pulse.index, &volume, nullptr, nullptr));
        pa_threaded_mainloop_unlock(pulse.loop);
        int64_t seen = 0;
        while (!seen && NowNs() - set < 2'000'000'000) {
            SleepNs(500'000);
            if (changed()) seen = NowNs();
        }
        if (!seen) {
            std::fprintf(stderr, "probe: change %d never reached the window\n", i);
            continue;
        }
        toSeen.push_back((seen - set) / 1e6);
        if (int64_t notified = pulse.notified.load()) notification.push_back((notified - set) / 1e6);
        SleepNs(pause(random));
    }
    if (toSeen.empty() || notification.empty()) return 1;
    Percentiles(what, toSeen);
    Percentiles("notification", notification);
    return 0;
}

int Change(int argc, char** argv) {
    if (argc < 8) return 2;
    const char* title = argv[2];
    const int x = std::atoi(argv[3]), y = std::atoi(argv[4]), width = std::atoi(argv[5]), height = std::atoi(argv[6]);
    const int count = std::atoi(argv[7]);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    ::Window window = FindWindow(display, DefaultRootWindow(display), title);
    if (!window) {
        std::fprintf(stderr, "probe: no window named %s\n", title);
        return 1;
    }
    auto grabber = std::make_unique<Grabber>(display, window, x, y, width, height);
    std::vector<uint32_t> before;
    const int result = MeasureChanges(
        count, "change -> pixels",
        [&] {
            if (!grabber->Grab()) return false;
            before = grabber->Pixels();
            return true;
        },
        [&] { return grabber->Grab() && grabber->Pixels() != before; });
    grabber.reset();
    XCloseDisplay(display);
    return result;
}

// The number of surface commits in a libwayland request log (WAYLAND_DEBUG=client).
long Commits(const char* log) {
    FILE* file = std::fopen(log, "r");
    if (!file) return -1;
    long commits = 0;
    char line[512];
    while (std::fgets(line, sizeof line, file))
        if (std::strstr(line, "wl_surface@") && std::strstr(line, ".commit()")) ++commits;
    std::fclose(file);
    return commits;
}

int Commit(int argc, char** argv) {
    if (argc < 4) return 2;
    const char* log = argv[2];
    long before = 0;
    return MeasureChanges(
        std::atoi(argv[3]), "change -> frame committed", [&] { return (before = Commits(log)) >= 0; },
        [&] { return Commits(log) > before; });
}

int Floor() {
    int64_t due = NowNs();
    while (true) {
        due += 30'000'000;
        int64_t wait = std::max<int64_t>(due - NowNs(), 0);
        timespec timeout{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
        ppoll(nullptr, 0, &timeout, nullptr);
    }
}

// mainOnly: the thread that runs main(), the window thread of a GUI program.
void ReadTasks(int pid, int64_t& cpu, int64_t& runs, bool mainOnly) {
    cpu = runs = 0;
    std::string directory = "/proc/" + std::to_string(pid) + "/task";
    DIR* tasks = opendir(directory.c_str());
    if (!tasks) return;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.' || (mainOnly && std::atoi(entry->d_name) != pid)) continue;
        FILE* file = std::fopen((directory + "/" + entry->d_name + "/schedstat").c_str(), "r");
        if (!file) continue;
        long long onCpu = 0, waiting = 0, slices = 0;
        if (std::fscanf(file, "%lld %lld %lld", &onCpu, &waiting, &slices) == 3) {
            cpu += onCpu;
            runs += slices;
        }
        std::fclose(file);
    }
    closedir(tasks);
}

int Cpu(int argc, char** argv) {
    if (argc < 4) return 2;
    const int pid = std::atoi(argv[2]);
    int64_t cpuBefore, runsBefore, cpuAfter, runsAfter, mainCpuBefore, mainRunsBefore, mainCpuAfter, mainRunsAfter;
    ReadTasks(pid, cpuBefore, runsBefore, false);
    ReadTasks(pid, mainCpuBefore, mainRunsBefore, true);
    SleepNs(static_cast<int64_t>(std::atof(argv[3]) * 1e9));
    ReadTasks(pid, cpuAfter, runsAfter, false);
    ReadTasks(pid, mainCpuAfter, mainRunsAfter, true);
    std::printf("%lld %lld %lld %lld\n", static_cast<long long>(cpuAfter - cpuBefore),
                static_cast<long long>(runsAfter - runsBefore), static_cast<long long>(mainCpuAfter - mainCpuBefore),
                static_cast<long long>(mainRunsAfter - mainRunsBefore));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Windows come and go while the tree is walked (a program of the last round still
    // closing): a request on one that is gone fails, and that is no reason to stop.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    int result = 2;
    if (argc >= 2 && std::strcmp(argv[1], "start") == 0) result = Start(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "change") == 0) result = Change(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "commit") == 0) result = Commit(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "floor") == 0) result = Floor();
    if (argc >= 2 && std::strcmp(argv[1], "cpu") == 0) result = Cpu(argc, argv);
    if (result == 2) std::fprintf(stderr, "usage: see the head of bench/probe.cpp\n");
    return result;
}
