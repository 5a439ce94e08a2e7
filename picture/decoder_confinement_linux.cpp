// decoder_confinement_linux: the decoder helper's seccomp filter and limits (see the header).
#include "picture/decoder_confinement_linux.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "picture/image_decoder_protocol.h"

namespace {

// Calls allowed whatever their arguments: reading what it holds, memory, threads' own needs,
// clocks, randomness, the machine's memory size (libtiff asks it through sysconf), exit.
// clang-format off
const char* const AllowedCalls[] = {
    "read", "pread64", "readv", "preadv", "lseek", "fstat", "newfstatat", "close",
    "mmap", "munmap", "mremap", "mprotect", "madvise", "brk",
    "futex", "set_robust_list", "get_robust_list", "rseq", "sched_yield", "sched_getaffinity",
    "rt_sigreturn", "rt_sigprocmask", "rt_sigaction", "sigaltstack", "restart_syscall",
    "getpid", "gettid", "getrlimit", "sysinfo",
    "clock_gettime", "clock_getres", "gettimeofday", "nanosleep", "clock_nanosleep",
    "getrandom", "exit", "exit_group",
};
// clang-format on

bool Refuse(char* reason, size_t reasonSize, const char* step, int error) {
    snprintf(reason, reasonSize, "the decoder could not shut itself in (%s: %s)", step, strerror(error));
    return false;
}

// Adds one rule; false when libseccomp refuses it.
bool Add(scmp_filter_ctx filter, uint32_t action, const char* name, unsigned count = 0,
         scmp_arg_cmp first = scmp_arg_cmp(), scmp_arg_cmp second = scmp_arg_cmp()) {
    int call = seccomp_syscall_resolve_name(name);
    if (call == __NR_SCMP_ERROR) return true;  // not a call on this architecture
    if (count == 0) return seccomp_rule_add(filter, action, call, 0) == 0;
    if (count == 1) return seccomp_rule_add(filter, action, call, 1, first) == 0;
    return seccomp_rule_add(filter, action, call, 2, first, second) == 0;
}

bool AddRules(scmp_filter_ctx filter) {
    bool ok = true;
    for (const char* name : AllowedCalls) ok = ok && Add(filter, SCMP_ACT_ALLOW, name);
    // Writing: the answer, and a library's complaint on stderr; no other fd it may hold.
    for (int fd : {int(DecoderResultFd), STDERR_FILENO}) {
        ok = ok && Add(filter, SCMP_ACT_ALLOW, "write", 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd)));
        ok = ok && Add(filter, SCMP_ACT_ALLOW, "writev", 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd)));
    }
    // Threads, never processes. clone3 passes its flags in memory the filter cannot read, so it
    // answers "not implemented" and the C library uses clone, whose flags are its first argument.
    ok = ok && Add(filter, SCMP_ACT_ALLOW, "clone", 1, SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    ok = ok && Add(filter, SCMP_ACT_ERRNO(ENOSYS), "clone3");
    // Signals to itself only (abort, a thread's own signals).
    const scmp_datum_t self = scmp_datum_t(getpid());
    ok = ok && Add(filter, SCMP_ACT_ALLOW, "tgkill", 1, SCMP_A0(SCMP_CMP_EQ, self));
    // A thread naming itself; its own limits, read only.
    ok = ok && Add(filter, SCMP_ACT_ALLOW, "prctl", 1, SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME));
    ok = ok && Add(filter, SCMP_ACT_ALLOW, "prctl", 1, SCMP_A0(SCMP_CMP_EQ, PR_GET_NAME));
    ok = ok && Add(filter, SCMP_ACT_ALLOW, "prlimit64", 2, SCMP_A0(SCMP_CMP_EQ, 0), SCMP_A2(SCMP_CMP_EQ, 0));
    // What an fd is, never changing it.
    ok = ok && Add(filter, SCMP_ACT_ALLOW, "fcntl", 1, SCMP_A1(SCMP_CMP_EQ, F_GETFL));
    ok = ok && Add(filter, SCMP_ACT_ALLOW, "fcntl", 1, SCMP_A1(SCMP_CMP_EQ, F_GETFD));
    return ok;
}

}  // namespace

bool ConfineDecoder(char* reason, size_t reasonSize) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return Refuse(reason, reasonSize, "no new privileges", errno);
    // A write past the limit then fails with EFBIG rather than ending the decode.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit noFiles = {0, 0};
    if (setrlimit(RLIMIT_FSIZE, &noFiles) != 0) return Refuse(reason, reasonSize, "file size limit", errno);

    // Calls of another architecture (the 32-bit entry on x86-64) kill too: libseccomp's
    // default for them.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) return Refuse(reason, reasonSize, "filter", ENOMEM);
    if (!AddRules(filter)) {
        seccomp_release(filter);
        return Refuse(reason, reasonSize, "filter rules", EINVAL);
    }
    int loaded = seccomp_load(filter);
    seccomp_release(filter);
    if (loaded != 0) return Refuse(reason, reasonSize, "filter", -loaded);
    return true;
}
