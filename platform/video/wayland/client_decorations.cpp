// libdecor's context for a connection, and the check that it found a plugin to draw
// with.
#include "wayland/client_decorations.h"

#include <dlfcn.h>
#include <libdecor.h>
#include <link.h>

#include <cstdio>
#include <string>
#include <vector>

namespace platform::video::wayland {
namespace {

// What a user installs to get the title bar (libdecor itself only names a folder).
const char PluginPackage[] = "libdecor-0-plugin-1-cairo";

libdecor_interface MakeInterface() {
    libdecor_interface callbacks{};
    callbacks.error = [](libdecor*, libdecor_error, const char* message) {
        std::fprintf(stderr, "wayland: libdecor: %s\n", message);
    };
    return callbacks;
}

libdecor_interface Interface = MakeInterface();

// libdecor has no call that says whether a plugin draws its frames: without one it
// goes on with a fallback that draws nothing. A plugin is a library that exports
// libdecor_plugin_description, so look for such a library among those loaded now.
bool PluginLoaded() {
    std::vector<std::string> loaded;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* names) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
                static_cast<std::vector<std::string>*>(names)->emplace_back(info->dlpi_name);
            return 0;
        },
        &loaded);
    for (const std::string& name : loaded) {
        void* library = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (library == nullptr) continue;
        const bool plugin = dlsym(library, "libdecor_plugin_description") != nullptr;
        dlclose(library);
        if (plugin) return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<ClientDecorations> ClientDecorations::Start(wl_display* display) {
    libdecor* context = libdecor_new(display, &Interface);
    if (context == nullptr) {
        std::fprintf(stderr, "wayland: libdecor could not start: the window has no title bar\n");
        return nullptr;
    }
    std::unique_ptr<ClientDecorations> decorations(new ClientDecorations(context));
    // libdecor learns the globals in the first round trip and its plugin what the bound
    // ones say in the second; a window made before would wait for them.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (!PluginLoaded()) {
        std::fprintf(stderr,
                     "wayland: the compositor draws no title bar and libdecor found no plugin to draw one; the window has "
                     "none (install %s)\n",
                     PluginPackage);
    }
    return decorations;
}

ClientDecorations::~ClientDecorations() { libdecor_unref(context_); }

}  // namespace platform::video::wayland
