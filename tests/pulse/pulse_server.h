// Test helpers around a private sound server: start and kill it, play streams with
// pacat or the corkable player, and read what the server reports through libpulse. The
// server is a PulseAudio daemon, or PipeWire's PulseAudio server when
// SESSIONVOL_PULSE_SERVER_KIND=pipewire (start-server.sh reads it).
#pragma once

#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pulsetest {

// Runs a shell command and returns its standard output; the exit status goes to *status.
inline std::string Capture(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int rc = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

// Polls until `done` holds. The limit only keeps a broken run from hanging; it is
// far above anything a working one needs and asserts nothing about speed.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return true;
}

inline std::string ScriptDir() {
    std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/'));
}

// Which server start-server.sh starts: "pulseaudio" or "pipewire".
inline std::string ServerKind() {
    const char* kind = std::getenv("SESSIONVOL_PULSE_SERVER_KIND");
    return kind != nullptr && *kind != '\0' ? kind : "pulseaudio";
}

inline bool OnPipeWire() { return ServerKind() == "pipewire"; }

// A server of its own per test, started by start-server.sh; this process's
// environment then points every libpulse client (ours, pactl, pacat) at it.
class PrivateServer {
public:
    PrivateServer() = default;
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;
    ~PrivateServer() { Stop(); }

    // Empty on success, else why the server could not start.
    std::string Start() {
        int found = 0;
        Capture("for tool in pactl pacat; do command -v $tool >/dev/null || exit 1; done", &found);
        if (found != 0) return "pactl or pacat missing (Debian package pulseaudio-utils)";
        int status = 0;
        std::string out = Capture(ScriptDir() + "/start-server.sh 2>&1", &status);
        if (status != 0) return "start-server.sh failed: " + out;
        std::istringstream lines(out);
        std::string line;
        while (std::getline(lines, line)) {
            const std::string prefix = "export ";
            if (line.rfind(prefix, 0) != 0) continue;
            size_t eq = line.find('=');
            std::string name = line.substr(prefix.size(), eq - prefix.size());
            std::string value = line.substr(eq + 2, line.size() - eq - 3);  // strip the quotes
            setenv(name.c_str(), value.c_str(), 1);
            if (name == "SESSIONVOL_PULSE_DIR") dir_ = value;
            if (name == "SESSIONVOL_PULSE_PID") pid_ = static_cast<pid_t>(std::stol(value));
        }
        if (dir_.empty() || pid_ <= 0) return "start-server.sh printed no server: " + out;
        return "";
    }

    // The server vanishes the hard way, as when it crashes (on PipeWire: its PulseAudio
    // server, which every client here talks to).
    void Kill() {
        if (pid_ > 0) kill(pid_, SIGKILL);
    }

    // The server stops answering without going away, as a hung or stopped daemon does.
    void Freeze() {
        if (pid_ > 0) kill(pid_, SIGSTOP);
    }
    void Thaw() {
        if (pid_ > 0) kill(pid_, SIGCONT);
    }

    void Stop() {
        if (dir_.empty()) return;
        Thaw();  // a stopped daemon would not hear the request to end
        Capture(ScriptDir() + "/stop-server.sh '" + dir_ + "' 2>&1");
        dir_.clear();
        pid_ = -1;
    }

private:
    std::string dir_;
    pid_t pid_ = -1;
};

// A short-lived libpulse client of the private server, for what the tests read back:
// the same numbers and properties pactl shows, without parsing its text.
class ServerQuery {
public:
    ServerQuery() {
        loop_ = pa_mainloop_new();
        context_ = pa_context_new(pa_mainloop_get_api(loop_), "sessionvol-test-query");
        if (context_ == nullptr || pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return;
        while (true) {
            pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) {
                ready_ = true;
                return;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(loop_, 1, nullptr) < 0) return;
        }
    }
    ServerQuery(const ServerQuery&) = delete;
    ServerQuery& operator=(const ServerQuery&) = delete;
    ~ServerQuery() {
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        pa_mainloop_free(loop_);
    }

