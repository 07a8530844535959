// The stand-in object system: classes, the root's slots, named lookup.
#include <gtest/gtest.h>

#include <string>

#include "quolan/object.h"
#include "quolan/testing.h"

namespace {

#define SLOT(fn) reinterpret_cast<QuolanMethod>(&(fn))
using IntSlot = intptr_t (*)(QuolanObject *);

QuolanObject *root()
{
    quolan_class_init();
    return quolan_class;
}
QuolanObject *subclass(QuolanObject *parent, size_t size, int slots = QuolanSlot_Count)
{
    return quolan_generic_subclass(parent, size, slots * sizeof(QuolanMethod));
}

int deletes_seen = 0;
int32_t failing_init(QuolanObject *) { return 7; }
int32_t loads_mode_5(QuolanObject *, QuolanObject *, int32_t mode) { return mode == 5 ? 0 : -1; }
int32_t always_equal(QuolanObject *, QuolanObject *) { return 1; }
int32_t counting_delete(QuolanObject *self)
{
    ++deletes_seen;
    return quolan_base_methods(root())->Delete(self);
}

TEST(ObjectSystem, SubclassCopiesParentSlotsAndRefusesTheRest)
{
    int32_t calls = quolan_testing_subclass_calls();
    QuolanObject *cls = subclass(root(), 48, 20);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(root()->size, 24u);
    EXPECT_EQ(cls->size, 48u);
    for (int slot = 0; slot < QuolanSlot_Count; ++slot)
        EXPECT_EQ(cls->methods[slot], root()->methods[slot]) << slot;
    EXPECT_EQ(reinterpret_cast<IntSlot>(cls->methods[19])(cls), -2);
    // A grandchild inherits what the child filled and what it left refused.
    cls->methods[12] = SLOT(failing_init);
    QuolanObject *child = subclass(cls, 48, 21);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->methods[12], SLOT(failing_init));
    EXPECT_EQ(reinterpret_cast<IntSlot>(child->methods[20])(child), -2);
    // No parent, too small an instance, a table shorter than the parent's, a
    // parent table this object system never made: refused, and all counted.
    QuolanObject stranger = {24, 0, cls->methods + 1};
    EXPECT_EQ(subclass(nullptr, 48), nullptr);
    EXPECT_EQ(subclass(root(), 16), nullptr);
    EXPECT_EQ(subclass(cls, 48, 19), nullptr);
    EXPECT_EQ(subclass(&stranger, 48, 40), nullptr);
    EXPECT_EQ(quolan_testing_subclass_calls(), calls + 6);
}

TEST(ObjectSystem, NewDeleteAndNewFromStreamRunTheObjectsOwnSlots)
{
    QuolanObject *cls = subclass(root(), 64);
    ASSERT_NE(cls, nullptr);
    const QuolanBaseMethods *m = quolan_base_methods(cls);
    QuolanObject *obj = m->New(cls);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->size, 64u);
    EXPECT_EQ(obj->class_word, cls->class_word);
    EXPECT_EQ(obj->methods, cls->methods);
    EXPECT_EQ(m->Delete(obj) + m->Delete(nullptr), 0);
    EXPECT_EQ(m->New(nullptr), nullptr);
    EXPECT_NE(m->Delete(root()), 0);  // classes live until the process ends
    // The root's Load answers -11, so a plain object never survives a load.
    EXPECT_EQ(m->NewFromStream(cls, nullptr, 0), nullptr);

    cls->methods[QuolanSlot_Load] = SLOT(loads_mode_5);
    cls->methods[QuolanSlot_Delete] = SLOT(counting_delete);
    deletes_seen = 0;
    obj = m->NewFromStream(cls, nullptr, 5);
    EXPECT_NE(obj, nullptr);
    EXPECT_EQ(m->NewFromStream(cls, nullptr, 4), nullptr);
    EXPECT_EQ(deletes_seen, 1);
    m->Delete(obj);
    // A failing Init gets the object deleted through its own Delete.
    cls->methods[QuolanSlot_Init] = SLOT(failing_init);
    EXPECT_EQ(m->New(cls), nullptr);
    EXPECT_EQ(deletes_seen, 3);
}

TEST(ObjectSystem, RootAnswersItsVersionExactNameAndOwnTableLookups)
{
    QuolanObject *r = root();
    const QuolanBaseMethods *m = quolan_base_methods(r);
    EXPECT_EQ(m->GetVersion(r, nullptr), 0x203);
    EXPECT_EQ(m->GetVersion(r, "Array"), 0);
    quolan_testing_set_root_version(0x310);
    EXPECT_EQ(m->GetVersion(r, "QUOLAN"), 0x310);
    quolan_testing_set_root_version(0x203);

    char name[128] = "", same[] = "QUOLAN", longer[] = "QUOLANX", lower[] = "quolan";
    EXPECT_EQ(m->IsA(r, name), 1);
    EXPECT_STREQ(name, "QUOLAN");
    EXPECT_EQ(m->IsA(r, same), 1);
    EXPECT_EQ(m->IsA(r, longer) + m->IsA(r, lower) + m->IsA(r, nullptr), 0);
    EXPECT_EQ(m->IsEqual(r, r) - m->IsEqual(r, nullptr), 1);

    // Named lookup answers the slot of the object's own table.
    QuolanObject *cls = subclass(root(), 32, 14);
    ASSERT_NE(cls, nullptr);
    cls->methods[QuolanSlot_IsEqual] = SLOT(always_equal);
    EXPECT_EQ(m->GetMethod(cls, "IsEqual"), SLOT(always_equal));
    EXPECT_EQ(m->GetMethod(cls, "isequal"), nullptr);
}

TEST(ObjectSystem, FindkeywordMatchesWholeNamesUpToTheTerminator)
{
    struct Row {
        const char *name;
        char tag;  // odd entry size: the stride must be honoured
    };
    const Row rows[] = {{"Put", 'a'}, {"PutAt", 'b'}, {nullptr, 'z'}, {"After", 'x'}};
    auto find = [&](const char *name) {
        auto *row = static_cast<const Row *>(findkeyword(name, rows, sizeof(Row)));
        return row ? row->tag : '-';
    };
    EXPECT_EQ((std::string{find("PutAt"), find("Put"), find("Pu"), find("After"), find(nullptr)}), "ba---");
    EXPECT_EQ(findkeyword("Put", nullptr, sizeof(Row)), nullptr);
}

}  // namespace
