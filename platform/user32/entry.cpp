// main() for the program on Linux: what the Windows loader does before WinMain.
#include <windows.h>

#include <string>

// From user32; declared here because this file is built outside the library.
namespace platform::user32 {
HINSTANCE ProgramInstance();
}

int main(int argc, char** argv) {
    // WinMain gets the command line without the program name, as on Windows.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(platform::user32::ProgramInstance(), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
