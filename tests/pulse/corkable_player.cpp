// A PulseAudio client that plays silence and pauses (corks) on command, the way a
// media player does; pactl and pacat cannot cork a stream. Used by the tests and by
// the window-level end-to-end run.
//
//   corkable-player [APPLICATION-NAME]
//
// Prints "ready <sink input index>" once the stream plays, then reads one command per
// line from standard input: "cork", "uncork" (each answered "ok" once the server has
// done it, or "failed"), "quit". End of input quits too.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

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

bool Cork(pa_stream* stream, bool cork) {
    pa_operation* operation = pa_stream_cork(
        stream, cork ? 1 : 0, [](pa_stream*, int, void*) { pa_threaded_mainloop_signal(loop, 0); }, nullptr);
    if (operation == nullptr) return false;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop);
    bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return done;
}

}  // namespace

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "corkable-player";
    loop = pa_threaded_mainloop_new();
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, name);
    pa_context* context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop), name, properties);
    pa_proplist_free(properties);
    pa_context_set_state_callback(context, Signal, nullptr);
    pa_threaded_mainloop_start(loop);

    pa_threaded_mainloop_lock(loop);
    pa_stream* stream = nullptr;
    bool ready = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    while (ready && pa_context_get_state(context) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            ready = false;
        else
            pa_threaded_mainloop_wait(loop);
    }
    if (ready) {
        const pa_sample_spec format = {PA_SAMPLE_S16LE, 44100, 2};
        stream = pa_stream_new(context, "corkable", &format, nullptr);
        pa_stream_set_state_callback(stream, Signal, nullptr);
        pa_stream_set_write_callback(stream, Write, nullptr);
        ready = pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr) >= 0;
        while (ready && pa_stream_get_state(stream) != PA_STREAM_READY) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
                ready = false;
            else
                pa_threaded_mainloop_wait(loop);
        }
    }
    if (ready)
        std::printf("ready %u\n", pa_stream_get_index(stream));
    else
        std::printf("failed %s\n", pa_strerror(pa_context_errno(context)));
    std::fflush(stdout);
    pa_threaded_mainloop_unlock(loop);

    char line[64];
    while (ready && std::fgets(line, sizeof line, stdin) != nullptr) {
        std::string command(line, strcspn(line, "\r\n"));
        if (command == "quit") break;
        if (command != "cork" && command != "uncork") {
            std::printf("unknown command\n");
        } else {
            pa_threaded_mainloop_lock(loop);
            bool done = Cork(stream, command == "cork");
            pa_threaded_mainloop_unlock(loop);
            std::printf("%s\n", done ? "ok" : "failed");
        }
        std::fflush(stdout);
    }

    pa_threaded_mainloop_lock(loop);
    if (stream != nullptr) {
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
