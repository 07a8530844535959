/* A plain C11 client, built in the tree and against the installed package:
 * the public headers compile as pedantic C, the typed method tables work
 * without casts, and container files round-trip while every kind of bad
 * file, bad target or failed save answers a status and leaves no file and
 * no object behind. */
#define _POSIX_C_SOURCE 200809L
#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "quolan/containers.h"
#include "quolan/stream.h"

static int failures = 0;
#define CHECK(cond) \
    ((cond) ? (void)0 : (void)(++failures, fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond)))

static char dir[] = "/tmp/quolan-c-client-XXXXXX";
static char path[256], other[256];
static unsigned char saved[512];
static size_t saved_size;

static QuolanObject *make(QuolanObject *cls) { return quolan_base_methods(cls)->New(cls); }
static void drop(QuolanObject *o) { quolan_base_methods(o)->Delete(o); }

static void write_file(const char *to, const unsigned char *bytes, size_t n)
{
    FILE *f = fopen(to, "wb");
    CHECK(f && fwrite(bytes, 1, n, f) == n && fclose(f) == 0);
}

static size_t read_file(const char *from, unsigned char *bytes, size_t room)
{
    FILE *f = fopen(from, "rb");
    size_t n = f ? fread(bytes, 1, room, f) : 0;
    if (f) fclose(f);
    return n;
}

/* Entries in the work directory: a failed save must leave no temporary. */
static int entries(void)
{
    int n = 0;
    DIR *d = opendir(dir);
    struct dirent *e;
    while (d && (e = readdir(d)) != NULL) n += e->d_name[0] != '.';
    if (d) closedir(d);
    return n;
}

/* A refused load answers `want` (0: any failure) and sets *out to NULL. */
static void refused(const unsigned char *bytes, size_t n, int32_t want)
{
    QuolanObject *out = (QuolanObject *)&out;
    int32_t status;
    write_file(other, bytes, n);
    status = quolan_file_load(other, &out);
    CHECK(status != StatusOk && (want == 0 || status == want) && out == NULL);
}

static void tables_and_names(void)
{
    QuolanObject *a = make(array_baseclass_init());
    const ArrayMethods *m = quolan_array_methods(a);
    void *value = NULL;
    int32_t tag = -1;
    CHECK(a->methods == array_baseclass->methods);
    CHECK(m->PutIntAt(a, 42, -2) == StatusOk && m->PutStringCopyAt(a, "hello", -2) == StatusOk);
    CHECK(m->GetAt(a, &value, &tag, 1) == StatusOk && tag == OwnedString && strcmp((const char *)value, "hello") == 0);
    CHECK(m->GetAt(a, &value, &tag, 7) == StatusOutOfRange);
    /* Slot numbers and typed tables agree, and named lookup finds the same. */
    CHECK((QuolanMethod)m->GetAt == a->methods[ArraySlot_GetAt]);
    CHECK(quolan_base_methods(a)->GetMethod(a, "GetAt") == a->methods[ArraySlot_GetAt]);
    CHECK(strcmp(quolan_status_name(StatusOutOfRange), "StatusOutOfRange") == 0);
    CHECK(strcmp(quolan_status_name(StatusFailedFlag), "StatusFailedFlag") == 0);
    CHECK(strcmp(quolan_status_name(-7), "StatusUnknown") == 0);
    drop(a);
}

/* A dictionary holding text, a number and an array saves, and loads back as
 * a Dict equal key by key; the file is the bytes its Save writes, framed. */
static void round_trip(void)
{
    QuolanObject *doc = make(dict_baseclass_init()), *list = make(array_baseclass_init()), *loaded = NULL;
    const DictMethods *d = quolan_dict_methods(doc);
    void *value = NULL;
    int32_t kind = 0;
    char name[128] = "";
    CHECK(quolan_array_methods(list)->PutDoubleAt(list, 2.5, -2) == StatusOk);
    CHECK(d->PutStringKey(doc, "report", OwnedString, "title") == StatusOk);
    CHECK(d->PutIntStringKey(doc, 7, "count") == StatusOk);
    CHECK(d->PutStringKey(doc, list, OwnedObject, "list") == StatusOk);
    CHECK(quolan_file_save(doc, path) == StatusOk);
    saved_size = read_file(path, saved, sizeof saved);
    CHECK(saved_size > 16 && memcmp(saved, "QUOLANCF\001\000\000\000\004\000\000\000Dict", 16) == 0);

    CHECK(quolan_file_load(path, &loaded) == StatusOk && loaded);
    CHECK(quolan_base_methods(loaded)->IsA(loaded, name) && strcmp(name, "Dict") == 0);
    CHECK(d->GetStringKey(loaded, &value, &kind, "count") == StatusOk && kind == Integer && *(int32_t *)value == 7);
    CHECK(d->GetStringKey(loaded, &value, &kind, "list") == StatusOk && kind == OwnedObject &&
          quolan_base_methods(list)->IsEqual(list, value) == 1);
    drop(loaded);
    drop(doc);
}

