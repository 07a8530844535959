// Element operations of Array: reads, walks and ownership.  Long random
// sequences of puts, reads, walks and clears are held against a model
// elsewhere; these are the rules a model run may take long to hit.
#include <cstdlib>

#include "support.h"

using namespace qt;

TEST(ArrayElements, ReadsAnswerReferencesAndPutsRefuseMissingData)
{
    Obj a = new_array();
    auto *m = A(a.get());
    int local = 0;
    m->PutIntAt(a.get(), -42, 0);
    m->PutAt(a.get(), &local, Null, 1);  // a Null element reads as null whatever came with it
    m->PutAt(a.get(), &local, 12, 2);    // tags above nine are kept as pointers
    EXPECT_EQ(get(a.get(), 1).value, nullptr);
    EXPECT_EQ(get(a.get(), 2).tag, 12);
    EXPECT_EQ(get(a.get(), 2).value, &local);
    // A read answers a reference into storage, which later writes change.
    Read r = get(a.get(), 0);
    m->PutIntAt(a.get(), 3, 0);
    EXPECT_EQ(r.integer(), 3);
    // Missing data are refused without change; borrowed kinds may hold NULL.
    for (int32_t tag : {Integer, Double, Boolean, OwnedString})
        EXPECT_EQ(m->PutAt(a.get(), nullptr, tag, 0), StatusBadType) << tag;
    EXPECT_EQ(get(a.get(), 0).integer(), 3);
    EXPECT_EQ(m->PutStringAt(a.get(), nullptr, 0), 0);
    EXPECT_EQ(m->PutObjectCopyAt(a.get(), nullptr, 0), 0);
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
}

TEST(ArrayElements, OwnedStringChangesHandsOnlyForTheSamePointer)
{
    Obj a = new_array();
    auto *m = A(a.get());
    m->PutStringCopyAt(a.get(), "prefix-abc", 3);
    // A duplicate made from inside the old text, which is then released.
    EXPECT_EQ(m->PutStringCopyAt(a.get(), get(a.get(), 3).text() + 7, 3), 0);
    char *d = static_cast<char *>(get(a.get(), 3).value);
    EXPECT_STREQ(d, "abc");
    // The very pointer again, as owned: no second duplicate.
    EXPECT_EQ(m->PutStringCopyAt(a.get(), d, 3), 0);
    EXPECT_EQ(get(a.get(), 3).value, d);
    // The very pointer as borrowed: only the tag changes; the caller owns d now.
    EXPECT_EQ(m->PutStringAt(a.get(), d, 3), 0);
    EXPECT_EQ(get(a.get(), 3).tag, String);
    a.reset();
    EXPECT_STREQ(d, "abc");
    std::free(d);
}

// Owned content goes when overwritten, cleared or deleted with its array;
// borrowed content never (LeakSanitizer checks the strings and blocks).
TEST(ArrayElements, OwnedContentIsReleasedWhenOverwrittenClearedOrDeleted)
{
    Tracked::clears = 0;
    QuolanObject *handed_back = Tracked::make_raw();
    {
        Obj a = new_array(), inner = new_array();
        auto *m = A(a.get());
        m->PutObjectCopyAt(a.get(), Tracked::make_raw(), 0);
        m->PutIntAt(a.get(), 1, 0);
        m->PutObjectCopyAt(a.get(), Tracked::make_raw(), 0);
        EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
        EXPECT_EQ(Tracked::clears, 2);
        EXPECT_EQ(get(a.get(), 0).value, nullptr);
        m->PutStringCopyAt(a.get(), "x", 1);
        m->PutStringAt(a.get(), "y", 1);
        m->PutPtrCopyAt(a.get(), std::malloc(16), 2);
        m->PutPtrAt(a.get(), nullptr, 2);
        // An owned object handed over as borrowed keeps living with its new owner.
        m->PutObjectCopyAt(a.get(), handed_back, 3);
        m->PutObjectAt(a.get(), handed_back, 3);
        m->PutStringCopyAt(a.get(), "text", 4);
        m->PutPtrCopyAt(a.get(), std::malloc(3), 5);
        A(inner.get())->PutObjectCopyAt(inner.get(), Tracked::make_raw(), 0);
        m->PutObjectCopyAt(a.get(), inner.release(), 6);  // goes with what it owns
        EXPECT_EQ(Tracked::clears, 2);
    }
    EXPECT_EQ(Tracked::clears, 3);
    B(handed_back)->Delete(handed_back);
}

TEST(ArrayElements, ReadsExtendUpToTheInitialSizeAndPreviousReadsAtTheCursor)
{
    Obj a = new_array();
    auto *m = A(a.get());
    EXPECT_EQ(walk(a.get(), false).size(), 0u);
    EXPECT_EQ(layout(a.get())->elements, nullptr) << "an empty walk reads no storage";
    EXPECT_EQ(m->GetAt(a.get(), nullptr, nullptr, 0), 0) << "outputs may be NULL";
    m->SetSizes(a.get(), 4, 10);
    EXPECT_EQ(get(a.get(), 4).status, 0);
    EXPECT_EQ(get(a.get(), 5).status, StatusOutOfRange);
    EXPECT_EQ(used_count(a.get()), 5);
    m->PutIntAt(a.get(), 20, 2);
    m->SetIndex(a.get(), 1);
    m->Next(a.get(), nullptr, nullptr);  // reads position 1
    EXPECT_EQ(walk(a.get(), false), (std::vector<int32_t>{20, -1, -1}));
}
