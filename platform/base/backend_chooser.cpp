#include "base/backend_chooser.h"

#include <cstdio>
#include <cstdlib>

namespace platform::base {

std::vector<std::string> SplitBackendList(std::string_view list) {
    std::vector<std::string> names;
    while (true) {
        size_t comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        size_t first = name.find_first_not_of(' ');
        if (first != std::string_view::npos) names.emplace_back(name.substr(first, name.find_last_not_of(' ') - first + 1));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return names;
}

std::vector<std::string> RequestedOrder(const ChooserSettings& settings, const std::vector<std::string>& override) {
    if (!override.empty()) return override;
    if (const char* fromEnvironment = std::getenv(settings.variable)) {
        std::vector<std::string> names = SplitBackendList(fromEnvironment);
        if (!names.empty()) return names;
    }
    return settings.defaultOrder;
}

void ChoiceReport::Declined(const std::string& name, const std::string& whyNot) {
    if (!declined_.empty()) declined_ += ", ";
    declined_ += name + " (" + whyNot + ")";
}

void ChoiceReport::Chosen(const char* name, const char* description) const {
    if (!settings_.announceChoice) return;
    if (declined_.empty())
        std::fprintf(stderr, "%s: using %s (%s)\n", settings_.kind, name, description);
    else
        std::fprintf(stderr, "%s: using %s (%s); not used: %s\n", settings_.kind, name, description, declined_.c_str());
}

void ChoiceReport::NoneStarted() const {
    std::fprintf(stderr, "%s: no backend could start; tried %s\n", settings_.kind,
                 declined_.empty() ? "nothing" : declined_.c_str());
}

}  // namespace platform::base