static void bad_files(void)
{
    unsigned char bytes[sizeof saved + 1];
    size_t cuts[] = {0, 4, 11, 15, 20, 0};
    size_t i;
    QuolanObject *out = NULL;
    char missing[300];
    cuts[5] = saved_size - 1;
    memcpy(bytes, saved, saved_size);
    for (i = 0; i < sizeof cuts / sizeof cuts[0]; ++i) refused(bytes, cuts[i], 0); /* empty and cut short */
    bytes[saved_size] = 0;
    refused(bytes, saved_size + 1, StatusFailed); /* a byte after the record */
    bytes[0] = 'X';
    refused(bytes, saved_size, StatusFailed); /* another magic */
    bytes[0] = 'Q', bytes[8] = 2;
    refused(bytes, saved_size, StatusFailed); /* another format version */
    bytes[8] = 1, bytes[18] = 'x';
    refused(bytes, saved_size, StatusFailed); /* "Dixt": no such class */
    bytes[18] = 'c', bytes[24] = 3;
    refused(bytes, saved_size, StatusBadType); /* a key entry of a tag no record holds */

    CHECK(quolan_file_load(dir, &out) == StatusFailed && out == NULL); /* a directory */
    snprintf(missing, sizeof missing, "%s/missing.qcf", dir);
    CHECK(quolan_file_load(missing, &out) == StatusFailed && out == NULL);
    CHECK(quolan_file_load(NULL, &out) == StatusFailed && quolan_file_load(path, NULL) == StatusFailed);
}

/* Saves that cannot succeed answer a status, leave no file behind and
 * leave a file they would have replaced as it was. */
static void failed_saves(void)
{
    QuolanObject *a = make(array_baseclass_init()), *deferred = make(array_deferclass_init());
    unsigned char now[sizeof saved];
    struct rlimit limit;
    const int before = entries();
    int i;
    char missing[300];
    for (i = 0; i < 100; ++i) CHECK(quolan_array_methods(a)->PutIntAt(a, i, -2) == StatusOk);
    snprintf(missing, sizeof missing, "%s/no/such/dir.qcf", dir);
    CHECK(quolan_file_save(a, missing) == StatusFailed);
    CHECK(quolan_file_save(a, dir) == StatusFailed); /* the target is a directory */
    CHECK(quolan_file_save(deferred, path) == StatusFailed); /* a class with no saved form */
    CHECK(quolan_array_methods(a)->PutPtrAt(a, &limit, 0) == StatusOk);
    CHECK(quolan_file_save(a, path) == StatusBadType); /* a pointer has no saved form */
    CHECK(quolan_file_save(NULL, path) == StatusFailed && quolan_file_save(a, NULL) == StatusFailed);

    /* Bytes the file stream buffers until it is closed, refused then. */
    CHECK(quolan_array_methods(a)->PutIntAt(a, 0, 0) == StatusOk);
    signal(SIGXFSZ, SIG_IGN);
    CHECK(getrlimit(RLIMIT_FSIZE, &limit) == 0);
    limit.rlim_cur = 64;
    CHECK(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    CHECK(quolan_file_save(a, path) == StatusFailed);
    limit.rlim_cur = limit.rlim_max;
    CHECK(setrlimit(RLIMIT_FSIZE, &limit) == 0);

    CHECK(read_file(path, now, sizeof now) == saved_size && memcmp(now, saved, saved_size) == 0);
    CHECK(entries() == before);
    drop(deferred);
    drop(a);
}

int main(void)
{
    CHECK(mkdtemp(dir) != NULL);
    snprintf(path, sizeof path, "%s/doc.qcf", dir);
    snprintf(other, sizeof other, "%s/bad.qcf", dir);
    tables_and_names();
    round_trip();
    bad_files();
    remove(other);
    failed_saves();
    remove(path);
    CHECK(rmdir(dir) == 0);
    return failures == 0 ? 0 : 1;
}
