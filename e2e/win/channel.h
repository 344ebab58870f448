// The control channel between the e2e driver and the test audio service DLL that
// sessionvol.exe loads as its MMDeviceEnumerator.
//
// One named file mapping holds the script (written by the driver before it starts the
// program), the log of every call the program makes into the service, the reference
// count of every service object, and a one-slot command mailbox. A named mutex guards
// the whole block; two named auto-reset events carry "command posted" and "command
// done". The driver names the channel in the program's environment, so runs of the
// program never share a channel.
#pragma once

#include <windows.h>

#include <cstdio>

namespace e2e {

// Environment variable through which the driver hands the channel name to the DLL.
constexpr char ChannelVariable[] = "SESSIONVOL_E2E_CHANNEL";

// AUDCLNT_S_NO_SINGLE_PROCESS, which the mingw-w64 SDK lacks: a session shared by
// several processes reports it with its process ID.
constexpr HRESULT NoSingleProcess = static_cast<HRESULT>(0x0889000D);

constexpr LONG ChannelMagic = 0x53564532;  // "SVE2"
constexpr int MaxSessions = 8;
constexpr int MaxIdentifierUnits = 1024;
constexpr int MaxRecords = 512;
constexpr int MaxSinksPerSession = 4;

// Reference-count slots of the service objects. Sessions take one slot each.
enum ObjectSlot : LONG {
    SlotClassFactory,
    SlotDeviceEnumerator,
    SlotDevice,
    SlotSessionManager,
    SlotSessionEnumerator,
    SlotFirstSession,
    SlotCount = SlotFirstSession + MaxSessions,
};

struct SessionScript {
    LONG present;                // 0: GetSession answers E_FAIL and a null session
    HRESULT control2Result;      // QueryInterface for IAudioSessionControl2
    HRESULT simpleVolumeResult;  // QueryInterface for ISimpleAudioVolume
    HRESULT systemSoundsResult;  // IsSystemSoundsSession: S_OK only for the system-sounds session
    HRESULT processIdResult;
    DWORD processId;
    HRESULT identifierResult;
    LONG identifierUnits;  // without the terminator
    WCHAR identifier[MaxIdentifierUnits + 1];
    float volume;
    BOOL mute;
    HRESULT muteResult;
    LONG state;
};

enum NotifyMode : LONG {
    NotifyAtOnce,        // SetMasterVolume/SetMute queue the notification for the service thread
    NotifyWhenReleased,  // ... and the service thread holds it until CommandReleaseHeld
};

struct Script {
    HRESULT createInstanceResult;  // the class factory's CreateInstance
    HRESULT endpointResult;        // GetDefaultAudioEndpoint
    HRESULT activateResult;
    HRESULT sessionEnumeratorResult;
    HRESULT countResult;
    LONG count;  // what GetCount reports
    LONG notifyMode;
    SessionScript sessions[MaxSessions];
};

// What was called. Program -> service calls and service -> sink calls share the log.
enum Method : LONG {
    CallDllGetClassObject = 1,
    CallCreateInstance,
    CallLockServer,
    CallGetDefaultAudioEndpoint,
    CallEnumeratorOther,  // any other IMMDeviceEnumerator method
    CallActivate,
    CallDeviceOther,
    CallGetSessionEnumerator,
    CallManagerOther,
    CallGetCount,
    CallGetSession,
    CallQueryInterface,  // on any service object; guid = the interface asked for
    CallIsSystemSoundsSession,
    CallGetProcessId,
    CallGetSessionIdentifier,
    CallGetMasterVolume,
    CallGetMute,
    CallGetState,
    CallSetMasterVolume,
    CallSetMute,
    CallRegisterNotification,
    CallUnregisterNotification,
    CallSessionOther,        // any other session method
    CallReleasedObjectUsed,  // a method called on an object whose count was 0
    // Calls the service makes into the program's sink, from its own thread.
    SinkOnSimpleVolumeChanged = 100,
    SinkOnStateChanged,
    SinkOnSessionDisconnected,
};

struct CallRecord {
    LONG method;
    LONG slot;  // ObjectSlot of the object called
    DWORD threadId;
    HRESULT result;  // what the service answered, or what the sink answered
    double number;   // a float argument, widened exactly
    LONG integer;    // an integer argument (index, mute, state, AddRef/Release result)
    LONG integer2;
    GUID guid;         // an interface identifier, or the event context's bytes
    LONGLONG pointer;  // the sink, the event context address, the outer object
    LONG contextIsNull;
};

enum Command : LONG {
    CommandNone,
    CommandNotifyVolume,  // session, number = volume, integer = mute
    CommandNotifyState,   // session, integer = state
    CommandNotifyDisconnected,
    CommandReleaseHeld,  // deliver notifications held in NotifyWhenReleased mode
    CommandProbeSink,    // exercise the sink's IUnknown and its quiet methods
};

// Results of CommandProbeSink, in the order the probe makes its calls.
struct SinkProbe {
    LONG registeredSinks;   // 0: nothing to probe
    ULONG addRef;           // AddRef
    ULONG release;          // Release
    HRESULT unknownResult;  // QueryInterface(IID_IUnknown)
    LONG unknownSame;       // ... returned the sink itself
    ULONG unknownRelease;   // Release of what it returned
    HRESULT eventsResult;   // QueryInterface(IID_IAudioSessionEvents)
    LONG eventsSame;
    ULONG eventsRelease;
    HRESULT otherResult;    // QueryInterface(IID_IAudioSessionControl)
    LONG otherNulled;       // ... and the out-pointer came back null
    HRESULT marshalResult;  // QueryInterface(IID_IMarshal)
    LONG marshalNulled;
    HRESULT nullOutResult;  // QueryInterface with a null out-pointer
    ULONG releaseToOne;     // two Releases from the probe's own count: down to 0,
    ULONG releaseToZero;    // the object must live on
    ULONG addRefToOne;      // and two AddRefs back up
    ULONG addRefToTwo;
    HRESULT displayNameResult;    // OnDisplayNameChanged
    HRESULT iconPathResult;       // OnIconPathChanged
    HRESULT channelVolumeResult;  // OnChannelVolumeChanged
    HRESULT groupingResult;       // OnGroupingParamChanged
};

struct Mailbox {
    LONG sequence;  // bumped by the driver for each command
    LONG command;
    LONG session;
    double number;
    LONG integer;
    LONG doneSequence;  // set by the service when the command is finished
    DWORD serviceThreadId;
    SinkProbe probe;
    LONG delivered;  // notifications delivered by the command
};

struct SessionLive {
    float volume;
    BOOL mute;
    LONG state;
    LONG sinkCount;
    LONGLONG sinks[MaxSinksPerSession];
};

struct Channel {
    LONG magic;
    LONG serviceLoaded;  // the DLL attached to the channel
    DWORD serviceProcessId;
    Script script;
    LONG refs[SlotCount];  // current reference counts
    LONG everReferenced[SlotCount];
    SessionLive live[MaxSessions];
    LONG recordCount;
    LONG recordsDropped;
    CallRecord records[MaxRecords];
    Mailbox mailbox;
};

// Names of the kernel objects that belong to a channel.
inline void ObjectName(char* out, size_t size, const char* channel, const char* suffix) {
    snprintf(out, size, "%s-%s", channel, suffix);
}

}  // namespace e2e
