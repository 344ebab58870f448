// main() for the program on Linux: what the Windows loader does before WinMain.
// A Linux user expects --help and --version of any installed program; they are
// answered here, before WinMain, because the program itself reads no arguments.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

// From user32; declared here because this file is built outside the library.
namespace platform::user32 {
HINSTANCE ProgramInstance();
void CloseWindowsOnTerminationSignals();
}  // namespace platform::user32

namespace {

const char HelpText[] =
    "Usage: sessionvol [--help | --version]\n"
    "\n"
    "Shows the first audio session of the default playback device (identifier,\n"
    "volume, mute flag, state, process ID), follows every change of it, and sets\n"
    "its volume (0, 0.25, 0.50, 1.00) or flips its mute from five buttons.\n"
    "\n"
    "Sessions are the streams of the PulseAudio or PipeWire server that libpulse\n"
    "finds (PULSE_SERVER, else $XDG_RUNTIME_DIR/pulse/native); without one, a\n"
    "simulated service. One line on standard error names the service in use.\n"
    "\n"
    "Environment:\n"
    "  PLATFORM_AUDIO  audio backends to try, comma-separated: pulse, sim\n"
    "  PLATFORM_VIDEO  window backends to try, comma-separated: x11, offscreen\n"
    "  DISPLAY         the X display the window opens on\n"
    "\n"
    "Other arguments are ignored. Exit status: 0, also when no window can be opened\n"
    "(the reason goes to standard error). See sessionvol(1).\n";

// Answers --help or --version, whichever comes first; true when it did.
bool AnsweredInformationRequest(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(HelpText, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("sessionvol %s\n", SESSIONVOL_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnsweredInformationRequest(argc, argv)) return std::fflush(stdout) == 0 ? 0 : 1;
    // WinMain gets the command line without the program name, as on Windows.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    // A logout, Ctrl+C or a closed terminal ends the program the way its close does.
    platform::user32::CloseWindowsOnTerminationSignals();
    return WinMain(platform::user32::ProgramInstance(), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
