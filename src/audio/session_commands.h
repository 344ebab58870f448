// The volume and mute commands on the bound session. They change the session only:
// the program's own copy follows when the audio service reports the change back.
#pragma once

#include <windows.h>

// The event context of the program's own changes: all sixteen bytes zero.
extern const GUID EventContextGuid;

void SetSessionVolume(float level);
void SetSessionMute(BOOL flag);
