// The program's one state record. Every routine reads and writes this instance.
#pragma once

#include <windows.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include "audio/session_event_sink.h"

struct ApplicationState {
    HWND hwndMain = nullptr;
    HINSTANCE hInstance = nullptr;
    UINT_PTR timerId = 0;
    RECT valueRowRect = {0, 0, 0, 0};
    HWND btnSwapMute = nullptr;
    HWND btnVolume0 = nullptr;
    HWND btnVolume25 = nullptr;
    HWND btnVolume50 = nullptr;
    HWND btnVolume100 = nullptr;
    IMMDevice* device = nullptr;
    IAudioSessionManager2* sessionManager = nullptr;
    IAudioSessionControl* session = nullptr;
    SessionEventSink sink;
    float paintedVolume = 0.0f;
    INT paintedMute = 0;
    INT paintedState = 0;
};

extern ApplicationState AppState;

// Returns the record to its value-initialised start: no window, no audio objects,
// a sink with a zero count and zero status, a zero painted snapshot.
void ResetAppState();
