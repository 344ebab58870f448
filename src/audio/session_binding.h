// Finding, binding and releasing the audio session that the program shows.
#pragma once

// Binds the first eligible session of the default render endpoint: copies its status
// into AppState.sink and registers the sink for its notifications. Leaves device,
// session manager and session held in AppState as far as it got.
void BindAudioSession();

// Walks the endpoint's sessions and binds the first eligible one. Needs
// AppState.sessionManager.
void ScanSessions();

// Unregisters the sink and gives back the session, session manager and endpoint.
// Safe to call in any state, and again.
void ReleaseAudioSession();
