#include "framework/nesting.h"

namespace qc {
thread_local int NestingGuard::depth_ = 0;
}
