// Refusing one system call through a seccomp filter, as a container runtime's profile
// refuses calls newer than the profile: the kernel answers with an error number
// without running the call. For the message loop test and refuse-epoll-pwait2.
#pragma once

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>

#include <cstddef>
#include <iterator>

#if defined(__x86_64__)
inline constexpr unsigned RefusedCallArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
inline constexpr unsigned RefusedCallArchitecture = AUDIT_ARCH_AARCH64;
#else
#error "refuse_syscall.h: add this architecture's AUDIT_ARCH_ value"
#endif

// From now on system call `number` fails with `error` in the calling thread and in
// the threads and programs it starts. The thread must be the process's only one for
// the filter to cover the whole process. False, with errno set, when no filter can be
// installed here.
inline bool RefuseSystemCall(unsigned number, unsigned error) {
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, RefusedCallArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, number, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (error & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
    // Without no_new_privs an unprivileged process may not install a filter.
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}
