/* A short C client: builds an array of readings, saves it to a memory
 * stream, loads it into a fresh array and walks the copy; then files the
 * loaded array in a dictionary with a few keyed facts and prints that. */
#include <stdio.h>

#include <quolan/containers.h>
#include <quolan/stream.h>

int main(void)
{
    QuolanObject *cls = array_baseclass_init();
    QuolanObject *dict_cls = dict_baseclass_init();
    if (!cls || !dict_cls) {
        fprintf(stderr, "the container classes could not be created\n");
        return 1;
    }
    const QuolanBaseMethods *base = quolan_base_methods(cls);

    QuolanObject *readings = base->New(cls);
    const ArrayMethods *m = quolan_array_methods(readings);
    m->PutStringCopyAt(readings, "sensor-7", -2);
    for (int i = 0; i < 4; ++i) m->PutDoubleAt(readings, 20.0 + i * 0.5, -2);

    QuolanObject *stream = quolan_memory_stream_new();
    int32_t status = base->Save(readings, stream, 0);
    size_t size = 0;
    const unsigned char *bytes = quolan_memory_stream_data(stream, &size);
    printf("saved %zu bytes (status %d)\n", size, status);

    QuolanObject *input = quolan_memory_stream_from(bytes, size);
    QuolanObject *loaded = base->New(cls);
    status = base->Load(loaded, input, 0);
    printf("loaded (status %d), equal to the original: %d\n", status,
           base->IsEqual(readings, loaded));

    void *value;
    int32_t tag;
    int32_t count = 0;
    m->SetIndex(loaded, 0);
    while (m->Next(loaded, &value, &tag) == StatusOk) {
        if (tag == Double) {
            printf("  %.1f\n", *(double *)value);
            ++count;
        } else if (tag == OwnedString) {
            printf("  %s\n", (const char *)value);
        }
    }

    /* The dictionary takes the loaded array over (OwnedObject) and deletes
     * it with itself; the key texts are copied. */
    QuolanObject *summary = quolan_base_methods(dict_cls)->New(dict_cls);
    const DictMethods *d = quolan_dict_methods(summary);
    int32_t built = d->PutStringKey(summary, "sensor-7", OwnedString, "sensor");
    if (built == StatusOk) built = d->PutIntStringKey(summary, count, "count");
    if (built == StatusOk) built = d->PutStringKey(summary, loaded, OwnedObject, "readings");
    if (built != StatusOk) base->Delete(loaded);
    if (built == StatusOk) built = debug_print_dict(summary, 0, stdout);

    base->Delete(summary);
    base->Delete(input);
    base->Delete(stream);
    base->Delete(readings);
    return status == StatusOk && built == StatusOk ? 0 : 1;
}
