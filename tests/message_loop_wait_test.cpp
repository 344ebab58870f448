// The message loop's real wait (no test driver, the monotonic clock) where the system
// refuses epoll_pwait2, as a container runtime's seccomp profile written before the
// call does: the loop must still sleep until its next timer is due. It runs in a
// child process, because the filter and the loop's switch to ppoll last for the rest
// of the process.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "refuse_syscall.h"

namespace {

constexpr int Ticks = 10;
int ticksSeen = 0;

void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    if (++ticksSeen == Ticks) PostQuitMessage(0);
}

struct LoopReport {
    int filterError = 0;  // errno when the filter could not be installed
    int refusal = 0;      // what epoll_pwait2 answered under the filter
    int ticks = 0;
    long sleeps = 0;  // the loop thread's voluntary context switches over the ticks
};

LoopReport RunTimerLoopWithEpollWaitRefused() {
    LoopReport report;
    if (!RefuseSystemCall(__NR_epoll_pwait2, EPERM)) {
        report.filterError = errno;
        return report;
    }
    const int probe = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event;
    const timespec now{0, 0};
    if (epoll_pwait2(probe, &event, 1, &now, nullptr) < 0) report.refusal = errno;
    close(probe);

    SetTimer(nullptr, 0, 20, CountTick);
    rusage before, after;
    getrusage(RUSAGE_THREAD, &before);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    getrusage(RUSAGE_THREAD, &after);
    report.ticks = ticksSeen;
    report.sleeps = after.ru_nvcsw - before.ru_nvcsw;
    return report;
}

TEST(MessageLoopWait, SleepsBetweenTimerTicksWhenEpollWaitIsRefused) {
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        const LoopReport report = RunTimerLoopWithEpollWaitRefused();
        _exit(write(channel[1], &report, sizeof report) == sizeof report ? 0 : 1);
    }
    close(channel[1]);
    LoopReport report;
    pollfd readable{channel[0], POLLIN, 0};
    const bool arrived = poll(&readable, 1, 30000) == 1 && read(channel[0], &report, sizeof report) == sizeof report;
    close(channel[0]);
    if (!arrived) kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(arrived) << "the loop gave no report within 30 s";
    if (report.filterError != 0) GTEST_SKIP() << "no seccomp filter can be installed here: " << std::strerror(report.filterError);
    ASSERT_EQ(report.refusal, EPERM) << "the filter did not refuse epoll_pwait2";
    EXPECT_EQ(report.ticks, Ticks);
    // A thread that waits for its timer sleeps once per tick (a voluntary context switch);
    // one that retries the refused call never sleeps. A tick that comes late on a loaded
    // machine may find the next one already due, so half of them is the bar.
    EXPECT_GE(report.sleeps, Ticks / 2) << "the loop did not sleep between ticks: it spun on the refused wait";
}

}  // namespace
