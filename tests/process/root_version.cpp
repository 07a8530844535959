// Class creation against the root's version, in a process of its own: the
// class pointer must still be NULL when this starts.
#include "support.h"

using namespace qt;

TEST(RootVersion, ClassCreationFollowsTheRootVersion)
{
    ASSERT_EQ(array_baseclass, nullptr);
    int32_t calls = quolan_testing_subclass_calls();

    for (int32_t root : {0x303, 0x202}) {  // another major, a minor too old
        quolan_testing_set_root_version(root);
        EXPECT_EQ(array_baseclass_init(), nullptr) << root;
    }
    EXPECT_TRUE(!array_baseclass && quolan_testing_subclass_calls() == calls) << "refused before any class was made";

    quolan_testing_set_root_version(0x204);  // newer minor: creation accepts it
    QuolanObject *cls = array_baseclass_init();
    ASSERT_NE(cls, nullptr);
    Obj a = make(cls);
    // ...but GetVersion insists on exactly 2.3 below it.
    EXPECT_EQ(B(a.get())->GetVersion(a.get(), nullptr) | B(a.get())->GetVersion(a.get(), "Array"), 0);
    EXPECT_EQ(B(a.get())->GetVersion(a.get(), "QUOLAN"), 0x204);

    quolan_testing_set_root_version(0x203);
    EXPECT_EQ(B(a.get())->GetVersion(a.get(), nullptr), 0x02030100);
}
