// The stand-in object system: classes, the root's slots, named lookup.
#include <gtest/gtest.h>

#include <cstring>

#include "quolan/object.h"
#include "quolan/testing.h"

namespace {

template <typename Fn>
QuolanMethod method(Fn *fn)
{
    return reinterpret_cast<QuolanMethod>(fn);
}

QuolanObject *root()
{
    quolan_class_init();
    return quolan_class;
}

// A subclass whose Init fails and whose Delete counts before chaining up.
int deletes_seen = 0;
int32_t (*root_delete)(QuolanObject *) = nullptr;

int32_t failing_init(QuolanObject *)
{
    return 7;
}

int32_t counting_delete(QuolanObject *self)
{
    ++deletes_seen;
    return root_delete(self);
}

int32_t loads_ok(QuolanObject *, QuolanObject *, int32_t mode)
{
    return mode == 5 ? 0 : -1;
}

int32_t always_equal(QuolanObject *, QuolanObject *)
{
    return 1;
}

TEST(ObjectSystem, RootClassIsAQuolanHeaderAndInitIsIdempotent)
{
    QuolanObject *cls = root();
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->size, 24u);
    quolan_class_init();
    EXPECT_EQ(quolan_class, cls);
}

TEST(ObjectSystem, SubclassCopiesParentSlotsAndRefusesTheRest)
{
    int32_t calls = quolan_testing_subclass_calls();
    QuolanObject *cls = quolan_generic_subclass(root(), 48, 20 * sizeof(QuolanMethod));
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->size, 48u);
    EXPECT_NE(cls->methods, root()->methods);
    EXPECT_NE(cls->class_word, root()->class_word);
    for (int slot = 0; slot < QuolanSlot_Count; ++slot)
        EXPECT_EQ(cls->methods[slot], root()->methods[slot]) << "slot " << slot;
    unsigned char fields[24];
    std::memcpy(fields, reinterpret_cast<unsigned char *>(cls) + 24, sizeof fields);
    for (unsigned char b : fields)
        EXPECT_EQ(b, 0);

    // Unfilled slots answer -2 whichever integer width the caller expects.
    auto as_ptr = reinterpret_cast<intptr_t (*)(QuolanObject *)>(cls->methods[19]);
    auto as_i32 = reinterpret_cast<int32_t (*)(QuolanObject *, int32_t)>(cls->methods[12]);
    EXPECT_EQ(as_ptr(cls), -2);
    EXPECT_EQ(as_i32(cls, 3), -2);

    // A grandchild inherits the refused slots and what the child filled.
    cls->methods[12] = method(&failing_init);
    QuolanObject *child = quolan_generic_subclass(cls, 48, 21 * sizeof(QuolanMethod));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->methods[12], method(&failing_init));
    EXPECT_EQ(reinterpret_cast<intptr_t (*)(QuolanObject *)>(child->methods[20])(child), -2);

    // Refusals still count as calls.
    EXPECT_EQ(quolan_generic_subclass(nullptr, 48, 20 * sizeof(QuolanMethod)), nullptr);
    EXPECT_EQ(quolan_generic_subclass(root(), 16, 20 * sizeof(QuolanMethod)), nullptr);
    EXPECT_EQ(quolan_generic_subclass(cls, 48, 19 * sizeof(QuolanMethod)), nullptr);
    QuolanObject stranger = {24, 0, cls->methods + 1};
    EXPECT_EQ(quolan_generic_subclass(&stranger, 48, 40 * sizeof(QuolanMethod)), nullptr);
    EXPECT_EQ(quolan_testing_subclass_calls(), calls + 6);
}

TEST(ObjectSystem, NewGivesZeroedInstanceSharingTheClassHeader)
{
    QuolanObject *cls = quolan_generic_subclass(root(), 64, QuolanSlot_Count * sizeof(QuolanMethod));
    ASSERT_NE(cls, nullptr);
    QuolanObject *obj = quolan_base_methods(cls)->New(cls);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->size, 64u);
    EXPECT_EQ(obj->class_word, cls->class_word);
    EXPECT_EQ(obj->methods, cls->methods);
    // An instance is a prototype too.
    QuolanObject *again = quolan_base_methods(obj)->New(obj);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->methods, cls->methods);
    EXPECT_EQ(quolan_base_methods(obj)->Delete(obj), 0);
    EXPECT_EQ(quolan_base_methods(again)->Delete(again), 0);
    EXPECT_EQ(quolan_base_methods(cls)->Delete(nullptr), 0);
    EXPECT_EQ(quolan_base_methods(cls)->New(nullptr), nullptr);
    // Classes outlive everything; deleting one is refused, not freed.
    EXPECT_NE(quolan_base_methods(cls)->Delete(cls), 0);
    EXPECT_NE(quolan_base_methods(root())->Delete(root()), 0);
    EXPECT_EQ(cls->size, 64u);
}

TEST(ObjectSystem, FailedInitDeletesThroughTheObjectsOwnDelete)
{
    QuolanObject *cls = quolan_generic_subclass(root(), 40, QuolanSlot_Count * sizeof(QuolanMethod));
    ASSERT_NE(cls, nullptr);
    root_delete = quolan_base_methods(root())->Delete;
    cls->methods[QuolanSlot_Init] = method(&failing_init);
    cls->methods[QuolanSlot_Delete] = method(&counting_delete);
    deletes_seen = 0;
    EXPECT_EQ(quolan_base_methods(cls)->New(cls), nullptr);
    EXPECT_EQ(deletes_seen, 1);
}

