// sessionvol-e2e: runs sessionvol.exe on the real window system against the test
// audio service and prints one line per case and a closing tally.
//
//   sessionvol-e2e.exe --exe PATH --service PATH --register hkcu|hklm|none [--pictures DIR]
//
// --register hkcu   registers the service for the current user only while the runs
//                   last (a real Windows machine), then restores what was there;
// --register hklm   the same in HKEY_LOCAL_MACHINE (a throwaway Wine prefix);
// --register none   the service is registered already; the run over the system's own
//                   audio service is skipped, since it cannot be reached.
// --pictures        where to write the window and the reference drawing when a
//                   picture differs.
#include <cstdio>
#include <cstring>

#include "driver/registration.h"
#include "driver/runs.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: sessionvol-e2e.exe --exe PATH --service PATH --register hkcu|hklm|none [--pictures DIR]\n");
    return 2;
}

std::string FullPath(const char* path) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    return length == 0 || length >= MAX_PATH ? std::string(path) : std::string(full);
}

}  // namespace

int main(int argc, char** argv) {
    driver::Settings settings;
    std::string service;
    std::string registerIn;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--exe") == 0)
            settings.exe = FullPath(argv[i + 1]);
        else if (std::strcmp(argv[i], "--service") == 0)
            service = FullPath(argv[i + 1]);
        else if (std::strcmp(argv[i], "--register") == 0)
            registerIn = argv[i + 1];
        else if (std::strcmp(argv[i], "--pictures") == 0)
            settings.picturesDir = FullPath(argv[i + 1]);
        else
            return Usage();
    }
    if (argc % 2 == 0 || settings.exe.empty() || service.empty() ||
        (registerIn != "hkcu" && registerIn != "hklm" && registerIn != "none"))
        return Usage();
    if (GetFileAttributesA(settings.exe.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesA(service.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "sessionvol-e2e: %s or %s does not exist\n", settings.exe.c_str(), service.c_str());
        return 2;
    }

    if (registerIn != "none") driver::RunOverSystemService(settings);

    driver::ServiceRegistration registration;
    std::string why;
    bool registered =
        registerIn == "none" || registration.Install(registerIn == "hkcu" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, service, &why);
    if (!registered) {
        driver::Case c("registering the test audio service");
        c.Fail("%s", why.c_str());
    } else {
        driver::RunMainScript(settings);
        driver::RunWithoutDevice(settings);
        driver::RunWithoutSessionList(settings);
        driver::RunWithoutSimpleVolume(settings);
        registration.Restore();
    }

    driver::PrintTally();
    return driver::FailedCount() == 0 && driver::PassedCount() > 0 ? 0 : 1;
}
