/* Hello, containers: builds a small nested document, saves it to a
 * container file, loads it back and prints what came back.
 *
 *     hello [FILE]        (FILE defaults to hello.qcf)
 */
#include <stdio.h>

#include <quolan/containers.h>

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "hello.qcf";
    QuolanObject *dict_class = dict_baseclass_init();
    QuolanObject *array_class = array_baseclass_init();
    if (!dict_class || !array_class) {
        fprintf(stderr, "hello: the container classes cannot be created\n");
        return 1;
    }

    /* {"greeting": "hello", "year": 2024, "primes": [2, 3, 5, 7]} */
    QuolanObject *doc = quolan_base_methods(dict_class)->New(dict_class);
    QuolanObject *primes = quolan_base_methods(array_class)->New(array_class);
    if (!doc || !primes) return 1;
    const DictMethods *d = quolan_dict_methods(doc);
    int32_t status = d->PutStringKey(doc, "hello", OwnedString, "greeting"); /* the text is copied */
    if (status == StatusOk) status = d->PutIntStringKey(doc, 2024, "year");
    const int32_t small_primes[] = {2, 3, 5, 7};
    for (int i = 0; i < 4 && status == StatusOk; ++i)
        status = quolan_array_methods(primes)->PutIntAt(primes, small_primes[i], -2); /* -2 appends */
    /* OwnedObject: the document takes the array over and deletes it with itself. */
    if (status == StatusOk) status = d->PutStringKey(doc, primes, OwnedObject, "primes");
    else quolan_base_methods(primes)->Delete(primes);

    if (status == StatusOk) status = quolan_file_save(doc, path);
    QuolanObject *loaded = NULL;
    if (status == StatusOk) status = quolan_file_load(path, &loaded);
    if (status == StatusOk) {
        void *value;
        int32_t kind;
        if (d->GetStringKey(loaded, &value, &kind, "greeting") == StatusOk && kind == OwnedString)
            printf("%s from %s\n", (const char *)value, path);
        status = debug_print_dict(loaded, 0, stdout);
        quolan_base_methods(loaded)->Delete(loaded);
    }
    quolan_base_methods(doc)->Delete(doc);
    if (status != StatusOk) {
        fprintf(stderr, "hello: %s: %s\n", path, quolan_status_name(status));
        return 1;
    }
    return 0;
}
