// How a layer picks its backend: from a table in order of preference, or in the order
// a comma-separated environment variable names. The audio service and the video
// output both choose this way, with the same list syntax and the same messages.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::base {

// One backend of a table. `create` returns null when the backend cannot run here
// and then says why in whyNot, in a few words.
template <typename Backend>
struct BackendEntry {
    const char* name;
    const char* description;
    Backend (*create)(std::string& whyNot);
};

// The names of a comma-separated list, spaces around each trimmed, empty ones dropped.
std::vector<std::string> SplitBackendList(std::string_view list);

// What a table is called and how its choice is overridden.
struct ChooserSettings {
    const char* kind;                       // starts every line on standard error: "audio"
    const char* variable;                   // the environment variable: "PLATFORM_AUDIO"
    std::vector<std::string> defaultOrder;  // the names tried when the variable is unset
    // Say on standard error which backend is used (with what was not), in one line.
    bool announceChoice = false;
};

// The names to try: override when not empty, else the variable's list when it names
// any backend, else the default order.
std::vector<std::string> RequestedOrder(const ChooserSettings& settings, const std::vector<std::string>& override);

// The record of one choice, which writes its one line to standard error.
class ChoiceReport {
public:
    explicit ChoiceReport(const ChooserSettings& settings) : settings_(settings) {}
    void Declined(const std::string& name, const std::string& whyNot);
    void Chosen(const char* name, const char* description) const;
    void NoneStarted() const;

private:
    const ChooserSettings& settings_;
    std::string declined_;
};

// The first backend of the requested order that creates, or null when none does.
template <typename Backend>
Backend ChooseBackend(std::span<const BackendEntry<Backend>> table, const ChooserSettings& settings,
                      const std::vector<std::string>& override = {}) {
    ChoiceReport report(settings);
    for (const std::string& name : RequestedOrder(settings, override)) {
        const BackendEntry<Backend>* entry = nullptr;
        for (const BackendEntry<Backend>& candidate : table) {
            if (name == candidate.name) entry = &candidate;
        }
        if (entry == nullptr) {
            report.Declined(name, "unknown backend");
            continue;
        }
        std::string whyNot;
        if (Backend backend = entry->create(whyNot)) {
            report.Chosen(entry->name, entry->description);
            return backend;
        }
        report.Declined(name, whyNot.empty() ? "cannot start" : whyNot);
    }
    report.NoneStarted();
    return nullptr;
}

}  // namespace platform::base