TEST(ObjectSystem, NewFromStreamKeepsObjectOnlyWhenLoadSucceeds)
{
    root_delete = quolan_base_methods(root())->Delete;
    // The root's Load answers -11, so a plain root object never survives.
    deletes_seen = 0;
    EXPECT_EQ(quolan_base_methods(root())->NewFromStream(root(), nullptr, 0), nullptr);
    EXPECT_EQ(quolan_base_methods(root())->NewFromStream(nullptr, nullptr, 0), nullptr);

    QuolanObject *cls = quolan_generic_subclass(root(), 32, QuolanSlot_Count * sizeof(QuolanMethod));
    ASSERT_NE(cls, nullptr);
    cls->methods[QuolanSlot_Load] = method(&loads_ok);
    cls->methods[QuolanSlot_Delete] = method(&counting_delete);
    QuolanObject *obj = quolan_base_methods(cls)->NewFromStream(cls, nullptr, 5);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(deletes_seen, 0);
    EXPECT_EQ(quolan_base_methods(cls)->NewFromStream(cls, nullptr, 4), nullptr);
    EXPECT_EQ(deletes_seen, 1);
    quolan_base_methods(obj)->Delete(obj);
}

TEST(ObjectSystem, RootAnswersVersionIdentityAndNothingToPersist)
{
    QuolanObject *r = root();
    const QuolanBaseMethods *m = quolan_base_methods(r);
    EXPECT_EQ(m->GetVersion(r, nullptr), 0x203);
    EXPECT_EQ(m->GetVersion(r, "QUOLAN"), 0x203);
    EXPECT_EQ(m->GetVersion(r, "Array"), 0);
    quolan_testing_set_root_version(0x310);
    EXPECT_EQ(m->GetVersion(r, "QUOLAN"), 0x310);
    quolan_testing_set_root_version(0x203);

    char name[128] = "";
    EXPECT_EQ(m->IsA(r, name), 1);
    EXPECT_STREQ(name, "QUOLAN");
    char same[] = "QUOLAN", other[] = "QUOLANX", lower[] = "quolan";
    EXPECT_EQ(m->IsA(r, same), 1);
    EXPECT_EQ(m->IsA(r, other), 0);
    EXPECT_EQ(m->IsA(r, lower), 0);
    EXPECT_EQ(m->IsA(r, nullptr), 0);

    QuolanObject *obj = m->New(r);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(m->Save(obj, nullptr, 0), -11);
    EXPECT_EQ(m->Load(obj, nullptr, 0), -11);
    EXPECT_EQ(m->Copy(r, obj), nullptr);
    EXPECT_EQ(m->IsEqual(obj, obj), 1);
    EXPECT_EQ(m->IsEqual(obj, r), 0);
    EXPECT_EQ(m->IsEqual(obj, nullptr), 0);
    m->Delete(obj);
}

TEST(ObjectSystem, GetMethodResolvesThroughTheObjectsOwnTable)
{
    QuolanObject *cls = quolan_generic_subclass(root(), 32, 14 * sizeof(QuolanMethod));
    ASSERT_NE(cls, nullptr);
    cls->methods[QuolanSlot_IsEqual] = method(&always_equal);
    QuolanObject *obj = quolan_base_methods(cls)->New(cls);
    ASSERT_NE(obj, nullptr);
    auto get = quolan_base_methods(obj)->GetMethod;

    EXPECT_EQ(get(obj, "IsEqual"), method(&always_equal));
    EXPECT_EQ(get(root(), "IsEqual"), root()->methods[QuolanSlot_IsEqual]);
    const char *names[] = {"New",           "Init", "Delete", "Clear", "GetVersion", "GetMethod",
                           "IsA", "NewFromStream", "Save", "Load",   "Copy",  "IsEqual"};
    for (int slot = 0; slot < QuolanSlot_Count; ++slot)
        EXPECT_EQ(get(obj, names[slot]), obj->methods[slot]) << names[slot];
    EXPECT_EQ(get(obj, "isequal"), nullptr);
    EXPECT_EQ(get(obj, "IsEqua"), nullptr);
    EXPECT_EQ(get(obj, "Reserved12"), nullptr);
    EXPECT_EQ(get(obj, nullptr), nullptr);
    quolan_base_methods(obj)->Delete(obj);
}

struct Row {
    const char *name;
    char tag;  // odd entry size: the stride must be honoured, not assumed
};

TEST(ObjectSystem, FindkeywordMatchesWholeNamesUpToTheTerminator)
{
    const Row rows[] = {{"Put", 'a'}, {"PutAt", 'b'}, {"Get", 'c'}, {nullptr, 'z'}, {"After", 'x'}};
    auto find = [&](const char *name) {
        return static_cast<const Row *>(findkeyword(name, rows, sizeof(Row)));
    };
    ASSERT_NE(find("PutAt"), nullptr);
    EXPECT_EQ(find("PutAt")->tag, 'b');
    EXPECT_EQ(find("Put")->tag, 'a');
    EXPECT_EQ(find("Get")->tag, 'c');
    EXPECT_EQ(find("Pu"), nullptr);
    EXPECT_EQ(find("get"), nullptr);
    EXPECT_EQ(find("After"), nullptr);
    EXPECT_EQ(find(nullptr), nullptr);
    EXPECT_EQ(findkeyword("Put", nullptr, sizeof(Row)), nullptr);
}

TEST(AssertionService, CountsReportsAndReturns)
{
    int32_t asserts = quolan_testing_assert_reports();
    int32_t cant = quolan_testing_cant_happen_reports();
    ZV_AssertForExport(1);
    ZV_AssertForExport(0);
    ZV_CantHappenForExport(0);
    ZV_CantHappenForExport(42);
    EXPECT_EQ(quolan_testing_assert_reports(), asserts + 1);
    EXPECT_EQ(quolan_testing_cant_happen_reports(), cant + 2);
}

} // namespace
