#pragma once
// Runs a part of a test as a user without privileges, for checks that a
// permission is honoured: root may write any file, so a test that runs as
// root (as in CI) could never see a refusal on its own.
//
//     const int status = RunUnprivileged([&] {
//         try {
//             SaveSomething(path);
//             return 1;  // saved although it should not have
//         } catch (const eks::Error&) {
//             return 0;
//         }
//     });
//     EXPECT_EQ(status, 0) << UnprivilegedStatusText(status);
//
// The body runs in a forked child. When the test runs as root the child first
// drops to the user and group "nobody" (65534, without supplementary groups);
// otherwise it keeps the test's own user. Whatever the body wants to report
// goes through its return value, the child's exit code (0 to 255; 120 and 121
// are taken, see below). GoogleTest assertions inside the body do not reach
// the parent: check in the parent, after the child has ended.
//
// Everything the child needs (files, folders) must be reachable by nobody:
// a folder made by root with the default umask is 0755, enough to read but
// not to create files in it; chmod it to 0777 where the body must write.
//
// The child is a copy of the test process, threads excepted: keep the body to
// plain file and library calls that take no locks another thread might hold
// (no new windows, no event loops).
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

inline constexpr uid_t kNobodyUid = 65534;
inline constexpr gid_t kNobodyGid = 65534;

// Exit codes of the child that RunUnprivileged reserves for itself.
inline constexpr int kUnprivilegedDropFailed = 120;  // could not become nobody
inline constexpr int kUnprivilegedBodyThrew = 121;   // the body let an exception out
// Results that are not an exit code: no child could be made or waited for.
inline constexpr int kUnprivilegedNoChild = -1;

// Runs `body` in a child process as described above and returns the child's
// exit code (0 to 255), 256 + the signal number when a signal ended it, or
// kUnprivilegedNoChild.
inline int RunUnprivileged(const std::function<int()>& body) {
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = ::fork();
    if (pid < 0) return kUnprivilegedNoChild;
    if (pid == 0) {
        if (::geteuid() == 0) {
            // Groups first: once the user id is nobody's, they can no longer change.
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobodyGid) != 0 ||
                ::setuid(kNobodyUid) != 0 || ::geteuid() != kNobodyUid || ::setuid(0) == 0)
                ::_exit(kUnprivilegedDropFailed);
        }
        int code = kUnprivilegedBodyThrew;
        try {
            code = body();
        } catch (...) {
        }
        std::fflush(nullptr);
        ::_exit(code & 0xFF);  // no atexit handlers, no leak report of the copy
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return kUnprivilegedNoChild;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 256 + WTERMSIG(status);
    return kUnprivilegedNoChild;
}

// What a result of RunUnprivileged means, for failure messages.
inline std::string UnprivilegedStatusText(int status) {
    switch (status) {
        case kUnprivilegedNoChild:
            return "no child process could be started or waited for";
        case kUnprivilegedDropFailed:
            return "the child could not drop to the user nobody (65534)";
        case kUnprivilegedBodyThrew:
            return "the body in the child threw an exception";
        default:
            return status > 255 ? "the child ended by signal " + std::to_string(status - 256)
                                : "the child exited with " + std::to_string(status);
    }
}
