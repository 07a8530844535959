// Clients that do what real clients do: derive classes that override the
// slots the library's fast paths rely on, own objects whose Delete reaches
// back into the container releasing them, and pass values that alias what
// the very call drops.  Every scenario must answer statuses, keep the
// container usable and leak nothing (LeakSanitizer and memcheck watch).
#include <cstdio>

#include "defer_support.h"
#include "typed_support.h"

namespace qt {
namespace {

QuolanObject *(*const kArrayFamily[])() = {array_baseclass_init, dict_baseclass_init,
                                           array_typedclass_init, dict_typedclass_init,
                                           array_deferclass_init, dict_deferclass_init};

// An object whose Delete (through its Clear) acts on another container: the
// test sets the target and what to do; it acts once.
struct Reentrant {
    enum Action { None, Grow, ClearAll, PutSame, DeleteKey };
    static inline QuolanObject *target = nullptr;
    static inline Action action = None;
    static inline int32_t position = 0;
    static inline int deleted = 0;

    static QuolanObject *make(QuolanObject *on, Action what, int32_t at = 0)
    {
        target = on;
        action = what;
        position = at;
        return quolan_base_methods(cls())->New(cls());
    }
    static QuolanObject *cls()
    {
        static QuolanObject *c = root_class_with([](QuolanBaseMethods &t) { t.Clear = on_clear; });
        return c;
    }
    static void on_clear(QuolanObject *)
    {
        ++deleted;
        Action what = action;
        action = None;
        QuolanObject *o = target;
        switch (what) {
        case Grow:  // enough to move the storage
            for (int i = 0; i < 70; ++i) A(o)->PutIntAt(o, i, -2);
            break;
        case ClearAll: B(o)->Clear(o); break;
        case PutSame: A(o)->PutStringCopyAt(o, "from Delete", position); break;
        case DeleteKey: D(o)->ClearKey(o, K("k"), String); break;
        case None: break;
        }
    }
};

// Hands `object` to `c` at `index`; a refused put leaves it ours to delete.
void hand(QuolanObject *c, QuolanObject *object, int32_t index)
{
    if (A(c)->PutObjectCopyAt(c, object, index) != 0) B(object)->Delete(object);
}

std::string text_at(QuolanObject *o, int32_t index)
{
    Read r = get(o, index);
    return r.status == 0 && (r.tag == String || r.tag == OwnedString) ? r.text() : "?";
}

}  // namespace

// ---- overrides of the slots fast paths depend on ---------------------------

// A lazily filled array that reports its size without touching the tables.
TEST(Overrides, SaveAndCompareAskTheObjectsOwnSizeAndReads)
{
    QuolanObject *cls = subclass_of(array_baseclass_init(), ArraySlot_Count);
    table_of<ArrayMethods>(cls)->GetSizes = [](QuolanObject *, int32_t *, int32_t *) -> int32_t { return 0; };
    Obj lazy = make(cls), plain = new_array();
    EXPECT_EQ(saved(lazy.get()), Bytes().i32(0).v);
    EXPECT_EQ(B(plain.get())->IsEqual(plain.get(), lazy.get()), 1);
    EXPECT_EQ(B(lazy.get())->IsEqual(lazy.get(), plain.get()), 1);

    // A GetAt that doubles what it reads must be what Save and IsEqual see.
    QuolanObject *doubling = subclass_of(array_baseclass_init(), ArraySlot_Count);
    table_of<ArrayMethods>(doubling)->GetAt = [](QuolanObject *o, void **v, int32_t *t, int32_t i) -> int32_t {
        static int32_t twice;
        int32_t s = A(array_baseclass)->GetAt(o, v, t, i);
        if (s == 0 && *t == Integer) twice = 2 * *static_cast<int32_t *>(*v), *v = &twice;
        return s;
    };
    Obj d = make(doubling);
    A(d.get())->PutIntAt(d.get(), 4, 0);
    EXPECT_EQ(saved(d.get()), Bytes().i32(1).i32(Integer).i32(8).v);
    A(plain.get())->PutIntAt(plain.get(), 8, 0);
    EXPECT_EQ(B(plain.get())->IsEqual(plain.get(), d.get()), 1);
    // Copy walks with Array's own methods whatever the source: the stored 4.
    Obj copy(B(array_baseclass)->Copy(array_baseclass, d.get()));
    EXPECT_EQ(get(copy.get(), 0).integer(), 4);
}

TEST(Overrides, CopyRefusesSourcesNotLaidOutAsArrays)
{
    Obj set = new_set();
    G(set.get())->AddInt32(set.get(), 1);
    QuolanObject *root_made = root_class_with([](QuolanBaseMethods &) {});
    Obj stranger = make(root_made);
    for (QuolanObject *source : {set.get(), stranger.get()})
        for (QuolanObject *cls : {array_baseclass_init(), dict_baseclass_init(), array_typedclass_init(),
                                  dict_typedclass_init()})
            EXPECT_EQ(B(cls)->Copy(cls, source), nullptr);
    EXPECT_EQ(B(array_baseclass)->IsEqual(new_array().get(), set.get()), 0);
}

TEST(Overrides, ClearReachesEveryPositionThroughAnOverriddenClearAt)
{
    static int cleared;
    QuolanObject *cls = subclass_of(array_baseclass_init(), ArraySlot_Count);
    table_of<ArrayMethods>(cls)->ClearAt = [](QuolanObject *o, int32_t i) -> int32_t {
        ++cleared;
        return A(array_baseclass)->ClearAt(o, i);
    };
    Obj a = make(cls);
    for (int i = 0; i < 5; ++i) A(a.get())->PutIntAt(a.get(), i, -2);
    cleared = 0;
    B(a.get())->Clear(a.get());
    EXPECT_EQ(cleared, 5);
}

// ---- owned objects whose Delete re-enters the container ----------------------

// Typed containers admit whatever the scenarios put at positions 0 to 3.
void admit_anything(QuolanObject *c)
{
    static const char kAny[] = "Object-,Integer,String,Null";
    char name[16] = "";
    B(c)->IsA(c, name);
    for (int32_t p = 0; p < 4; ++p) {
        if (std::string(name) == "ArrayTyped") TA(c)->SetSlotType(c, kAny, p);
        if (std::string(name) != "DictTyped") continue;
        char key[] = {'k', static_cast<char>('0' + p), 0};
        D(c)->PutStringKey(c, nullptr, Null, key);
        TD(c)->SetStringKeyType(c, kAny, key);
    }
}

TEST(Reentry, ReleasedObjectMayGrowOrClearOrRefillItsContainer)
{
    for (auto init : kArrayFamily) {
        for (auto action : {Reentrant::Grow, Reentrant::ClearAll, Reentrant::PutSame}) {
            Obj c = make(init());
            admit_anything(c.get());
            SCOPED_TRACE(testing::Message() << c->size << " action " << action);
            // Overwritten by a put, cleared, and released by Clear and Delete.
            hand(c.get(), Reentrant::make(c.get(), action, 3), 3);
            int32_t put = A(c.get())->PutIntAt(c.get(), 7, 3);
            if (action == Reentrant::PutSame) {
                EXPECT_EQ(text_at(c.get(), 3), "from Delete");
            } else if (action == Reentrant::Grow) {
                EXPECT_EQ(put, 0);
                EXPECT_EQ(get(c.get(), 3).integer(), 7);
            }
            hand(c.get(), Reentrant::make(c.get(), action, 1), 1);
            A(c.get())->ClearAt(c.get(), 1);
            hand(c.get(), Reentrant::make(c.get(), action, 0), 0);
            B(c.get())->Clear(c.get());
            hand(c.get(), Reentrant::make(c.get(), action, 2), 2);
        }  // Delete releases the last one
    }
}

TEST(Reentry, KeyedValueWhoseDeleteRemovesItsOwnKey)
{
    for (auto init : {dict_baseclass_init, dict_deferclass_init}) {
        Obj d = make(init());
        QuolanObject *o = Reentrant::make(d.get(), Reentrant::DeleteKey);
        ASSERT_EQ(D(d.get())->PutStringKey(d.get(), o, OwnedObject, "k"), 0);
        EXPECT_EQ(D(d.get())->ClearKey(d.get(), K("k"), String), 0);
        EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), "k"), -1);
        o = Reentrant::make(d.get(), Reentrant::DeleteKey);
        ASSERT_EQ(D(d.get())->PutStringKey(d.get(), o, OwnedObject, "k"), 0);
        EXPECT_EQ(D(d.get())->PutIntStringKey(d.get(), 1, "k"), 0);
    }
}

