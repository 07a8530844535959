// Allocation-failure sweep.
//
// sweep(scenario) runs the scenario once per allocation it makes, each time
// in a forked child in which exactly the k-th allocation fails (k = 1, 2, ...)
// until a run completes without reaching k.  A child starts from the state
// of the parent, which creates no classes, so class creation is swept too.
// The scenario checks every status it gets against what the library
// documents, then checks that its objects still work once allocations
// succeed again, and deletes everything; leaks show up under
// LeakSanitizer, which checks each child as it exits.
#pragma once

#include <cstdio>
#include <functional>

namespace fault {

// Stops failing allocations, so a scenario can check its objects afterwards.
void disarm();

// A scenario answers 0 when every check held; otherwise it prints why.
using Scenario = std::function<int()>;

struct SweepResult {
    int points = 0;       // allocation points reached (runs with a failure)
    bool passed = false;  // every run ended cleanly with its checks held
};
SweepResult sweep(const char *name, const Scenario &scenario);

}  // namespace fault

// In a scenario: checks a condition, reporting the line on failure.
#define FAULT_CHECK(cond)                                                             \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                 \
        }                                                                             \
    } while (0)
