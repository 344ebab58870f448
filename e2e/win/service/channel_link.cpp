// The DLL's end of the control channel: opening it, the log and the reference counts.
#include <cstring>

#include "service.h"

namespace service {
namespace {

e2e::Channel* channel = nullptr;
HANDLE channelMutex = nullptr;
e2e::Script emptyScript = {};

}  // namespace

e2e::Channel* ChannelBlock() { return channel; }

bool OpenChannel() {
    if (channel != nullptr) return true;
    char name[200];
    DWORD length = GetEnvironmentVariableA(e2e::ChannelVariable, name, sizeof name);
    if (length == 0 || length >= sizeof name) return false;

    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (mapping == nullptr) return false;
    auto* block = static_cast<e2e::Channel*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(e2e::Channel)));
    char mutexName[240];
    e2e::ObjectName(mutexName, sizeof mutexName, name, "lock");
    HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mutexName);
    if (block == nullptr || mutex == nullptr || block->magic != e2e::ChannelMagic) {
        if (block != nullptr) UnmapViewOfFile(block);
        if (mutex != nullptr) CloseHandle(mutex);
        CloseHandle(mapping);
        return false;
    }
    // The view and the handles stay open until the process ends: the program may call
    // the service up to its last instruction.
    channelMutex = mutex;
    channel = block;
    ChannelLock lock;
    channel->serviceLoaded = 1;
    channel->serviceProcessId = GetCurrentProcessId();
    return true;
}

ChannelLock::ChannelLock() {
    // WAIT_ABANDONED still hands over the mutex: a driver that died holding it leaves
    // nothing half-written that matters here.
    if (channelMutex != nullptr) WaitForSingleObject(channelMutex, INFINITE);
}

ChannelLock::~ChannelLock() {
    if (channelMutex != nullptr) ReleaseMutex(channelMutex);
}

e2e::CallRecord NewRecord(e2e::Method method, LONG slot, HRESULT result) {
    e2e::CallRecord record = {};
    record.method = method;
    record.slot = slot;
    record.result = result;
    return record;
}

HRESULT Record(e2e::CallRecord record) {
    record.threadId = GetCurrentThreadId();
    if (channel == nullptr) return record.result;
    ChannelLock lock;
    if (channel->recordCount < e2e::MaxRecords)
        channel->records[channel->recordCount++] = record;
    else
        ++channel->recordsDropped;
    return record.result;
}

ULONG AddSlotRef(LONG slot) {
    if (channel == nullptr) return 1;
    channel->everReferenced[slot] = 1;
    return static_cast<ULONG>(InterlockedIncrement(&channel->refs[slot]));
}

ULONG ReleaseSlotRef(LONG slot) {
    if (channel == nullptr) return 0;
    LONG count = InterlockedDecrement(&channel->refs[slot]);
    if (count < 0) {
        // One Release too many: keep the evidence (the count stays negative) and log it.
        Record(NewRecord(e2e::CallReleasedObjectUsed, slot, E_UNEXPECTED));
    }
    return static_cast<ULONG>(count);
}

void CheckAlive(LONG slot, e2e::Method method) {
    if (channel == nullptr || channel->refs[slot] > 0) return;
    e2e::CallRecord record = NewRecord(e2e::CallReleasedObjectUsed, slot, E_UNEXPECTED);
    record.integer = method;
    Record(record);
}

const e2e::Script& CurrentScript() { return channel != nullptr ? channel->script : emptyScript; }

bool SameGuid(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace service
