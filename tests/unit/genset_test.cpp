// GenSet: positions of new members, and its record.  Every operation is
// held against a model elsewhere.
#include "support.h"

using namespace qt;

TEST(GenSetMembers, NewMembersTakeTheFirstFreePosition)
{
    Obj s = new_set();
    auto *m = G(s.get());
    for (int i = 0; i < 3; ++i) m->AddInt32(s.get(), i);
    int32_t one = 1, two = 2;
    EXPECT_EQ(m->ClearElement(s.get(), &two, Integer), 0);
    EXPECT_EQ(m->ClearElement(s.get(), &one, Integer), 0);
    EXPECT_EQ(m->ClearElement(s.get(), &one, Integer), StatusOutOfRange);
    for (int32_t v = 10; v <= 12; ++v) m->AddInt32(s.get(), v);
    for (int32_t v = 10; v <= 12; ++v) EXPECT_EQ(m->GetIndex(s.get(), &v, Integer), v - 9);
    EXPECT_EQ(m->AddString(s.get(), nullptr), StatusBadType) << "a missing text names nothing";
}

TEST(GenSetPersistence, MemberRecordRoundTripsAndTruncationsAreRefused)
{
    Obj s = new_set();
    G(s.get())->AddString(s.get(), "a");
    G(s.get())->AddInt32(s.get(), 5);
    G(s.get())->AddString(s.get(), "b");
    G(s.get())->ClearElement(s.get(), K("a"), String);
    ByteVec own = saved(s.get());
    EXPECT_EQ(own, Bytes().i32(3).i32(0).i32(1).i32(5).i32(4).str("b").v);
    Obj back = new_set();
    EXPECT_EQ(load(back.get(), own, 1), StatusFailed);
    ASSERT_EQ(load(back.get(), own), 0);
    EXPECT_EQ(G(back.get())->StringGetIndex(back.get(), "b"), 2);
    G(back.get())->AddString(back.get(), "c");
    EXPECT_EQ(G(back.get())->StringGetIndex(back.get(), "c"), 0);
    expect_every_cut_refused(own, new_set);

    // Nested in an array, the set is made by its class from the stream.
    Obj holder = new_array();
    A(holder.get())->PutObjectCopyAt(holder.get(), s.release(), 0);
    ByteVec nested = saved(holder.get());
    ASSERT_EQ(load(new_array().get(), nested), 0);
    expect_every_cut_refused(nested, new_array);
}
