#include "support.h"

namespace qt {

int32_t Tracked::clears = 0;

static void tracked_clear(QuolanObject *) { ++Tracked::clears; }

QuolanObject *Tracked::cls()
{
    static QuolanObject *c = [] {
        quolan_class_init();
        QuolanObject *k = quolan_generic_subclass(quolan_class, sizeof(QuolanObject),
                                                  QuolanSlot_Count * sizeof(QuolanMethod));
        reinterpret_cast<QuolanBaseMethods *>(k->methods)->Clear = tracked_clear;
        return k;
    }();
    return c;
}

}  // namespace qt
