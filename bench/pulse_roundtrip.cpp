// How fast a change of the bound stream reaches the program's sink over a real
// PulseAudio server: a private daemon of its own, one pacat stream bound through the
// session link, then
//   1. SetMasterVolume -> the OnSimpleVolumeChanged that stores the new level;
//   2. `pactl set-sink-input-volume` started -> the same store (pactl's own run time,
//      process start included, is printed beside it).
// The window redraws on its next 30 ms timer tick after the store; that wait is not
// included.
//
//   pulse_roundtrip [CHANGES]      (default 300; at least 200 make a useful 99th percentile)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "audio/session_binding.h"
#include "mmdevapi/pulse/pulse_service.h"
#include "pulse/pulse_server.h"
#include "testing/audio_test.h"

namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Summary {
    double median, p99, max;
};

Summary Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(q * static_cast<double>(samples.size())))];
    };
    return {at(0.5), at(0.99), samples.back()};
}

void Print(const char* what, const std::vector<double>& samples) {
    Summary s = Summarise(samples);
    std::printf("%-46s n=%zu  median %7.3f ms  p99 %7.3f ms  max %7.3f ms\n", what, samples.size(), s.median, s.p99, s.max);
}

// Spins until the sink holds the level; false after a generous limit (a lost notification).
bool AwaitLevel(float level) {
    auto limit = Clock::now() + std::chrono::seconds(5);
    while (AppState.sink.volume.load(std::memory_order_relaxed) != level)
        if (Clock::now() > limit) return false;
    return true;
}

pid_t SpawnPactl(const std::string& index, const char* percent) {
    std::string a0 = "pactl", a1 = "set-sink-input-volume", a2 = index, a3 = percent;
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "pactl", nullptr, nullptr, argv, environ) != 0) return -1;
    return pid;
}

int Run(int changes) {
    pulsetest::PrivateServer server;
    if (std::string why = server.Start(); !why.empty()) {
        std::fprintf(stderr, "pulse_roundtrip: %s\n", why.c_str());
        return 2;
    }
    pulsetest::Pacat player;
    if (!player.Start({"--client-name=bench-player"})) {
        std::fprintf(stderr, "pulse_roundtrip: pacat's stream did not appear\n");
        return 1;
    }
    auto service = platform::mmdevapi::pulse::PulseAudioService::Connect(nullptr, std::chrono::seconds(5));
    if (service == nullptr) {
        std::fprintf(stderr, "pulse_roundtrip: the private server did not answer\n");
        return 1;
    }
    platform::mmdevapi::InstallService(service);
    ResetAppState();
    CoInitialize(nullptr);
    BindAudioSession();
    int result = 0;
    ISimpleAudioVolume* volume = nullptr;
    if (AppState.session == nullptr ||
        AppState.session->QueryInterface(IID_ISimpleAudioVolume, reinterpret_cast<void**>(&volume)) != S_OK) {
        std::fprintf(stderr, "pulse_roundtrip: no session bound\n");
        result = 1;
    }

    std::vector<double> ours, theirs, pactlRun;
    const float levels[] = {0.25f, 0.5f};
    for (int i = 0; result == 0 && i < changes; ++i) {
        float level = levels[i % 2];
        auto start = Clock::now();
        volume->SetMasterVolume(level, nullptr);
        if (!AwaitLevel(level)) result = 1;
        ours.push_back(Millis(Clock::now() - start));
    }

    const std::string index = std::to_string(player.Index());
    const char* percents[] = {"25%", "50%"};
    for (int i = 0; result == 0 && i < changes; ++i) {
        auto start = Clock::now();
        pid_t pid = SpawnPactl(index, percents[i % 2]);
        if (pid < 0 || !AwaitLevel(levels[i % 2])) result = 1;
        auto stored = Clock::now();
        int status = 0;
        if (pid > 0) waitpid(pid, &status, 0);
        theirs.push_back(Millis(stored - start));
        pactlRun.push_back(Millis(Clock::now() - start));
    }

    if (result == 0) {
        std::printf("pulse_roundtrip: %d changes each, private PulseAudio daemon, one pacat stream\n", changes);
        Print("SetMasterVolume -> sink notified", ours);
        Print("pactl started -> sink notified", theirs);
        Print("pactl started -> pactl exited (for reference)", pactlRun);
    } else {
        std::fprintf(stderr, "pulse_roundtrip: a change was never notified\n");
    }
    if (volume != nullptr) volume->Release();
    ReleaseAudioSession();
    CoUninitialize();
    service.reset();
    platform::test::ResetAudio();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    int changes = argc > 1 ? std::atoi(argv[1]) : 300;
    if (changes < 1) {
        std::fprintf(stderr, "usage: pulse_roundtrip [CHANGES]\n");
        return 2;
    }
    return Run(changes);
}
