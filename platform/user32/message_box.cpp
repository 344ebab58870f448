// Message boxes. There is no one to click a box on Linux: the caption and text go to
// standard error as one line and the box answers IDOK at once.
#include <atomic>
#include <cstdio>
#include <mutex>

#include "window_state.h"

namespace platform::user32 {
namespace {

struct MessageBoxLog {
    std::mutex lock;
    std::atomic<bool> recording{false};
    std::vector<MessageBoxRecord> boxes;
};

MessageBoxLog& MessageBoxes() {
    static MessageBoxLog instance;
    return instance;
}

}  // namespace

void RecordMessageBoxes(bool enabled) {
    MessageBoxes().recording.store(enabled);
    ResetMessageBoxes();
}

std::vector<MessageBoxRecord> TakeMessageBoxes() {
    std::lock_guard<std::mutex> guard(MessageBoxes().lock);
    std::vector<MessageBoxRecord> taken;
    taken.swap(MessageBoxes().boxes);
    return taken;
}

void ResetMessageBoxes() { TakeMessageBoxes(); }

}  // namespace platform::user32

using namespace platform::user32;

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    std::string caption = lpCaption ? lpCaption : "Error";  // Windows' caption when none is given
    std::string text = lpText ? lpText : "";
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    if (MessageBoxes().recording.load()) {
        std::lock_guard<std::mutex> guard(MessageBoxes().lock);
        MessageBoxes().boxes.push_back(MessageBoxRecord{caption, text, uType});
    }
    return IDOK;
}
