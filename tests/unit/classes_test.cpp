// The class contract, over every class: created once, its instance size,
// versions by name, IsA, and named lookup of every slot of its table.
#include "support.h"

using namespace qt;

namespace {

struct Named { const char *name; int slot; bool by_name; };
#define QT_NAMED(C, slot, Name, Ret, Params, flag) {#Name, slot, (flag) == 1},

// `foreign` names a class and a method the class must not claim.
struct Class {
    QuolanObject *(*init)();
    const char *name, *parent, *foreign_class, *foreign_method;
    size_t size;
    int32_t version, parent_version;
    std::vector<Named> table;
};
const Class kClasses[] = {
    {array_baseclass_init, "Array", "QUOLAN", "Dict", "StringSymbolIndex", 64, 0x02030100, 0x203,
     {QUOLAN_ARRAY_TABLE(QT_NAMED, _)}},
    {array_deferclass_init, "ArrayDefer", "Array", "ArrayTyped", "SetSlotType", 80, 0x03030100, 0x02030100,
     {QUOLAN_ARRAY_DEFER_TABLE(QT_NAMED, _)}},
    {array_typedclass_init, "ArrayTyped", "Array", "ArrayDefer", "SetLoader", 80, 0x03030100, 0x02030100,
     {QUOLAN_ARRAY_TYPED_TABLE(QT_NAMED, _)}},
    {dict_baseclass_init, "Dict", "Array", "ArrayDefer", "GetDeferredAt", 72, 0x03030100, 0x02030100,
     {QUOLAN_DICT_TABLE(QT_NAMED, _)}},
    {dict_deferclass_init, "DictDefer", "Dict", "ArrayDefer", "PutDeferredAt", 88, 0x04030100, 0x03030100,
     {QUOLAN_DICT_DEFER_TABLE(QT_NAMED, _)}},
    {dict_typedclass_init, "DictTyped", "Dict", "ArrayTyped", "SetSlotType", 88, 0x04030100, 0x03030100,
     {QUOLAN_DICT_TYPED_TABLE(QT_NAMED, _)}},
    {genset_baseclass_init, "GenSet", "QUOLAN", "Array", "PutAt", 32, 0x02030100, 0x203,
     {QUOLAN_GENSET_TABLE(QT_NAMED, _)}},
};

}  // namespace

TEST(Classes, EachIsCreatedOnceAndAnswersItsVersionsNamesAndMethods)
{
    for (const Class &c : kClasses) {
        SCOPED_TRACE(c.name);
        QuolanObject *cls = c.init();
        ASSERT_NE(cls, nullptr);
        const int32_t calls = quolan_testing_subclass_calls();
        EXPECT_TRUE(c.init() == cls && quolan_testing_subclass_calls() == calls) << "created once";
        EXPECT_EQ(cls->size, c.size);

        Obj o = make(cls);
        QuolanObject *p = o.get();
        const QuolanBaseMethods *b = B(p);
        EXPECT_TRUE(b->GetVersion(p, nullptr) == c.version && b->GetVersion(p, c.name) == c.version);
        EXPECT_TRUE(b->GetVersion(p, c.parent) == c.parent_version && b->GetVersion(p, c.foreign_class) == 0);
        auto is_a = [&](const char *name) { return b->IsA(p, std::string(name).data()); };
        char name[16] = "";
        EXPECT_TRUE(b->IsA(p, name) == 1 && !std::strcmp(name, c.name));
        EXPECT_TRUE(is_a(c.name) && is_a(c.parent) && is_a("QUOLAN"));
        EXPECT_EQ(is_a(c.foreign_class) + b->IsA(p, nullptr), 0);

        // Named lookup answers the object's own slot, whichever table names it.
        for (const Named &n : c.table)
            EXPECT_EQ(b->GetMethod(p, n.name), n.by_name ? p->methods[n.slot] : nullptr) << n.name;
        EXPECT_FALSE(b->GetMethod(p, c.foreign_method) || b->GetMethod(p, "getat") || b->GetMethod(p, nullptr));
        EXPECT_EQ(cls == genset_baseclass ? StatusFailed : A(p)->SetDimension(p, 2), StatusFailed) << "one dimension";
    }
}
