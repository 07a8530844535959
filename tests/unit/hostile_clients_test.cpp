// Clients that do what the model's do not: subclasses with no storage, sources
// laid out another way, owned objects whose Delete acts on the container that
// releases them, loaders answering their own key.  Each gets statuses, a
// usable container and no leak (LeakSanitizer and memcheck watch).
#include <cstdio>

#include "support.h"

using namespace qt;

namespace {

QuolanObject *(*const kArrayFamily[])() = {array_baseclass_init, dict_baseclass_init, array_typedclass_init,
                                           dict_typedclass_init, array_deferclass_init, dict_deferclass_init};
std::string key(int32_t p) { return "k" + std::to_string(p); }

// Positions 0 to 3 admit objects, integers, texts and Null, and in a
// dictionary hold the keys k0 to k3.  Answers whether `c` is keyed.
bool admit_anything(QuolanObject *c)
{
    auto is = [c](const char *name) { return B(c)->IsA(c, std::string(name).data()) != 0; };
    for (int32_t p = 0; p < 4; ++p) {
        if (is("Dict")) D(c)->PutStringKey(c, nullptr, Null, key(p).c_str());
        if (is("ArrayTyped")) TA(c)->SetSlotType(c, "Object-,Integer,String,Null", p);
        if (is("DictTyped")) TD(c)->SetStringKeyType(c, "Object-,Integer,String,Null", key(p).c_str());
    }
    return is("Dict");
}

}  // namespace

// Save and IsEqual read a client subclass through its own slots, never its
// storage, of which this one has none; Copy reads it as an Array: empty.
TEST(Overrides, SaveAndCompareGoThroughTheObjectsOwnSlots)
{
    Obj virt = make(subclass_with<ArrayMethods>(array_baseclass_init(), [](ArrayMethods &t) {
        t.GetSizes = [](QuolanObject *, int32_t *, int32_t *) -> int32_t { return 1; };
        t.GetAt = [](QuolanObject *, void **v, int32_t *tag, int32_t i) -> int32_t {
            static int32_t eight = 8;
            *v = &eight;
            *tag = Integer;
            return i == 0 ? 0 : StatusOutOfRange;
        };
    }));
    Obj plain = new_array(), copy(B(array_baseclass)->Copy(array_baseclass, virt.get()));
    A(plain.get())->PutIntAt(plain.get(), 8, 0);
    EXPECT_EQ(saved(virt.get()), Bytes().i32(1).i32(Integer).i32(8).v);
    EXPECT_EQ(B(plain.get())->IsEqual(plain.get(), virt.get()) + B(virt.get())->IsEqual(virt.get(), plain.get()), 2);
    EXPECT_EQ(A(copy.get())->GetSizes(copy.get(), nullptr, nullptr), 0);
}

// The typed adds and string-keyed puts end in the object's own Add and
// PutKey: a client subclass that overrides them sees every call, with the
// kind each one names, and its answer is the caller's.
TEST(Overrides, TypedAddsAndPutsReachTheObjectsOwnSlot)
{
    static std::vector<int32_t> kinds;
    Obj set = make(subclass_with<GenSetMethods>(genset_baseclass_init(), [](GenSetMethods &t) {
        t.Add = [](QuolanObject *, void *, int32_t kind) -> int32_t {
            kinds.push_back(kind);
            return StatusLocked;
        };
    }));
    Obj dict = make(subclass_with<DictMethods>(dict_baseclass_init(), [](DictMethods &t) {
        t.PutKey = [](QuolanObject *, void *, int32_t, void *, int32_t key_kind) -> int32_t {
            kinds.push_back(key_kind);
            return StatusLocked;
        };
    }));
    QuolanObject *s = set.get(), *d = dict.get();
    const std::vector<int32_t> answers{G(s)->AddInt32(s, 1), G(s)->AddString(s, "a"),
                                       D(d)->PutIntStringKey(d, 1, "a"), D(d)->PutDoubleStringKey(d, 1.5, "b")};
    EXPECT_EQ(answers, std::vector<int32_t>(4, StatusLocked));
    EXPECT_EQ(kinds, (std::vector<int32_t>{Integer, OwnedString, OwnedString, OwnedString}));
}

// Objects of another family: every class's Copy refuses a source not laid out
// as an Array (a set, an object of a class made from the root), and each
// printer walks only its own family, printing anything else as its class name
// on a line of its own, with the answer 0.
TEST(Overrides, ObjectsOfAnotherFamily)
{
    Obj set = make(genset_baseclass_init()), array = new_array();
    Obj stranger = make(root_class_with([](QuolanBaseMethods &) {}));
    G(set.get())->AddInt32(set.get(), 1);
    A(array.get())->PutIntAt(array.get(), 1, 0);
    for (QuolanObject *source : {set.get(), stranger.get()}) {
        for (auto init : kArrayFamily) EXPECT_EQ(B(init())->Copy(init(), source), nullptr);
        EXPECT_EQ(B(set.get())->Copy(genset_baseclass, source), nullptr);
    }
    EXPECT_EQ(B(array.get())->IsEqual(array.get(), set.get()), 0);
    char buffer[256] = {};
    FILE *out = fmemopen(buffer, sizeof buffer, "w");
    QuolanObject *s = set.get();
    EXPECT_EQ(debug_print_array(s, 2, out) + debug_print_dict(s, 0, out) + debug_print_dict(array.get(), 0, out), 0);
    std::fclose(out);
    EXPECT_STREQ(buffer, "GenSet\nGenSet\nArray\n");
}

