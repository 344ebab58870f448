// Window classes, and the stock icon and cursor the program loads.
#include <cstring>
#include <vector>

#include "window_state.h"

namespace platform::user32 {
namespace {

struct ClassTable {
    std::mutex lock;
    std::vector<WindowClass> classes;
    ATOM nextAtom = 0xC000;  // the range Windows gives registered class names
};

ClassTable& Classes() {
    // Never destroyed: windows, their surfaces and the display connection stay valid
    // until the process ends, whatever order static destructors run in.
    static ClassTable* instance = new ClassTable;
    return *instance;
}

// Class names compare without regard to case, as on Windows.
bool SameName(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

bool IsAtom(LPCSTR nameOrAtom) { return reinterpret_cast<uintptr_t>(nameOrAtom) < 0x10000; }

const WindowClass* FindLocked(ClassTable& state, LPCSTR nameOrAtom, bool programClassesOnly) {
    if (!nameOrAtom) return nullptr;
    // The program's classes shadow the built-in ones of the same name.
    for (bool wantSystem : {false, true}) {
        if (wantSystem && programClassesOnly) break;
        for (const WindowClass& entry : state.classes) {
            if (entry.system != wantSystem) continue;
            if (IsAtom(nameOrAtom) ? entry.atom == reinterpret_cast<uintptr_t>(nameOrAtom) : SameName(entry.name, nameOrAtom)) {
                return &entry;
            }
        }
    }
    return nullptr;
}

ATOM AddLocked(ClassTable& state, WindowClass entry) {
    entry.atom = state.nextAtom++;
    state.classes.push_back(std::move(entry));
    return state.classes.back().atom;
}

}  // namespace

std::optional<WindowClass> FindClass(LPCSTR nameOrAtom) {
    ClassTable& state = Classes();
    std::lock_guard<std::mutex> guard(state.lock);
    const WindowClass* entry = FindLocked(state, nameOrAtom, false);
    if (!entry) return std::nullopt;
    return *entry;
}

void ResetClasses() {
    ClassTable& state = Classes();
    std::lock_guard<std::mutex> guard(state.lock);
    state.classes.clear();
}

void RegisterSystemClasses() {
    ClassTable& state = Classes();
    std::lock_guard<std::mutex> guard(state.lock);
    if (FindLocked(state, "BUTTON", false)) return;
    WindowClass button;
    button.name = "BUTTON";
    button.style = CS_HREDRAW | CS_VREDRAW;
    button.procedure = ButtonProcedure;
    button.system = true;
    AddLocked(state, std::move(button));
}

}  // namespace platform::user32

using namespace platform::user32;

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (!lpWndClass || !lpWndClass->lpfnWndProc || !lpWndClass->lpszClassName || IsAtom(lpWndClass->lpszClassName)) {
        return 0;
    }
    RegisterSystemClasses();
    ClassTable& state = Classes();
    std::lock_guard<std::mutex> guard(state.lock);
    if (FindLocked(state, lpWndClass->lpszClassName, true)) return 0;  // ERROR_CLASS_ALREADY_EXISTS
    WindowClass entry;
    entry.name = lpWndClass->lpszClassName;
    entry.style = lpWndClass->style;
    entry.procedure = lpWndClass->lpfnWndProc;
    entry.instance = lpWndClass->hInstance;
    entry.background = lpWndClass->hbrBackground;
    return AddLocked(state, std::move(entry));
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    ATOM atom = 0;
    {
        ClassTable& state = Classes();
        std::lock_guard<std::mutex> guard(state.lock);
        const WindowClass* entry = FindLocked(state, lpClassName, true);
        if (!entry) return FALSE;
        atom = entry->atom;
    }
    for (HWND handle : AllWindows()) {
        if (Window* window = FindWindow(handle); window && window->classAtom == atom) return FALSE;  // still in use
    }
    ClassTable& state = Classes();
    std::lock_guard<std::mutex> guard(state.lock);
    for (auto it = state.classes.begin(); it != state.classes.end(); ++it) {
        if (it->atom == atom) {
            state.classes.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    // Only the system's stock icons exist here (IDI_APPLICATION and its neighbours);
    // the program ships no icon resources on Linux.
    uintptr_t id = reinterpret_cast<uintptr_t>(lpIconName);
    if (hInstance || id < 32512 || id > 32518) return nullptr;
    static HICON__ stockIcons[7];
    return &stockIcons[id - 32512];
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    uintptr_t id = reinterpret_cast<uintptr_t>(lpCursorName);
    if (hInstance || id < 32512 || id > 32651) return nullptr;
    static HICON__ stockCursors[32651 - 32512 + 1];
    return &stockCursors[id - 32512];
}

}  // extern "C"
