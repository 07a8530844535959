// Every allocation of the library made to fail in turn, over scenarios that
// together reach class creation, New, storage growth, string duplicates,
// inner stores, Copy, Save and Load of every class.
#include <gtest/gtest.h>

#include <initializer_list>

#include "fault/sweep.h"
#include "quolan/containers.h"
#include "quolan/stream.h"

namespace {

using fault::disarm;

bool one_of(int32_t status, std::initializer_list<int32_t> allowed)
{
    for (int32_t a : allowed)
        if (status == a) return true;
    std::fprintf(stderr, "unexpected status %d\n", status);
    return false;
}

void drop(QuolanObject *o)
{
    if (o) quolan_base_methods(o)->Delete(o);
}

QuolanObject *make(QuolanObject *(*init)())
{
    QuolanObject *cls = init();
    return cls ? quolan_base_methods(cls)->New(cls) : nullptr;
}

// Saves `object` and loads the bytes into a new object of `init`'s class;
// answers the loaded object (NULL when an allocation failed on the way) and
// checks every status on the way.
int save_and_load(QuolanObject *object, QuolanObject *(*init)(), QuolanObject **loaded)
{
    *loaded = nullptr;
    QuolanObject *out = quolan_memory_stream_new();
    if (!out) return 0;
    int32_t status = quolan_base_methods(object)->Save(object, out, 0);
    FAULT_CHECK(one_of(status, {0, 1, StatusFailed, StatusNoMemory}));
    if (status == 0) {
        size_t n = 0;
        const unsigned char *bytes = quolan_memory_stream_data(out, &n);
        QuolanObject *in = quolan_memory_stream_from(bytes, n);
        QuolanObject *copy = in ? make(init) : nullptr;
        if (copy) {
            status = quolan_base_methods(copy)->Load(copy, in, 0);
            // -3 too: in a typed container a failed type-list copy at index
            // -2 grows the type store alone, so later type lists and values
            // stand at different positions and the record no longer loads.
            FAULT_CHECK(one_of(status, {0, 1, StatusFailed, StatusBadType, StatusNoMemory}));
            if (status == 0) *loaded = copy;
            else drop(copy);
        }
        drop(in);
    }
    drop(out);
    return 0;
}

// After the sweep's failure: allocations succeed again, so the object must
// work, and what was loaded or copied must equal what it came from.
// A typed container whose Init could not make its type store refuses every
// put with -5 for good; that is its documented state, not a failure here.
bool lacks_type_store(QuolanObject *object)
{
    char typed[] = "ArrayTyped", dict_typed[] = "DictTyped";
    const auto *b = quolan_base_methods(object);
    const char *base = reinterpret_cast<const char *>(object);
    if (b->IsA(object, dict_typed)) return *reinterpret_cast<void *const *>(base + 72) == nullptr;
    if (b->IsA(object, typed)) return *reinterpret_cast<void *const *>(base + 64) == nullptr;
    return false;
}

int still_works(QuolanObject *object, QuolanObject *loaded, QuolanObject *copy)
{
    disarm();
    const auto *b = quolan_base_methods(object);
    const ArrayMethods *m = quolan_array_methods(object);
    if (lacks_type_store(object)) {
        FAULT_CHECK(m->PutIntAt(object, 99, -2) == StatusNoMemory);
        drop(copy);
        drop(loaded);
        drop(object);
        return 0;
    }
    // A put whose string duplicate failed leaves its appended position Null,
    // and a record's trailing Nulls do not come back on Load: line the sizes
    // up with one more element before comparing.
    int32_t end = m->GetSizes(object, nullptr, nullptr);
    char typed[] = "ArrayTyped";
    for (QuolanObject *each : {object, loaded, copy}) {
        // Type lists may stand shifted after a failed copy (see above): give
        // the new position its own.
        if (each && b->IsA(each, typed))
            FAULT_CHECK(quolan_array_typed_methods(each)->SetSlotType(each, "Integer", end) == 0);
    }
    FAULT_CHECK(m->PutIntAt(object, 99, end) == 0);
    for (QuolanObject *other : {loaded, copy}) {
        if (!other) continue;
        FAULT_CHECK(quolan_array_methods(other)->PutIntAt(other, 99, end) == 0);
        FAULT_CHECK(b->IsEqual(object, other) == 1);
    }
    drop(copy);
    drop(loaded);
    drop(object);
    return 0;
}

int array_scenario(QuolanObject *(*init)())
{
    QuolanObject *a = make(init);
    if (!a) return 0;
    const ArrayMethods *m = quolan_array_methods(a);
    for (int i = 0; i < 70; ++i) FAULT_CHECK(one_of(m->PutIntAt(a, i, -2), {0, StatusNoMemory}));
    for (int i = 0; i < 5; ++i)
        FAULT_CHECK(one_of(m->PutStringCopyAt(a, "owned text", -2), {0, StatusNoMemory}));
    QuolanObject *inner = make(array_baseclass_init);
    if (inner) {
        // An inner array whose only put failed would hold a trailing Null,
        // which does not survive a round trip: only nest a complete one.
        if (quolan_array_methods(inner)->PutStringCopyAt(inner, "inner", 0) != 0 ||
            m->PutObjectCopyAt(a, inner, -2) != 0)
            drop(inner);
    }
    QuolanObject *loaded = nullptr;
    if (save_and_load(a, init, &loaded) != 0) return 1;
    QuolanObject *copy = quolan_base_methods(a)->Copy(a, a);
    return still_works(a, loaded, copy);
}

TEST(AllocationFailure, ArrayEveryFailureAnswersAndLeavesItUsable)
{
    auto r = fault::sweep("Array", [] { return array_scenario(array_baseclass_init); });
    EXPECT_TRUE(r.passed);
    EXPECT_GT(r.points, 20);
    std::printf("Array: %d allocation points\n", r.points);
}

TEST(AllocationFailure, TypedArrayEveryFailureAnswersAndLeavesItUsable)
{
    auto scenario = [] {
        QuolanObject *t = make(array_typedclass_init);
        if (t) {
            int32_t status = quolan_array_typed_methods(t)->SetSlotType(t, "Integer,String,Object-", 80);
            if (!one_of(status, {0, StatusNoMemory})) return 1;
            drop(t);
        }
        return array_scenario(array_typedclass_init);
    };
    auto r = fault::sweep("ArrayTyped", scenario);
    EXPECT_TRUE(r.passed);
    std::printf("ArrayTyped: %d allocation points\n", r.points);
}

int dict_scenario(QuolanObject *(*init)())
{
    QuolanObject *d = make(init);
    if (!d) return 0;
    const DictMethods *m = quolan_dict_methods(d);
    char key[16];
    for (int i = 0; i < 40; ++i) {
        std::snprintf(key, sizeof key, "key%d", i);
        FAULT_CHECK(one_of(m->PutIntStringKey(d, i, key), {0, StatusNoMemory}));
    }
    FAULT_CHECK(one_of(m->PutStringKey(d, const_cast<char *>("v"), OwnedString, "text"),
                       {0, StatusNoMemory}));
    void *value;
    int32_t kind;
    FAULT_CHECK(one_of(m->GetStringKey(d, &value, &kind, "key3"), {0, StatusNoMemory, StatusOutOfRange}));
    FAULT_CHECK(one_of(m->ClearKey(d, const_cast<char *>("key5"), String),
                       {0, StatusNoMemory, StatusOutOfRange}));
    QuolanObject *loaded = nullptr;
    if (save_and_load(d, init, &loaded) != 0) return 1;
    QuolanObject *copy = quolan_base_methods(d)->Copy(d, d);
    // A dictionary never compares equal through IsEqual: compare by key.
    disarm();
    for (QuolanObject *other : {loaded, copy}) {
        if (!other) continue;
        for (int i = 0; i < 40; ++i) {
            std::snprintf(key, sizeof key, "key%d", i);
            void *a = nullptr, *b = nullptr;
            int32_t ka = 0, kb = 0;
            int32_t sa = m->GetStringKey(d, &a, &ka, key);
            int32_t sb = quolan_dict_methods(other)->GetStringKey(other, &b, &kb, key);
            FAULT_CHECK(sa == sb && ka == kb);
            if (sa == 0 && ka == Integer) FAULT_CHECK(*static_cast<int32_t *>(a) == *static_cast<int32_t *>(b));
        }
    }
    if (lacks_type_store(d)) FAULT_CHECK(m->PutIntStringKey(d, 1, "after") == StatusNoMemory);
    else FAULT_CHECK(m->PutIntStringKey(d, 1, "after") == 0);
    drop(copy);
    drop(loaded);
    drop(d);
    return 0;
}

TEST(AllocationFailure, DictEveryFailureAnswersAndLeavesItUsable)
{
    auto r = fault::sweep("Dict", [] { return dict_scenario(dict_baseclass_init); });
    EXPECT_TRUE(r.passed);
    EXPECT_GT(r.points, 20);
    std::printf("Dict: %d allocation points\n", r.points);
}

TEST(AllocationFailure, TypedDictEveryFailureAnswersAndLeavesItUsable)
{
    auto r = fault::sweep("DictTyped", [] { return dict_scenario(dict_typedclass_init); });
    EXPECT_TRUE(r.passed);
    std::printf("DictTyped: %d allocation points\n", r.points);
}

TEST(AllocationFailure, DeferredContainersEveryFailureAnswersAndLeavesThemUsable)
{
    auto scenario = [] {
        QuolanObject *loader = make(dict_baseclass_init);
        QuolanObject *a = make(array_deferclass_init);
        QuolanObject *d = make(dict_deferclass_init);
        if (loader) {
            quolan_dict_methods(loader)->PutStringKey(loader, const_cast<char *>("loaded text"),
                                                      OwnedString, "k");
        }
        void *value;
        int32_t tag;
        if (a && loader) {
            const ArrayDeferMethods *m = quolan_array_defer_methods(a);
            m->SetLoader(a, loader);
            for (int i = 0; i < 40; ++i)
                FAULT_CHECK(one_of(m->PutDeferredAt(a, const_cast<char *>("k"), OwnedString, -2),
                                   {0, StatusNoMemory}));
            for (int i = 0; i < 40; ++i)
                FAULT_CHECK(one_of(m->GetAt(a, &value, &tag, i),
                                   {0, StatusNoMemory, StatusOutOfRange}));
        }
        if (d && loader) {
            const DictDeferMethods *m = quolan_dict_defer_methods(d);
            m->SetLoader(d, loader);
            FAULT_CHECK(one_of(m->PutDeferredStringKey(d, const_cast<char *>("k"), String, "x"),
                               {0, StatusNoMemory}));
            FAULT_CHECK(one_of(m->GetStringKey(d, &value, &tag, "x"),
                               {0, StatusNoMemory, StatusOutOfRange}));
        }
        disarm();
        if (a) FAULT_CHECK(quolan_array_methods(a)->PutIntAt(a, 1, -2) == 0);
        if (d) FAULT_CHECK(quolan_dict_methods(d)->PutIntStringKey(d, 1, "y") == 0);
        drop(a);
        drop(d);
        drop(loader);
        return 0;
    };
    auto r = fault::sweep("ArrayDefer+DictDefer", scenario);
    EXPECT_TRUE(r.passed);
    std::printf("ArrayDefer+DictDefer: %d allocation points\n", r.points);
}

TEST(AllocationFailure, SetEveryFailureAnswersAndLeavesItUsable)
{
    auto scenario = [] {
        QuolanObject *s = make(genset_baseclass_init);
        if (!s) return 0;
        const GenSetMethods *m = quolan_genset_methods(s);
        for (int i = 0; i < 40; ++i) FAULT_CHECK(one_of(m->AddInt32(s, i), {0, StatusNoMemory}));
        FAULT_CHECK(one_of(m->AddString(s, "member"), {0, StatusNoMemory}));
        FAULT_CHECK(one_of(m->ClearElement(s, const_cast<char *>("member"), String),
                           {0, StatusNoMemory, StatusOutOfRange}));
        QuolanObject *loaded = nullptr;
        if (save_and_load(s, genset_baseclass_init, &loaded) != 0) return 1;
        disarm();
        if (loaded) {
            for (int i = 0; i < 40; ++i)
                FAULT_CHECK(m->ContainsInt32(s, i) == quolan_genset_methods(loaded)->ContainsInt32(loaded, i));
        }
        FAULT_CHECK(m->AddInt32(s, 1000) == 0);
        drop(loaded);
        drop(s);
        return 0;
    };
    auto r = fault::sweep("GenSet", scenario);
    EXPECT_TRUE(r.passed);
    std::printf("GenSet: %d allocation points\n", r.points);
}

}  // namespace