TEST(Reentry, ParkedObjectReplacedOrClearedMayReenter)
{
    Obj t = new_typed_array();
    SCOPED_TRACE("typed");
    TA(t.get())->SetSlotType(t.get(), "Object-,Integer,Null", 0);
    A(t.get())->PutObjectCopyAt(t.get(), Reentrant::make(t.get(), Reentrant::Grow), 0);
    A(t.get())->PutAt(t.get(), nullptr, Null, 0);  // parks it
    EXPECT_EQ(A(t.get())->PutIntAt(t.get(), 5, 0), 0);
    EXPECT_EQ(get(t.get(), 0).integer(), 5);
}

// ---- arguments that alias what the call drops ----------------------------------

// A loader that answers every key with the key itself.
int32_t echo(QuolanObject *, void **value, int32_t *tag, void *key, int32_t key_tag)
{
    *value = key;
    *tag = key_tag;
    return 0;
}

TEST(Aliasing, LoaderAnsweringItsOwnKey)
{
    QuolanObject *cls = subclass_of(dict_baseclass_init(), DictSlot_Count);
    table_of<DictMethods>(cls)->GetKey = echo;
    Obj loader = make(cls), a = make(array_deferclass_init());
    AD(a.get())->SetLoader(a.get(), loader.get());
    AD(a.get())->PutDeferredAt(a.get(), const_cast<char *>("self"), OwnedString, 0);
    int32_t seven = 7;
    AD(a.get())->PutDeferredAt(a.get(), &seven, Integer, 1);
    int before = Reentrant::deleted;
    AD(a.get())->PutDeferredAt(a.get(), Reentrant::make(a.get(), Reentrant::None), OwnedObject, 2);
    EXPECT_EQ(text_at(a.get(), 0), "self");
    EXPECT_EQ(get(a.get(), 1).integer(), 7);
    Read r = get(a.get(), 2);
    EXPECT_EQ(r.tag, OwnedObject);  // handed over from the store to the array, not deleted
    EXPECT_EQ(Reentrant::deleted, before);
    a.reset();
    EXPECT_EQ(Reentrant::deleted, before + 1);
}

