// The service's own thread. Like the real audio service, it calls the registered
// IAudioSessionEvents objects from a thread that is not the program's, and it runs
// the driver's commands: notifications from "another client" and the sink probe.
#include "service.h"

namespace service {
namespace {

// The event context of changes made by a client other than the program.
const GUID OtherClientContext = {0x5E55C0DE, 0x0E2E, 0x4A11, {0x9C, 0x1E, 0x77, 0x0A, 0x11, 0x2B, 0x33, 0x44}};

struct PendingNotification {
    int session;
    float volume;
    BOOL mute;
    GUID context;
    bool contextIsNull;
};

constexpr int MaxPending = 64;

CRITICAL_SECTION pendingLock;
PendingNotification pending[MaxPending];
int pendingCount = 0;
HANDLE pendingEvent = nullptr;
HANDLE commandEvent = nullptr;
HANDLE doneEvent = nullptr;
LONG started = 0;

int Sinks(int session, IAudioSessionEvents* (&sinks)[e2e::MaxSinksPerSession]) {
    ChannelLock lock;
    const e2e::SessionLive& live = ChannelBlock()->live[session];
    for (int i = 0; i < live.sinkCount; ++i) sinks[i] = reinterpret_cast<IAudioSessionEvents*>(live.sinks[i]);
    return live.sinkCount;
}

e2e::CallRecord SinkRecord(e2e::Method method, int session, IAudioSessionEvents* sink) {
    e2e::CallRecord record = NewRecord(method, e2e::SlotFirstSession + session, S_OK);
    record.pointer = reinterpret_cast<LONGLONG>(sink);
    return record;
}

int DeliverVolume(const PendingNotification& notification) {
    IAudioSessionEvents* sinks[e2e::MaxSinksPerSession];
    int count = Sinks(notification.session, sinks);
    for (int i = 0; i < count; ++i) {
        e2e::CallRecord record = SinkRecord(e2e::SinkOnSimpleVolumeChanged, notification.session, sinks[i]);
        record.number = notification.volume;
        record.integer = notification.mute;
        record.guid = notification.context;
        record.contextIsNull = notification.contextIsNull;
        record.result = sinks[i]->OnSimpleVolumeChanged(notification.volume, notification.mute,
                                                        notification.contextIsNull ? nullptr : &notification.context);
        Record(record);
    }
    return count;
}

int DeliverPending() {
    PendingNotification taken[MaxPending];
    EnterCriticalSection(&pendingLock);
    int count = pendingCount;
    for (int i = 0; i < count; ++i) taken[i] = pending[i];
    pendingCount = 0;
    LeaveCriticalSection(&pendingLock);
    int delivered = 0;
    for (int i = 0; i < count; ++i) delivered += DeliverVolume(taken[i]);
    return delivered;
}

int NotifyVolume(int session, float volume, BOOL mute) {
    {
        ChannelLock lock;
        ChannelBlock()->live[session].volume = volume;
        ChannelBlock()->live[session].mute = mute;
    }
    return DeliverVolume(PendingNotification{session, volume, mute, OtherClientContext, false});
}

int NotifyState(int session, LONG state) {
    {
        ChannelLock lock;
        ChannelBlock()->live[session].state = state;
    }
    IAudioSessionEvents* sinks[e2e::MaxSinksPerSession];
    int count = Sinks(session, sinks);
    for (int i = 0; i < count; ++i) {
        e2e::CallRecord record = SinkRecord(e2e::SinkOnStateChanged, session, sinks[i]);
        record.integer = state;
        record.result = sinks[i]->OnStateChanged(static_cast<AudioSessionState>(state));
        Record(record);
    }
    return count;
}

int NotifyDisconnected(int session) {
    IAudioSessionEvents* sinks[e2e::MaxSinksPerSession];
    int count = Sinks(session, sinks);
    for (int i = 0; i < count; ++i) {
        e2e::CallRecord record = SinkRecord(e2e::SinkOnSessionDisconnected, session, sinks[i]);
        record.integer = DisconnectReasonDeviceRemoval;
        record.result = sinks[i]->OnSessionDisconnected(DisconnectReasonDeviceRemoval);
        Record(record);
    }
    return count;
}

// Exercises the sink's IUnknown across the module boundary, from this thread, with
// one reference of the probe's own on top of the service's, and the methods whose
// only effect is their result.
e2e::SinkProbe ProbeSink(int session) {
    e2e::SinkProbe probe = {};
    IAudioSessionEvents* sinks[e2e::MaxSinksPerSession];
    probe.registeredSinks = Sinks(session, sinks);
    if (probe.registeredSinks == 0) return probe;
    IAudioSessionEvents* sink = sinks[0];
    void* const sentinel = reinterpret_cast<void*>(static_cast<UINT_PTR>(0xBAADF00D));

    probe.addRef = sink->AddRef();
    probe.release = sink->Release();

    void* object = sentinel;
    probe.unknownResult = sink->QueryInterface(IID_IUnknown, &object);
    probe.unknownSame = object == static_cast<void*>(sink);
    if (probe.unknownResult == S_OK && object != nullptr && object != sentinel)
        probe.unknownRelease = static_cast<IUnknown*>(object)->Release();

    object = sentinel;
    probe.eventsResult = sink->QueryInterface(IID_IAudioSessionEvents, &object);
    probe.eventsSame = object == static_cast<void*>(sink);
    if (probe.eventsResult == S_OK && object != nullptr && object != sentinel)
        probe.eventsRelease = static_cast<IUnknown*>(object)->Release();

    object = sentinel;
    probe.otherResult = sink->QueryInterface(IID_IAudioSessionControl, &object);
    probe.otherNulled = object == nullptr;

    object = sentinel;
    probe.marshalResult = sink->QueryInterface(IID_IMarshal, &object);
    probe.marshalNulled = object == nullptr;

    probe.nullOutResult = sink->QueryInterface(IID_IUnknown, nullptr);

    // Down to zero and back: the sink is not the service's to free, and must survive.
    probe.releaseToOne = sink->Release();
    probe.releaseToZero = sink->Release();
    probe.addRefToOne = sink->AddRef();
    probe.addRefToTwo = sink->AddRef();

    const GUID grouping = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    float channels[2] = {0.5f, 0.5f};
    probe.displayNameResult = sink->OnDisplayNameChanged(L"Other name", &OtherClientContext);
    probe.iconPathResult = sink->OnIconPathChanged(L"C:\\other.ico", &OtherClientContext);
    probe.channelVolumeResult = sink->OnChannelVolumeChanged(2, channels, 1, &OtherClientContext);
    probe.groupingResult = sink->OnGroupingParamChanged(&grouping, &OtherClientContext);
    return probe;
}

void RunCommand() {
    e2e::Mailbox request;
    {
        ChannelLock lock;
        request = ChannelBlock()->mailbox;
    }
    int session = request.session;
    if (session < 0 || session >= e2e::MaxSessions) session = 0;
    e2e::SinkProbe probe = {};
    LONG delivered = 0;
    switch (request.command) {
    case e2e::CommandNotifyVolume: delivered = NotifyVolume(session, static_cast<float>(request.number), request.integer); break;
    case e2e::CommandNotifyState: delivered = NotifyState(session, request.integer); break;
    case e2e::CommandNotifyDisconnected: delivered = NotifyDisconnected(session); break;
    case e2e::CommandReleaseHeld: delivered = DeliverPending(); break;
    case e2e::CommandProbeSink: probe = ProbeSink(session); break;
    default: break;
    }
    {
        ChannelLock lock;
        e2e::Mailbox& mailbox = ChannelBlock()->mailbox;
        mailbox.probe = probe;
        mailbox.delivered = delivered;
        mailbox.serviceThreadId = GetCurrentThreadId();
        mailbox.doneSequence = request.sequence;
    }
    SetEvent(doneEvent);
}

DWORD WINAPI ServiceThread(void*) {
    HANDLE events[2] = {commandEvent, pendingEvent};
    for (;;) {
        DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0)
            RunCommand();
        else if (woken == WAIT_OBJECT_0 + 1 && CurrentScript().notifyMode == e2e::NotifyAtOnce)
            DeliverPending();
        else if (woken == WAIT_FAILED)
            return 1;
    }
}

}  // namespace