    pa_context* Context() const { return ready_ ? context_ : nullptr; }

    // Runs the loop until the operation ends; false when it could not start or failed.
    bool Finish(pa_operation* operation) {
        if (operation == nullptr) return false;
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            if (pa_mainloop_iterate(loop_, 1, nullptr) < 0) break;
        bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
        pa_operation_unref(operation);
        return done;
    }

private:
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool ready_ = false;
};

// One sink input as the server reports it.
struct SinkInput {
    uint32_t index = 0;
    uint32_t sink = 0;
    bool corked = false;
    bool mute = false;
    std::vector<uint32_t> volumes;  // raw pa_volume_t per channel
    std::vector<int> percents;      // the percentages pactl shows, rounded as it rounds them
    std::map<std::string, std::string> properties;
};

inline std::vector<SinkInput> ListSinkInputs() {
    std::vector<SinkInput> inputs;
    ServerQuery query;
    if (query.Context() == nullptr) return inputs;
    query.Finish(pa_context_get_sink_input_info_list(
        query.Context(),
        [](pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
            if (eol != 0 || info == nullptr) return;
            SinkInput input;
            input.index = info->index;
            input.sink = info->sink;
            input.corked = info->corked != 0;
            input.mute = info->mute != 0;
            for (unsigned c = 0; c < info->volume.channels; ++c) {
                const uint64_t value = info->volume.values[c];
                input.volumes.push_back(static_cast<uint32_t>(value));
                input.percents.push_back(static_cast<int>((value * 100 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM));
            }
            void* state = nullptr;
            while (const char* key = pa_proplist_iterate(info->proplist, &state)) {
                const char* value = pa_proplist_gets(info->proplist, key);
                if (value != nullptr) input.properties[key] = value;
            }
            static_cast<std::vector<SinkInput>*>(userdata)->push_back(std::move(input));
        },
        &inputs));
    return inputs;
}

// The indices of the server's sinks.
inline std::vector<uint32_t> SinkIndices() {
    std::vector<uint32_t> sinks;
    ServerQuery query;
    if (query.Context() == nullptr) return sinks;
    query.Finish(pa_context_get_sink_info_list(
        query.Context(),
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            if (eol == 0 && info != nullptr) static_cast<std::vector<uint32_t>*>(userdata)->push_back(info->index);
        },
        &sinks));
    return sinks;
}

inline std::optional<SinkInput> SinkInputOfProcess(pid_t pid) {
    for (SinkInput& input : ListSinkInputs())
        if (input.properties["application.process.id"] == std::to_string(pid)) return input;
    return std::nullopt;
}

inline std::optional<SinkInput> SinkInputByIndex(uint32_t index) {
    for (SinkInput& input : ListSinkInputs())
        if (input.index == index) return input;
    return std::nullopt;
}

// A new stream is there once the server has put it on a sink: PipeWire lists it a
// moment before WirePlumber links it to one.
inline bool OnASink(const SinkInput& input) {
    std::vector<uint32_t> sinks = SinkIndices();
    return std::find(sinks.begin(), sinks.end(), input.sink) != sinks.end();
}

inline bool Pactl(const std::string& arguments) {
    int status = 0;
    Capture("pactl " + arguments + " >/dev/null 2>&1", &status);
    return status == 0;
}

// `pacat` playing silence until stopped: a real client process of the server.
class Pacat {
public:
    // Starts pacat with these extra arguments and waits until its stream exists.
    bool Start(std::vector<std::string> arguments) {
        std::vector<std::string> argv = {"pacat", "--raw", "--playback", "--latency-msec=50"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/zero", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        int rc = posix_spawnp(&pid_, "pacat", &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        return WaitUntil([&] {
            auto input = SinkInputOfProcess(pid_);
            if (!input || !OnASink(*input)) return false;
            index_ = input->index;
            sink_ = input->sink;
            return true;
        });
    }

    // Ends the stream: the client closes its connection as it exits.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    ~Pacat() { Stop(); }

    pid_t Pid() const { return pid_; }
    uint32_t Index() const { return index_; }
    uint32_t Sink() const { return sink_; }

