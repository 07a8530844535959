/* A plain C11 client: the public headers must compile as pedantic C and the
 * typed method tables must work without casts. */
#include <stdio.h>
#include <string.h>

#include "quolan/containers.h"
#include "quolan/stream.h"

static int failures = 0;
#define CHECK(cond) \
    ((cond) ? (void)0 : (void)(++failures, fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond)))

int main(void)
{
    QuolanObject *cls = array_baseclass_init(), *a;
    const ArrayMethods *m;
    void *value = NULL;
    int32_t tag = -1;
    if (!cls || cls != array_baseclass) return 1;
    a = quolan_base_methods(cls)->New(cls);
    m = quolan_array_methods(a);
    CHECK(m->PutIntAt(a, 42, -2) == StatusOk);
    CHECK(m->PutStringCopyAt(a, "hello", -2) == StatusOk);
    CHECK(m->GetAt(a, &value, &tag, 0) == StatusOk && tag == Integer && *(int32_t *)value == 42);
    CHECK(m->GetAt(a, &value, &tag, 1) == StatusOk && tag == OwnedString &&
          strcmp((const char *)value, "hello") == 0);
    CHECK(m->GetAt(a, &value, &tag, 7) == StatusOutOfRange);
    /* Slot numbers and typed tables agree, and named lookup finds the same. */
    CHECK((QuolanMethod)m->GetAt == a->methods[ArraySlot_GetAt]);
    CHECK(quolan_base_methods(a)->GetMethod(a, "GetAt") == a->methods[ArraySlot_GetAt]);
    CHECK(quolan_base_methods(a)->Delete(a) == 0);
    return failures == 0 ? 0 : 1;
}
