// The names of the status codes, for messages.  They follow from the one
// list in the public header, so a status added there is named here too.
#include "quolan/containers.h"

extern "C" const char *quolan_status_name(int32_t status)
{
    switch (status) {
#define QUOLAN_STATUS_NAME(Name, value) \
    case value: return #Name;
        QUOLAN_STATUS_LIST(QUOLAN_STATUS_NAME)
#undef QUOLAN_STATUS_NAME
    }
    return "StatusUnknown";
}
