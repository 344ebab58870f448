// refuse-epoll-pwait2: runs a program with epoll_pwait2 refused (EPERM) by a seccomp
// filter, as under a container runtime whose profile predates the call (Linux 5.11).
// For measuring the program there, e.g. its idle cost beside an unfiltered run:
//
//   refuse-epoll-pwait2 PROGRAM [ARGS...]
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "refuse_syscall.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: refuse-epoll-pwait2 PROGRAM [ARGS...]\n");
        return 2;
    }
    if (!RefuseSystemCall(__NR_epoll_pwait2, EPERM)) {
        std::fprintf(stderr, "refuse-epoll-pwait2: cannot install a seccomp filter: %s\n", std::strerror(errno));
        return 1;
    }
    execvp(argv[1], argv + 1);
    std::fprintf(stderr, "refuse-epoll-pwait2: cannot run %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
