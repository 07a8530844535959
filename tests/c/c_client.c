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

static int failures = 0;
#define CHECK(cond) \
    ((cond) ? (void)0 : (void)(++failures, fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond)))

static char dir[] = "/tmp/quolan-c-client-XXXXXX", path[256], bad[256];
static unsigned char saved[512];
static size_t saved_size;

static QuolanObject *make(QuolanObject *cls) { return quolan_base_methods(cls)->New(cls); }
static void drop(QuolanObject *o) { quolan_base_methods(o)->Delete(o); }

/* Writes (mode "wb") or reads ("rb") a whole file; answers the bytes moved. */
static size_t file_io(const char *name, const char *mode, unsigned char *bytes, size_t n)
{
    FILE *f = fopen(name, mode);
    size_t moved = !f ? 0 : mode[0] == 'w' ? fwrite(bytes, 1, n, f) : fread(bytes, 1, n, f);
    return f && fclose(f) == 0 ? moved : 0;
}

/* Files in the work directory: a failed save must leave no new file. */
static int entries(void)
{
    int n = 0;
    DIR *d = opendir(dir);
    while (d && readdir(d)) ++n;
    if (d) closedir(d);
    return n;
}

/* A refused load answers `want` (0: any failure) and sets *out to NULL. */
static void refused(unsigned char *bytes, size_t n, int32_t want)
{
    QuolanObject *out = (QuolanObject *)&out;
    int32_t status;
    CHECK(file_io(bad, "wb", bytes, n) == n);
    status = quolan_file_load(bad, &out);
    CHECK(status != StatusOk && (want == 0 || status == want) && out == NULL);
}

static void tables_and_names(QuolanObject *a)
{
    const ArrayMethods *m = quolan_array_methods(a);
    void *value = NULL;
    int32_t tag = -1;
    CHECK(m->PutStringCopyAt(a, "hello", -2) == StatusOk && m->GetAt(a, &value, &tag, 7) == StatusOutOfRange);
    CHECK(m->GetAt(a, &value, &tag, 0) == StatusOk && tag == OwnedString && strcmp((const char *)value, "hello") == 0);
    /* Slot numbers and typed tables agree, and named lookup finds the same. */
    CHECK((QuolanMethod)m->GetAt == a->methods[ArraySlot_GetAt] &&
          quolan_base_methods(a)->GetMethod(a, "GetAt") == a->methods[ArraySlot_GetAt]);
    CHECK(strcmp(quolan_status_name(StatusOutOfRange), "StatusOutOfRange") == 0 &&
          strcmp(quolan_status_name(StatusFailedFlag), "StatusFailedFlag") == 0);
    CHECK(strcmp(quolan_status_name(-7), "StatusUnknown") == 0);
}

/* A dictionary holding a number and an array saves as its framed record,
 * over a file whose permissions it keeps, and loads back as a Dict with the
 * same entries. */
static void round_trip(QuolanObject *list)
{
    QuolanObject *doc = make(dict_baseclass_init()), *loaded = NULL;
    const DictMethods *d = quolan_dict_methods(doc);
    void *value = NULL;
    int32_t kind = 0;
    struct stat st;
    CHECK(d->PutIntStringKey(doc, 7, "count") == StatusOk && d->PutStringKey(doc, list, Object, "list") == StatusOk);
    CHECK(quolan_file_save(doc, path) == StatusOk && chmod(path, 0604) == 0);
    CHECK(quolan_file_save(doc, path) == StatusOk && stat(path, &st) == 0 && (st.st_mode & 0777) == 0604);
    saved_size = file_io(path, "rb", saved, sizeof saved);
    CHECK(saved_size > 16 && memcmp(saved, "QUOLANCF\001\000\000\000\004\000\000\000Dict", 16) == 0);
    CHECK(quolan_file_load(path, &loaded) == StatusOk && loaded && loaded->methods == dict_baseclass->methods);
    CHECK(d->GetStringKey(loaded, &value, &kind, "count") == StatusOk && kind == Integer && *(int32_t *)value == 7);
    CHECK(d->GetStringKey(loaded, &value, &kind, "list") == StatusOk && kind == OwnedObject &&
          quolan_base_methods(list)->IsEqual(list, value) == 1);
    drop(loaded);
    drop(doc);
}

