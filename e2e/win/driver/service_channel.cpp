#include "driver/service_channel.h"

#include <cstdio>
#include <cstring>

namespace driver {
namespace {

constexpr DWORD CommandTimeoutMs = 15000;

class Locked {
public:
    explicit Locked(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
    ~Locked() { ReleaseMutex(mutex_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    HANDLE mutex_;
};

HANDLE CreateNamedEvent(const std::string& channel, const char* suffix) {
    char name[240];
    e2e::ObjectName(name, sizeof name, channel.c_str(), suffix);
    return CreateEventA(nullptr, FALSE, FALSE, name);
}

}  // namespace

ServiceChannel::~ServiceChannel() {
    if (block_ != nullptr) UnmapViewOfFile(block_);
    for (HANDLE handle : {mapping_, mutex_, command_, done_})
        if (handle != nullptr) CloseHandle(handle);
}

bool ServiceChannel::Create(const e2e::Script& script) {
    static int serial = 0;
    char name[200];
    std::snprintf(name, sizeof name, "Local\\sessionvol-e2e-%lu-%d", GetCurrentProcessId(), ++serial);
    name_ = name;
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(e2e::Channel), name);
    if (mapping_ == nullptr) return false;
    block_ = static_cast<e2e::Channel*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(e2e::Channel)));
    char mutexName[240];
    e2e::ObjectName(mutexName, sizeof mutexName, name, "lock");
    mutex_ = CreateMutexA(nullptr, FALSE, mutexName);
    command_ = CreateNamedEvent(name_, "command");
    done_ = CreateNamedEvent(name_, "done");
    if (block_ == nullptr || mutex_ == nullptr || command_ == nullptr || done_ == nullptr) return false;

    std::memset(block_, 0, sizeof(e2e::Channel));
    block_->script = script;
    for (int i = 0; i < e2e::MaxSessions; ++i) {
        block_->live[i].volume = script.sessions[i].volume;
        block_->live[i].mute = script.sessions[i].mute;
        block_->live[i].state = script.sessions[i].state;
    }
    block_->magic = e2e::ChannelMagic;
    return true;
}

std::vector<e2e::CallRecord> ServiceChannel::Records() const {
    Locked lock(mutex_);
    return std::vector<e2e::CallRecord>(block_->records, block_->records + block_->recordCount);
}

LONG ServiceChannel::Refs(LONG slot) const {
    Locked lock(mutex_);
    return block_->refs[slot];
}

LONG ServiceChannel::EverReferenced(LONG slot) const {
    Locked lock(mutex_);
    return block_->everReferenced[slot];
}

bool ServiceChannel::ServiceLoaded() const {
    Locked lock(mutex_);
    return block_->serviceLoaded != 0;
}

LONG ServiceChannel::RecordsDropped() const {
    Locked lock(mutex_);
    return block_->recordsDropped;
}

bool ServiceChannel::Run(e2e::Command command, int session, double number, LONG integer, e2e::Mailbox* answer) {
    LONG sequence;
    {
        Locked lock(mutex_);
        e2e::Mailbox& mailbox = block_->mailbox;
        sequence = ++mailbox.sequence;
        mailbox.command = command;
        mailbox.session = session;
        mailbox.number = number;
        mailbox.integer = integer;
    }
    SetEvent(command_);
    DWORD waitedFrom = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - waitedFrom;
        if (elapsed >= CommandTimeoutMs) return false;
        WaitForSingleObject(done_, CommandTimeoutMs - elapsed);
        Locked lock(mutex_);
        if (block_->mailbox.doneSequence == sequence) {
            if (answer != nullptr) *answer = block_->mailbox;
            return true;
        }
    }
}

std::vector<e2e::CallRecord> Only(const std::vector<e2e::CallRecord>& records, e2e::Method method) {
    std::vector<e2e::CallRecord> chosen;
    for (const e2e::CallRecord& record : records)
        if (record.method == method) chosen.push_back(record);
    return chosen;
}

std::vector<e2e::CallRecord> Only(const std::vector<e2e::CallRecord>& records, e2e::Method method, LONG slot) {
    std::vector<e2e::CallRecord> chosen;
    for (const e2e::CallRecord& record : records)
        if (record.method == method && record.slot == slot) chosen.push_back(record);
    return chosen;
}

std::string Describe(const std::vector<e2e::CallRecord>& records) {
    std::string text = "log:";
    for (const e2e::CallRecord& record : records) {
        char line[120];
        std::snprintf(line, sizeof line, " [m%ld s%ld hr=%08lx i=%ld n=%g]", record.method, record.slot,
                      static_cast<unsigned long>(record.result), record.integer, record.number);
        text += line;
    }
    return text;
}

}  // namespace driver
