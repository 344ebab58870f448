// The driver's end of the control channel: it creates the channel, writes the script,
// reads the call log and the reference counts, and posts commands that the service
// runs on its own thread inside the program.
#pragma once

#include <string>
#include <vector>

#include "channel.h"

namespace driver {

class ServiceChannel {
public:
    ServiceChannel() = default;
    ~ServiceChannel();
    ServiceChannel(const ServiceChannel&) = delete;
    ServiceChannel& operator=(const ServiceChannel&) = delete;

    // A fresh channel holding `script`; the sessions' live values start as scripted.
    bool Create(const e2e::Script& script);
    const std::string& Name() const { return name_; }

    std::vector<e2e::CallRecord> Records() const;
    LONG Refs(LONG slot) const;
    LONG EverReferenced(LONG slot) const;
    bool ServiceLoaded() const;
    LONG RecordsDropped() const;

    // Posts a command and waits (generously) for the service thread to finish it.
    bool Run(e2e::Command command, int session, double number, LONG integer, e2e::Mailbox* answer);

private:
    std::string name_;
    HANDLE mapping_ = nullptr;
    HANDLE mutex_ = nullptr;
    HANDLE command_ = nullptr;
    HANDLE done_ = nullptr;
    e2e::Channel* block_ = nullptr;
};

// Records of one method, in call order.
std::vector<e2e::CallRecord> Only(const std::vector<e2e::CallRecord>& records, e2e::Method method);
std::vector<e2e::CallRecord> Only(const std::vector<e2e::CallRecord>& records, e2e::Method method, LONG slot);

// A readable dump of the log, for failure lines.
std::string Describe(const std::vector<e2e::CallRecord>& records);

}  // namespace driver