static void bad_files(void)
{
    unsigned char bytes[sizeof saved + 1];
    size_t cuts[] = {0, 4, 11, 15, 20, 0}, i;
    static const struct { size_t at; unsigned char to; int32_t want; } flips[] = {
        {0, 'X', StatusFailed}, {8, 2, StatusFailed}, {18, 'x', StatusFailed}, {24, 3, StatusBadType}};
    QuolanObject *out = NULL;
    cuts[5] = saved_size - 1;
    memcpy(bytes, saved, saved_size);
    for (i = 0; i < sizeof cuts / sizeof cuts[0]; ++i) refused(bytes, cuts[i], 0); /* empty and cut short */
    bytes[saved_size] = 0;
    refused(bytes, saved_size + 1, StatusFailed); /* a byte after the record */
    /* Another magic, format version or class ("Dixt"); a key entry of a tag no record holds. */
    for (i = 0; i < sizeof flips / sizeof flips[0]; ++i, memcpy(bytes, saved, saved_size)) {
        bytes[flips[i].at] = flips[i].to;
        refused(bytes, saved_size, flips[i].want);
    }
    remove(bad);
    CHECK(quolan_file_load(bad, &out) == StatusFailed && out == NULL); /* missing */
    CHECK(quolan_file_load(dir, &out) == StatusFailed && out == NULL);
    CHECK(quolan_file_load(NULL, &out) == StatusFailed && quolan_file_load(path, NULL) == StatusFailed);
}

/* Saves that cannot succeed answer a status, leave no file behind and
 * leave the file they would have replaced as it was. */
static void failed_saves(QuolanObject *a)
{
    QuolanObject *deferred = make(array_deferclass_init());
    unsigned char now[sizeof saved];
    struct rlimit limit;
    struct stat st;
    const int before = entries();
    int i;
    char missing[300];
    snprintf(missing, sizeof missing, "%s/no/such/dir.qcf", dir);
    CHECK(quolan_file_save(a, missing) == StatusFailed && quolan_file_save(a, dir) == StatusFailed);
    CHECK(quolan_file_save(deferred, path) == StatusFailed); /* a class with no saved form */
    CHECK(quolan_file_save(NULL, path) == StatusFailed && quolan_file_save(a, NULL) == StatusFailed);
    CHECK(quolan_array_methods(a)->PutPtrAt(a, &limit, 0) == StatusOk);
    CHECK(quolan_file_save(a, path) == StatusBadType); /* a pointer has no saved form */

    /* Bytes the file stream keeps until it is closed, refused only then. */
    for (i = 0; i < 100; ++i) CHECK(quolan_array_methods(a)->PutIntAt(a, i, i) == StatusOk);
    signal(SIGXFSZ, SIG_IGN);
    CHECK(getrlimit(RLIMIT_FSIZE, &limit) == 0);
    limit.rlim_cur = 64;
    CHECK(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    CHECK(quolan_file_save(a, path) == StatusFailed);
    limit.rlim_cur = limit.rlim_max;
    CHECK(setrlimit(RLIMIT_FSIZE, &limit) == 0);

    CHECK(file_io(path, "rb", now, sizeof now) == saved_size && memcmp(now, saved, saved_size) == 0);
    CHECK(entries() == before);
    /* A pipe at the target stays a pipe: only a regular file is replaced. */
    snprintf(missing, sizeof missing, "%s/pipe", dir);
    CHECK(mkfifo(missing, 0600) == 0 && quolan_file_save(a, missing) == StatusFailed);
    CHECK(stat(missing, &st) == 0 && S_ISFIFO(st.st_mode) && remove(missing) == 0);
    drop(deferred);
}

int main(void)
{
    QuolanObject *a = make(array_baseclass_init());
    CHECK(mkdtemp(dir) != NULL && a->methods == array_baseclass->methods);
    snprintf(path, sizeof path, "%s/doc.qcf", dir);
    snprintf(bad, sizeof bad, "%s/bad.qcf", dir);
    tables_and_names(a);
    round_trip(a);
    bad_files();
    failed_saves(a);
    remove(path);
    CHECK(rmdir(dir) == 0);
    drop(a);
    return failures == 0 ? 0 : 1;
}
