// Skipping for something outside the program that is not there (a display, a sound
// server) is honest only where nobody promised it. scripts/test names what it provides
// in SESSIONVOL_PROVISIONED (comma-separated: x11, pulseaudio, pipewire, wine, wayland);
// for a need named there, a test that would skip fails instead, so a server that no
// longer starts turns the run red rather than quietly passing it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace testsupport {

inline bool Provisioned(std::string_view need) {
    const char* provided = std::getenv("SESSIONVOL_PROVISIONED");
    std::string_view rest = provided != nullptr ? provided : "";
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        if (rest.substr(0, comma) == need) return true;
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return false;
}

inline std::string MissingNeed(std::string_view need) {
    const std::string name(need);
    return Provisioned(need) ? "the test script provisioned " + name + ", yet it is missing" : "needs " + name;
}

}  // namespace testsupport

// In place of GTEST_SKIP() where a need is missing; the reason is streamed after it:
//   SKIP_FOR_MISSING("x11") << "DISPLAY is not set";
// It skips the test, or fails it when the test script provisioned the need.
#define SKIP_FOR_MISSING(need)                                                                                     \
    return GTEST_MESSAGE_(::testsupport::MissingNeed(need).c_str(), ::testsupport::Provisioned(need)               \
                                                                        ? ::testing::TestPartResult::kFatalFailure \
                                                                        : ::testing::TestPartResult::kSkip)
