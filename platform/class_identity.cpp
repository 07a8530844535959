/*
 * platform/class_identity.cpp - writing and reading which class a record is.
 *
 * A record starts with its class's own name: int32 length L, then L bytes,
 * no terminator.  Both directions go through the stream's own slots, never
 * around them, so any stream class a host provides works here.
 *
 * A class's own name is what its IsA writes into an empty buffer.  Finding a
 * class by name must use exactly that: IsA on a name alone also answers for
 * every ancestor's name, and every class answers to "QUOLAN".
 */
#include <stdint.h>
#include <string.h>

#include "internal.h"
#include "quolan/stream.h"

using namespace quolan::platform;

namespace {

/* Class names are at most 127 bytes, so a 128-byte buffer holds one with its
 * terminator; IsA has no length parameter and relies on this. */
constexpr size_t kNameBuffer = 128;
constexpr int32_t kFailed = -2;

/* Copies the object's own class name into name; answers its length, 0 when
 * the class gives none that fits. */
size_t own_class_name(QuolanObject *object, char (&name)[kNameBuffer])
{
    memset(name, 0, sizeof name);
    quolan_base_methods(object)->IsA(object, name);
    /* A name reaching the last byte did not fit; refuse it rather than use
     * a cut-off name. */
    if (name[kNameBuffer - 1] != '\0') {
        name[0] = '\0';
        return 0;
    }
    return strlen(name);
}

bool is_class_named(QuolanObject *cls, const char *name)
{
    char probe[kNameBuffer];
    /* IsA may write into its argument, so each class gets a fresh copy. */
    strcpy(probe, name);
    if (!quolan_base_methods(cls)->IsA(cls, probe))
        return false;
    char own[kNameBuffer];
    return own_class_name(cls, own) > 0 && strcmp(own, name) == 0;
}

} // namespace

extern "C" {

int32_t registrar_save_quolan_class_type(QuolanObject *object, QuolanObject *stream)
{
    if (!object || !stream)
        return kFailed;
    char name[kNameBuffer];
    size_t length = own_class_name(object, name);
    if (length == 0)
        return kFailed;
    const StreamMethods *methods = quolan_stream_methods(stream);
    int32_t count = static_cast<int32_t>(length);
    /* The stream's own failure code goes up unchanged, as the containers
     * pass theirs. */
    int32_t status = methods->WriteInt32(stream, count);
    if (status != 0)
        return status;
    if (methods->WriteBytes(stream, name, count) != count)
        return kFailed;
    return 0;
}

QuolanObject *reanimator_get_class_from_stream(QuolanObject *stream)
{
    if (!stream)
        return nullptr;
    const StreamMethods *methods = quolan_stream_methods(stream);
    int32_t length = methods->ReadInt32(stream);
    if (quolan_stream_status(stream) != 0 || length < 1 ||
        length > static_cast<int32_t>(kNameBuffer - 1))
        return nullptr;
    char name[kNameBuffer];
    if (methods->ReadBytes(stream, name, length) != length)
        return nullptr;
    name[length] = '\0';
    /* A NUL inside the name would make it compare equal to its prefix. */
    if (strlen(name) != static_cast<size_t>(length))
        return nullptr;

    /* The root first: every class answers to "QUOLAN", and a subclass that
     * keeps the root's IsA even names itself that. */
    if (quolan_class && is_class_named(quolan_class, name))
        return quolan_class;
    for (size_t i = 0, n = created_class_count(); i < n; ++i) {
        QuolanObject *cls = created_class_at(i);
        if (is_class_named(cls, name))
            return cls;
    }
    return nullptr;
}

} // extern "C"
