#include "fault/sweep.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {
constexpr int kFailurePoint = 70;  // the k-th allocation failed and all checks held
constexpr int kCompleted = 71;     // the run never reached k: every point is covered
constexpr int kCheckFailed = 72;
bool armed = false;
int fail_at = 0;
int counted = 0;
}  // namespace

extern "C" int quolan_fault_should_fail(void)
{
    if (!armed) return 0;
    return ++counted == fail_at;
}

namespace fault {

void disarm() { armed = false; }

SweepResult sweep(const char *name, const Scenario &scenario)
{
    SweepResult result;
    // QUOLAN_FAULT_AT=k replays one failure point in this process, for a debugger.
    if (const char *only = std::getenv("QUOLAN_FAULT_AT")) {
        armed = true;
        fail_at = std::atoi(only);
        counted = 0;
        result.passed = scenario() == 0;
        armed = false;
        return result;
    }
    for (int k = 1;; ++k) {
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            armed = true;
            fail_at = k;
            counted = 0;
            int status = scenario();
            bool reached = counted >= k;
            armed = false;
            // exit() rather than _exit(), so LeakSanitizer checks the child;
            // its leak exit code (1) must not read as one of ours.
            std::exit(status != 0 ? kCheckFailed : reached ? kFailurePoint : kCompleted);
        }
        int wstatus = 0;
        waitpid(child, &wstatus, 0);
        if (!WIFEXITED(wstatus)) {
            std::fprintf(stderr, "%s: crashed when allocation %d failed\n", name, k);
            return result;
        }
        int code = WEXITSTATUS(wstatus);
        if (code == kCompleted) {
            result.passed = true;
            return result;
        }
        if (code != kFailurePoint) {
            std::fprintf(stderr, "%s: failed (exit %d) when allocation %d failed\n", name, code, k);
            return result;
        }
        result.points = k;
    }
}

}  // namespace fault
