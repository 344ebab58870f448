// Points MMDeviceEnumerator at the test audio service for the duration of a run, and
// puts back exactly what was there before.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

class ServiceRegistration {
public:
    ServiceRegistration() = default;
    ~ServiceRegistration() { Restore(); }
    ServiceRegistration(const ServiceRegistration&) = delete;
    ServiceRegistration& operator=(const ServiceRegistration&) = delete;

    // root: HKEY_CURRENT_USER (this user only; overrides the machine's entry for
    // processes that are not elevated) or HKEY_LOCAL_MACHINE (a throwaway Wine prefix).
    bool Install(HKEY root, const std::string& dllPath, std::string* why);
    void Restore();

private:
    HKEY root_ = nullptr;
    bool installed_ = false;
    bool classKeyExisted_ = false;
    bool serverKeyExisted_ = false;
    bool hadServer_ = false;
    bool hadModel_ = false;
    std::string oldServer_;
    std::string oldModel_;
};

}  // namespace driver
