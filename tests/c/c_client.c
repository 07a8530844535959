/* A plain C11 client: the public headers must compile as pedantic C and the
 * typed method tables must work without casts. */
#include <stdio.h>
#include <string.h>

#include "quolan/containers.h"
#include "quolan/stream.h"

static int failures = 0;
#define CHECK(cond)                                                      \
    do {                                                                 \
        if (!(cond)) {                                                   \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                  \
        }                                                                \
    } while (0)

int main(void)
{
    QuolanObject *cls = array_baseclass_init();
    CHECK(cls != NULL && cls == array_baseclass);
    if (!cls) return 1;

    QuolanObject *a = quolan_base_methods(cls)->New(cls);
    const ArrayMethods *m = quolan_array_methods(a);
    CHECK(m->PutIntAt(a, 42, -2) == StatusOk);
    CHECK(m->PutStringCopyAt(a, "hello", -2) == StatusOk);
    CHECK(m->PutDoubleAt(a, 0.5, -2) == StatusOk);

    void *value = NULL;
    int32_t tag = -1;
    CHECK(m->GetAt(a, &value, &tag, 0) == StatusOk && tag == Integer && *(int32_t *)value == 42);
    CHECK(m->GetAt(a, &value, &tag, 1) == StatusOk && tag == OwnedString &&
          strcmp((const char *)value, "hello") == 0);
    CHECK(m->GetAt(a, &value, &tag, 7) == StatusOutOfRange);

    /* Slot numbers and typed tables agree, and named lookup finds the same. */
    CHECK((QuolanMethod)m->GetAt == a->methods[ArraySlot_GetAt]);
    CHECK(quolan_base_methods(a)->GetMethod(a, "GetAt") == a->methods[ArraySlot_GetAt]);

    CHECK(quolan_base_methods(a)->Delete(a) == 0);
    if (failures == 0) printf("c client: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