void StartServiceThread() {
    if (InterlockedExchange(&started, 1) != 0) return;
    InitializeCriticalSection(&pendingLock);
    char channel[200];
    char name[240];
    GetEnvironmentVariableA(e2e::ChannelVariable, channel, sizeof channel);
    e2e::ObjectName(name, sizeof name, channel, "command");
    commandEvent = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name);
    e2e::ObjectName(name, sizeof name, channel, "done");
    doneEvent = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name);
    pendingEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (commandEvent == nullptr || doneEvent == nullptr || pendingEvent == nullptr) return;
    HANDLE thread = CreateThread(nullptr, 0, ServiceThread, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

void QueueVolumeNotification(int session, LPCGUID context) {
    PendingNotification notification = {};
    notification.session = session;
    {
        ChannelLock lock;
        notification.volume = ChannelBlock()->live[session].volume;
        notification.mute = ChannelBlock()->live[session].mute;
    }
    notification.contextIsNull = context == nullptr;
    if (context != nullptr) notification.context = *context;
    EnterCriticalSection(&pendingLock);
    if (pendingCount < MaxPending) pending[pendingCount++] = notification;
    LeaveCriticalSection(&pendingLock);
    SetEvent(pendingEvent);
}

void AddSink(int session, IAudioSessionEvents* sink) {
    ChannelLock lock;
    e2e::SessionLive& live = ChannelBlock()->live[session];
    if (live.sinkCount < e2e::MaxSinksPerSession) live.sinks[live.sinkCount++] = reinterpret_cast<LONGLONG>(sink);
}

bool RemoveSink(int session, IAudioSessionEvents* sink) {
    ChannelLock lock;
    e2e::SessionLive& live = ChannelBlock()->live[session];
    for (int i = 0; i < live.sinkCount; ++i) {
        if (live.sinks[i] != reinterpret_cast<LONGLONG>(sink)) continue;
        for (int j = i + 1; j < live.sinkCount; ++j) live.sinks[j - 1] = live.sinks[j];
        live.sinks[--live.sinkCount] = 0;
        return true;
    }
    return false;
}

}  // namespace service
