// A PulseAudio client that plays silence on one or more streams and pauses (corks),
// closes and opens them on command, the way media players, browsers and games do;
// pactl and pacat cannot cork a stream, and a pacat is one stream per process. Used by
// the tests and by the window-level end-to-end run.
//
//   corkable-player [APPLICATION-NAME [KEY=VALUE...]]
//
// Each KEY=VALUE is a property of the client, such as application.process.id=1: what a
// sandboxed application reports from its own PID namespace, without needing one.
//
// Opens stream 0 and prints "ready <sink input index>" once it plays, then reads one
// command per line from standard input, where N is a stream's number in the order of
// opening (0 when left out):
//   "open [ROLE]"   another stream, with media.role ROLE if given: "ready <index>"
//   "cork [N]", "uncork [N]", "close [N]": "ok" once the server has done it, else "failed"
//   "quit"          end of input quits too
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

pa_threaded_mainloop* loop;

void Signal(pa_context*, void*) { pa_threaded_mainloop_signal(loop, 0); }
void Signal(pa_stream*, void*) { pa_threaded_mainloop_signal(loop, 0); }

void Write(pa_stream* stream, size_t bytes, void*) {
    void* data = nullptr;
    if (pa_stream_begin_write(stream, &data, &bytes) < 0 || data == nullptr) return;
    std::fill_n(static_cast<char*>(data), bytes, 0);
    pa_stream_write(stream, data, bytes, nullptr, 0, PA_SEEK_RELATIVE);
}

// With the loop's lock held: a playing stream, or null.
pa_stream* Open(pa_context* context, const std::string& role) {
    const pa_sample_spec format = {PA_SAMPLE_S16LE, 44100, 2};
    pa_proplist* properties = pa_proplist_new();
    if (!role.empty()) pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, role.c_str());
    pa_stream* stream = pa_stream_new_with_proplist(context, "corkable", &format, nullptr, properties);
    pa_proplist_free(properties);
    if (stream == nullptr) return nullptr;
    pa_stream_set_state_callback(stream, Signal, nullptr);
    pa_stream_set_write_callback(stream, Write, nullptr);
    bool ready = pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr) >= 0;
    while (ready && pa_stream_get_state(stream) != PA_STREAM_READY) {
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            ready = false;
        else
            pa_threaded_mainloop_wait(loop);
    }
    if (ready) return stream;
    pa_stream_unref(stream);
    return nullptr;
}

bool Cork(pa_stream* stream, bool cork) {
    pa_operation* operation = pa_stream_cork(
        stream, cork ? 1 : 0, [](pa_stream*, int, void*) { pa_threaded_mainloop_signal(loop, 0); }, nullptr);
    if (operation == nullptr) return false;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop);
    bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return done;
}

// Ends the stream as an application does when it closes one: the server removes it.
void Close(pa_stream* stream) {
    pa_stream_disconnect(stream);
    while (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_threaded_mainloop_wait(loop);
    pa_stream_unref(stream);
}

}  // namespace

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "corkable-player";
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, name);
    for (int k = 2; k < argc; ++k) {
        if (pa_proplist_setp(properties, argv[k]) < 0) {
            std::printf("failed bad property %s\n", argv[k]);
            pa_proplist_free(properties);
            return 1;
        }
    }
    loop = pa_threaded_mainloop_new();
    pa_context* context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop), name, properties);
    pa_proplist_free(properties);
    pa_context_set_state_callback(context, Signal, nullptr);
    pa_threaded_mainloop_start(loop);

    pa_threaded_mainloop_lock(loop);
    std::vector<pa_stream*> streams;
    bool ready = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    while (ready && pa_context_get_state(context) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            ready = false;
        else
            pa_threaded_mainloop_wait(loop);
    }
    if (ready) {
        streams.push_back(Open(context, ""));
        ready = streams.back() != nullptr;
    }
    if (ready)
        std::printf("ready %u\n", pa_stream_get_index(streams.back()));
    else
        std::printf("failed %s\n", pa_strerror(pa_context_errno(context)));
    std::fflush(stdout);
    pa_threaded_mainloop_unlock(loop);

    char line[128];
    while (ready && std::fgets(line, sizeof line, stdin) != nullptr) {
        std::istringstream words(std::string(line, strcspn(line, "\r\n")));
        std::string command, argument;
        words >> command >> argument;
        if (command == "quit") break;
        pa_threaded_mainloop_lock(loop);
        if (command == "open") {
            pa_stream* stream = Open(context, argument);
            streams.push_back(stream);
            if (stream != nullptr)
                std::printf("ready %u\n", pa_stream_get_index(stream));
            else
                std::printf("failed %s\n", pa_strerror(pa_context_errno(context)));
        } else if (command == "cork" || command == "uncork" || command == "close") {
            size_t number = argument.empty() ? 0 : std::stoul(argument);
            pa_stream* stream = number < streams.size() ? streams[number] : nullptr;
            bool done = stream != nullptr;
            if (done && command == "close") {
                Close(stream);
                streams[number] = nullptr;
            } else if (done) {
                done = Cork(stream, command == "cork");
            }
            std::printf("%s\n", done ? "ok" : "failed");
        } else {
            std::printf("unknown command\n");
        }
        pa_threaded_mainloop_unlock(loop);
        std::fflush(stdout);
    }

    pa_threaded_mainloop_lock(loop);
    for (pa_stream* stream : streams) {
        if (stream == nullptr) continue;
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_threaded_mainloop_unlock(loop);
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
    return ready ? 0 : 1;
}
