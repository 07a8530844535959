// GenSet: the class, membership, positions of new members, streams.
#include "dict_support.h"

using namespace qt;

TEST(GenSetClass, VersionsNamesAndMethodsFollowItsPlaceUnderTheRoot)
{
    QuolanObject *cls = genset_baseclass_init();
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(genset_baseclass_init(), cls);
    Obj s = new_set();
    auto *b = B(s.get());
    EXPECT_EQ(b->GetVersion(s.get(), nullptr), 0x02030100);
    EXPECT_EQ(b->GetVersion(s.get(), "QUOLAN"), 0x203);
    char name[16] = "";
    EXPECT_EQ(b->IsA(s.get(), name), 1);
    EXPECT_STREQ(name, "GenSet");
    EXPECT_EQ(b->GetMethod(s.get(), "GetIndex"), s->methods[13]);
    EXPECT_EQ(b->GetMethod(s.get(), "ClearElement"), s->methods[22]);
    EXPECT_EQ(b->GetMethod(s.get(), "PutAt"), nullptr);  // the root's answer
    EXPECT_EQ(b->Copy(s.get(), s.get()), nullptr);
}

TEST(GenSetMembers, EachValueIsPresentOnceUnderItsMatchKind)
{
    Obj s = new_set();
    auto *m = G(s.get());
    char text[] = "a";
    EXPECT_EQ(m->AddString(s.get(), text), 0);
    EXPECT_EQ(m->AddString(s.get(), "a"), 0);
    text[0] = 'z';  // the set keeps its own copy
    EXPECT_EQ(m->GetIndex(s.get(), K("a"), String), 0);
    EXPECT_EQ(m->AddInt32(s.get(), 5), 0);
    EXPECT_EQ(m->ContainsInt32(s.get(), 5), 1);
    EXPECT_EQ(m->ContainsString(s.get(), "5"), 0);
    double five = 5.0;
    EXPECT_EQ(m->Contains(s.get(), &five, Double), 0);
    void *block = std::malloc(4);
    m->Add(s.get(), block, OwnedPointer);
    EXPECT_EQ(m->Contains(s.get(), block, Pointer), 0);
    EXPECT_EQ(m->GetIndex(s.get(), block, OwnedPointer), 2);
    EXPECT_STREQ(m->GetStringValue(s.get(), 0), "a");
    EXPECT_EQ(m->GetStringValue(s.get(), 1), nullptr);
    void *v = nullptr;
    EXPECT_EQ(m->GetValue(s.get(), &v, nullptr, 1), 0);
    EXPECT_EQ(*static_cast<int32_t *>(v), 5);
    EXPECT_EQ(m->GetValue(s.get(), &v, nullptr, 3), 1);
    // Texts and numbers given as NULL name nothing.
    EXPECT_EQ(m->AddString(s.get(), nullptr), StatusBadType);
    EXPECT_EQ(m->ContainsString(s.get(), nullptr), 0);
    EXPECT_EQ(m->ClearElement(s.get(), nullptr, Integer), StatusOutOfRange);
    EXPECT_EQ(used_count(store_of(s.get())), 3);
}

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
}

TEST(GenSetPersistence, MemberRecordRoundTripsAndTruncationsAreRefused)
{
    Obj s = new_set();
    G(s.get())->AddString(s.get(), "a");
    G(s.get())->AddInt32(s.get(), 5);
    G(s.get())->AddString(s.get(), "b");
    G(s.get())->ClearElement(s.get(), K("a"), String);
    int32_t status = -99;
    std::vector<unsigned char> own = saved(s.get(), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(own, Bytes().i32(3).i32(0).i32(1).i32(5).i32(4).str("b").v);
    Obj back = new_set();
    EXPECT_EQ(load(back.get(), own, 1), StatusFailed);
    ASSERT_EQ(load(back.get(), own), 0);
    EXPECT_EQ(G(back.get())->StringGetIndex(back.get(), "b"), 2);
    G(back.get())->AddString(back.get(), "c");
    EXPECT_EQ(G(back.get())->StringGetIndex(back.get(), "c"), 0);

    // Nested in an array, the set is made by its class from the stream.
    Obj holder = new_array();
    A(holder.get())->PutObjectCopyAt(holder.get(), s.release(), 0);
    std::vector<unsigned char> nested = saved(holder.get());
    ASSERT_EQ(load(new_array().get(), nested), 0);
    for (size_t n = 0; n < nested.size(); ++n) {
        auto cut = [&](const std::vector<unsigned char> &v) {
            return std::vector<unsigned char>(v.begin(), v.begin() + std::min(n, v.size() - 1));
        };
        EXPECT_NE(load(new_array().get(), cut(nested)), 0) << n;
        EXPECT_NE(load(new_set().get(), cut(own)), 0) << n;
    }
}