TEST(Aliasing, RecordingWhatThePositionHolds)
{
    Obj a = make(array_deferclass_init());
    AD(a.get())->PutDeferredAt(a.get(), const_cast<char *>("key"), OwnedString, 0);
    Read k{0, 0, nullptr};
    AD(a.get())->GetDeferredAt(a.get(), &k.value, &k.tag, 0);
    EXPECT_EQ(AD(a.get())->PutDeferredAt(a.get(), k.value, OwnedString, 0), 0);  // its own key again
    AD(a.get())->GetDeferredAt(a.get(), &k.value, &k.tag, 0);
    EXPECT_STREQ(k.text(), "key");

    A(a.get())->PutStringCopyAt(a.get(), "value", 1);
    EXPECT_EQ(AD(a.get())->PutDeferredAt(a.get(), get(a.get(), 1).value, OwnedString, 1), 0);  // its value
    AD(a.get())->GetDeferredAt(a.get(), &k.value, &k.tag, 1);
    EXPECT_STREQ(k.text(), "value");

    // An owned object moves from value to loader key, and back into the store.
    int before = Reentrant::deleted;
    QuolanObject *o = Reentrant::make(a.get(), Reentrant::None);
    A(a.get())->PutObjectCopyAt(a.get(), o, 2);
    EXPECT_EQ(AD(a.get())->PutDeferredAt(a.get(), o, OwnedObject, 2), 0);
    EXPECT_EQ(AD(a.get())->PutDeferredAt(a.get(), o, OwnedObject, 2), 0);
    EXPECT_EQ(Reentrant::deleted, before);
    AD(a.get())->GetDeferredAt(a.get(), &k.value, &k.tag, 2);
    EXPECT_EQ(k.value, o);
    a.reset();
    EXPECT_EQ(Reentrant::deleted, before + 1);

    Obj d = make(dict_deferclass_init());
    D(d.get())->PutStringKey(d.get(), const_cast<char *>("text"), OwnedString, "a");
    void *text = nullptr;
    int32_t tag = 0;
    D(d.get())->GetStringKey(d.get(), &text, &tag, "a");
    EXPECT_EQ(DD(d.get())->PutDeferredStringKey(d.get(), text, OwnedString, "a"), 0);
    DD(d.get())->GetDeferredStringKey(d.get(), &text, &tag, "a");
    EXPECT_STREQ(static_cast<const char *>(text), "text");
}

// ---- releases the walk of Clear cannot reach ---------------------------------------

TEST(Release, ParkedObjectsBeyondALoweredMaximumAreDeleted)
{
    for (auto init : {array_typedclass_init, dict_typedclass_init}) {
        Obj t = make(init());
        admit_anything(t.get());  // positions 0 to 3; 3 is parked on
        int32_t before = Tracked::clears;
        A(t.get())->PutObjectCopyAt(t.get(), Tracked::make_raw(), 3);
        ASSERT_EQ(A(t.get())->PutAt(t.get(), nullptr, Null, 3), 0);  // parked
        A(t.get())->SetSizes(t.get(), 0, 2);
        t.reset();
        EXPECT_EQ(Tracked::clears, before + 1);
    }
}

// ---- printers given objects of other families ----------------------------------------

TEST(Printers, ObjectsOfOtherFamiliesPrintTheirClassNameOnly)
{
    Obj set = new_set(), array = new_array();
    G(set.get())->AddInt32(set.get(), 1);
    A(array.get())->PutIntAt(array.get(), 1, 0);
    char buffer[256] = {};
    FILE *out = fmemopen(buffer, sizeof buffer, "w");
    EXPECT_EQ(debug_print_array(set.get(), 2, out), 0);
    EXPECT_EQ(debug_print_dict(set.get(), 0, out), 0);
    EXPECT_EQ(debug_print_dict(array.get(), 0, out), 0);
    std::fclose(out);
    EXPECT_STREQ(buffer, "GenSet\nGenSet\nArray\n");
}

}  // namespace qt