// An owned object whose Delete grows its container, clears it, or puts at or
// clears its own position, when a put overwrites it, ClearAt or ClearKey
// clears it, Clear or Delete releases it, the last one parked (typed) beyond a
// lowered maximum: every position is in its final state when the Delete runs.
TEST(Reentry, ReleasedObjectMayActOnItsContainer)
{
    enum Action { Grow, ClearAll, PutSame, ClearSame };
    for (auto init : kArrayFamily) {
        for (Action action : {Grow, ClearAll, PutSame, ClearSame}) {
            Obj held = make(init());
            QuolanObject *c = held.get();
            const bool keyed = admit_anything(c);
            const int32_t before = Tracked::clears;
            SCOPED_TRACE(testing::Message() << c->size << " action " << action);
            auto hand = [&](int32_t p) {  // an object at `p` that acts when released
                Tracked::on_clear = [=] {
                    for (int i = 0; action == Grow && i < 70; ++i) A(c)->PutIntAt(c, i, -2);  // moves the storage
                    if (action == ClearAll) B(c)->Clear(c);
                    if (action == PutSame) A(c)->PutStringCopyAt(c, "from Delete", p);
                    if (action == ClearSame) keyed ? D(c)->ClearKey(c, K(key(p).c_str()), String) : A(c)->ClearAt(c, p);
                };
                QuolanObject *o = Tracked::make_raw();
                if (A(c)->PutObjectCopyAt(c, o, p) != 0) B(o)->Delete(o);
            };
            hand(3);
            EXPECT_EQ(A(c)->PutIntAt(c, 7, 3), 0);
            if (action == Grow) { EXPECT_EQ(get(c, 3).integer(), 7); }
            if (action == PutSame) { EXPECT_STREQ(get(c, 3).text(), "from Delete"); }
            hand(1);
            keyed ? D(c)->ClearKey(c, K("k1"), String) : A(c)->ClearAt(c, 1);
            EXPECT_EQ(keyed ? D(c)->StringSymbolIndex(c, "k1") : -1, -1);
            hand(0);
            B(c)->Clear(c);
            hand(2);  // parked in a typed container, beyond the maximum once it is lowered
            A(c)->PutAt(c, nullptr, Null, 2);
            A(c)->SetSizes(c, 0, 2);
            held.reset();
            EXPECT_EQ(Tracked::clears, before + 4) << "each deleted once";
        }
    }
}

// A loader that answers with the loader key itself: the value is stored
// before the key is released, and an owned object moves from the store to
// the array.  A key read back and recorded again, or the position's own
// object put back or recorded as its key, changes hands and is not released.
TEST(Aliasing, LoaderKeysThatAreWhatTheCallDrops)
{
    Obj echo = make(subclass_with<DictMethods>(dict_baseclass_init(), [](DictMethods &t) {
        t.GetKey = [](QuolanObject *, void **v, int32_t *tag, void *k, int32_t kind) -> int32_t {
            return *v = k, *tag = kind, 0;
        };
    }));
    Obj arr = make(array_deferclass_init());
    QuolanObject *a = arr.get(), *o = Tracked::make_raw(), *p = Tracked::make_raw();
    int32_t before = Tracked::clears;
    AD(a)->SetLoader(a, echo.get());
    AD(a)->PutDeferredAt(a, K("self"), OwnedString, 0);
    AD(a)->PutDeferredAt(a, o, OwnedObject, 2);
    EXPECT_STREQ(get(a, 0).text(), "self");
    EXPECT_EQ(get(a, 2).value, o);

    Read k{0, 0, nullptr};
    AD(a)->PutDeferredAt(a, K("key"), OwnedString, 3);
    AD(a)->GetDeferredAt(a, &k.value, &k.tag, 3);
    EXPECT_EQ(AD(a)->PutDeferredAt(a, k.value, OwnedString, 3), 0);
    AD(a)->GetDeferredAt(a, &k.value, &k.tag, 3);
    EXPECT_STREQ(k.text(), "key");
    for (int twice = 0; twice < 2; ++twice) A(a)->PutObjectCopyAt(a, p, 4);  // the same pointer: kept
    EXPECT_EQ(AD(a)->PutDeferredAt(a, p, OwnedObject, 4) + AD(a)->PutDeferredAt(a, p, OwnedObject, 4), 0);
    AD(a)->GetDeferredAt(a, &k.value, &k.tag, 4);
    EXPECT_TRUE(k.value == p && Tracked::clears == before);
    arr.reset();
    EXPECT_EQ(Tracked::clears, before + 2);
}
