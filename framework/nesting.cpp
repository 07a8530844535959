// The per-thread nesting depth (see nesting.h).
#include "framework/nesting.h"

namespace qc {
thread_local int NestingGuard::depth_ = 0;
}
