// Internals of the test audio service: the channel it reports through, the call log,
// the reference counts it keeps in the channel, and the objects it hands out.
#pragma once

#include <windows.h>
#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include "channel.h"

namespace service {

// The channel named by the program's environment; null when the DLL was loaded
// outside a driver run.
e2e::Channel* ChannelBlock();
bool OpenChannel();

// Holds the channel's mutex for the lifetime of the object.
class ChannelLock {
public:
    ChannelLock();
    ~ChannelLock();
    ChannelLock(const ChannelLock&) = delete;
    ChannelLock& operator=(const ChannelLock&) = delete;
};

// Appends one record (thread and slot filled in here). Returns the result it records,
// so a method can end with `return Record(...)`.
HRESULT Record(e2e::CallRecord record);
e2e::CallRecord NewRecord(e2e::Method method, LONG slot, HRESULT result);

// Reference counting kept in the channel so the driver sees every count.
ULONG AddSlotRef(LONG slot);
ULONG ReleaseSlotRef(LONG slot);
// Logs a call on an object whose count is 0: the program used a reference it gave back.
void CheckAlive(LONG slot, e2e::Method method);

const e2e::Script& CurrentScript();

bool SameGuid(REFGUID a, REFGUID b);

// Hand out a new reference to a service object (also the first one, which a
// QueryInterface on a released object could not).
HRESULT HandDeviceEnumerator(REFIID riid, void** object);
HRESULT HandDevice(REFIID riid, void** object);
HRESULT HandSessionManager(REFIID riid, void** object);
HRESULT HandSessionEnumerator(REFIID riid, void** object);
HRESULT HandSession(int index, REFIID riid, void** object);

// Registered sinks of a session, and the notifications that reach them.
void AddSink(int session, IAudioSessionEvents* sink);
bool RemoveSink(int session, IAudioSessionEvents* sink);

// The service's own thread: starts once, runs driver commands and delivers
// notifications, as the real audio service does from threads of its own.
void StartServiceThread();
// Queues OnSimpleVolumeChanged with the session's volume and mute as they are now,
// carrying the caller's event context, for the service thread to deliver.
void QueueVolumeNotification(int session, LPCGUID context);

}  // namespace service
