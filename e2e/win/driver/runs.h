// The runs of sessionvol.exe, one script each; every run prints its cases.
#pragma once

#include "driver/run_support.h"

namespace driver {

// The program over the system's own audio service (no test DLL registered).
void RunOverSystemService(const Settings& settings);
// Window, buttons, binding rules, display, clicks, notifications, the sink's COM
// behaviour and the exit, over one scripted endpoint with six sessions.
void RunMainScript(const Settings& settings);
// Failures before or at the session list, and a session without ISimpleAudioVolume.
void RunWithoutDevice(const Settings& settings);
void RunWithoutSessionList(const Settings& settings);
void RunWithoutSimpleVolume(const Settings& settings);

}  // namespace driver
