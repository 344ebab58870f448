// The program's entry point: state, COM, the window class, the main window, the loop.
#include <windows.h>

#include "app/app_state.h"
#include "app/main_window.h"

namespace {

constexpr char MainWindowClass[] = "MainWindowClass";
constexpr char MainWindowTitle[] = "ISimpleAudioVolume::SetMasterVolume TEST2";
constexpr int MainWindowWidth = 800;  // outer size, frame and caption included
constexpr int MainWindowHeight = 400;

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = MainWindowClass;
    return RegisterClassA(&windowClass) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    ResetAppState();
    AppState.hInstance = hInstance;

    const HRESULT comResult = CoInitialize(nullptr);

    if (!RegisterMainWindowClass(hInstance)) {
        MessageBoxA(nullptr, "Failed to register main class...", "Sorry", MB_ICONERROR);
        return 0;
    }

    AppState.hwndMain = CreateWindowExA(0, MainWindowClass, MainWindowTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                        CW_USEDEFAULT, MainWindowWidth, MainWindowHeight, nullptr, nullptr, hInstance, nullptr);
    if (AppState.hwndMain == nullptr) {
        MessageBoxA(nullptr, "Failed to create window...", "Sorry", MB_ICONERROR);
        return 0;
    }

    // The show command given to the program is not passed on.
    ShowWindow(AppState.hwndMain, SW_SHOW);
    UpdateWindow(AppState.hwndMain);

    // GetMessageA returns -1 on an error: only a positive result means a message.
    MSG message = {};
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    if (comResult == S_OK) CoUninitialize();

    // The quit message carries the code given to PostQuitMessage.
    return result == 0 ? static_cast<int>(message.wParam) : 0;
}