private:
    pid_t pid_ = -1;
    uint32_t index_ = PA_INVALID_INDEX;
    uint32_t sink_ = PA_INVALID_INDEX;
};

// The corkable player (corkable_player.cpp) in a process of its own, driven through
// its standard input. Its path comes from the build as PULSE_CORKABLE_PLAYER.
class CorkablePlayer {
public:
    ~CorkablePlayer() { Stop(); }

    static const char* Path() {
#ifdef PULSE_CORKABLE_PLAYER
        return PULSE_CORKABLE_PLAYER;
#else
        return nullptr;
#endif
    }

    // `properties` are KEY=VALUE pairs the client sets on itself, as a sandboxed
    // application's own process ID (application.process.id=1).
    bool Start(const char* applicationName, std::vector<std::string> properties = {}) {
        if (Path() == nullptr) return false;
        int toChild[2], fromChild[2];
        // Close-on-exec, so that a player started later does not hold this one's input
        // open: each quits at the end of its own input.
        if (pipe2(toChild, O_CLOEXEC) != 0) return false;
        if (pipe2(fromChild, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        std::vector<std::string> arguments = {Path(), applicationName};
        arguments.insert(arguments.end(), properties.begin(), properties.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, Path(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        commands_ = fdopen(toChild[1], "w");
        replies_ = fdopen(fromChild[0], "r");
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        std::string reply = Reply();
        if (reply.rfind("ready ", 0) != 0) return false;
        index_ = static_cast<uint32_t>(std::stoul(reply.substr(6)));
        return WaitUntil([&] {
            auto input = SinkInputByIndex(index_);
            return input && OnASink(*input);
        });
    }

    // Another stream of the same process, with this media.role if not empty; its sink
    // input index once it is on a sink, else PA_INVALID_INDEX.
    uint32_t Open(const std::string& role = "") {
        std::string reply = Command("open " + role);
        if (reply.rfind("ready ", 0) != 0) return PA_INVALID_INDEX;
        uint32_t index = static_cast<uint32_t>(std::stoul(reply.substr(6)));
        bool placed = WaitUntil([&] {
            auto input = SinkInputByIndex(index);
            return input && OnASink(*input);
        });
        return placed ? index : PA_INVALID_INDEX;
    }

    // Stream `number` (in the order of opening; 0 is the first) paused or playing again.
    bool Cork(bool cork, int number = 0) { return Command((cork ? "cork " : "uncork ") + std::to_string(number)) == "ok"; }

    // Stream `number` ends; the process goes on.
    bool Close(int number = 0) { return Command("close " + std::to_string(number)) == "ok"; }

    void Stop() {
        if (commands_ != nullptr) std::fclose(commands_);  // end of input: the player quits
        if (replies_ != nullptr) std::fclose(replies_);
        commands_ = replies_ = nullptr;
        if (pid_ > 0) {
            int status;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    uint32_t Index() const { return index_; }
    pid_t Pid() const { return pid_; }

private:
    std::string Command(const std::string& command) {
        if (commands_ == nullptr) return "";
        std::fprintf(commands_, "%s\n", command.c_str());
        std::fflush(commands_);
        return Reply();
    }

    std::string Reply() {
        char line[256];
        if (replies_ == nullptr || std::fgets(line, sizeof line, replies_) == nullptr) return "";
        std::string text = line;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

    pid_t pid_ = -1;
    FILE* commands_ = nullptr;
    FILE* replies_ = nullptr;
    uint32_t index_ = PA_INVALID_INDEX;
};

}  // namespace pulsetest
