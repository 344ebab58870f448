// The message loop's real wait (no test driver, the monotonic clock): between timer
// ticks the window thread sleeps until the next one is due, as an idle program must.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <windows.h>

#include "testing/window_test.h"

namespace {

constexpr int Ticks = 10;
int ticksSeen = 0;

void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    if (++ticksSeen == Ticks) PostQuitMessage(0);
}

TEST(MessageLoopWait, SleepsBetweenTimerTicks) {
    platform::test::ResetWindowSystem();
    ticksSeen = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
    ASSERT_NE(timer, 0u);
    rusage before, after;
    getrusage(RUSAGE_THREAD, &before);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    getrusage(RUSAGE_THREAD, &after);
    KillTimer(nullptr, timer);

    EXPECT_EQ(ticksSeen, Ticks);
    // A thread that waits for its timer sleeps once per tick (a voluntary context switch);
    // one whose wait returns at once never sleeps. A tick that comes late on a loaded
    // machine may find the next one already due, so half of them is the bar.
    EXPECT_GE(after.ru_nvcsw - before.ru_nvcsw, Ticks / 2) << "the loop did not sleep between ticks: it spun";
}

}  // namespace
