#include "support.h"

namespace qt {

int32_t Tracked::clears = 0;

QuolanObject *Tracked::cls()
{
    static QuolanObject *c = root_class_with(
        [](QuolanBaseMethods &t) { t.Clear = [](QuolanObject *) { ++Tracked::clears; }; });
    return c;
}

}  // namespace qt
