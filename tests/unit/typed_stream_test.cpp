// Stream records of ArrayTyped and DictTyped: exact bytes, round trips,
// loads that pass through the type checks, and hostile streams.
#include "typed_support.h"

using namespace qt;

namespace {

// A typed array exercising every part of the record.
Obj sample_typed_array()
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 7, 0);
    m->PutStringCopyAt(a.get(), "abc", 1);
    m->SetSlotType(a.get(), "Double", 2);
    m->PutDoubleAt(a.get(), 0.5, 3);
    m->PutBooleanAt(a.get(), 1, 4);
    Obj inner = new_typed_dict();
    TD(inner.get())->PutIntStringKey(inner.get(), 3, "k");
    m->PutObjectCopyAt(a.get(), inner.release(), 5);
    m->SetAccess(a.get(), ReadOnly);
    m->SetLock(a.get(), 0x102);
    return a;
}

Obj sample_typed_dict()
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 5, "n");
    m->PutStringKey(d.get(), const_cast<char *>("v"), String, "s");
    m->PutIntStringKey(d.get(), 6, "gone");
    m->ClearKey(d.get(), const_cast<char *>("gone"), String);
    Obj inner = new_typed_array();
    TA(inner.get())->PutDoubleAt(inner.get(), 2.5, 0);
    m->PutStringKey(d.get(), inner.release(), OwnedObject, "o");
    m->SetAccess(d.get(), 9);
    m->SetLock(d.get(), 1);
    return d;
}

struct Sample {
    const char *name;
    Obj (*make_sample)();
    Obj (*make_empty)();
};
const Sample kSamples[] = {{"ArrayTyped", sample_typed_array, new_typed_array},
                           {"DictTyped", sample_typed_dict, new_typed_dict}};

}  // namespace

TEST(TypedRecord, ArrayTypedWritesTypesElementsLockAndAccess)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 7, 0);
    m->PutStringCopyAt(a.get(), "abc", 1);
    m->SetSlotType(a.get(), "Double", 2);
    m->SetAccess(a.get(), ReadOnly);
    m->SetLock(a.get(), 0x102);
    Bytes expected;
    expected.i32(3).i32(4).str("Integer").i32(4).str("String").i32(4).str("Double");
    expected.i32(2).i32(1).i32(7).i32(4).str("abc");
    expected.byte(0x02).i32(1);
    EXPECT_EQ(saved(a.get()), expected.v);
}

TEST(TypedRecord, DictTypedWritesTypesKeysValuesLockAndAccess)
{
    Obj d = new_typed_dict();
    TD(d.get())->PutIntStringKey(d.get(), 5, "n");
    TD(d.get())->SetAccess(d.get(), -1);
    Bytes expected;
    expected.i32(1).i32(4).str("Integer");
    expected.i32(1).i32(4).str("n");
    expected.i32(1).i32(1).i32(5);
    expected.byte(0).i32(-1);
    EXPECT_EQ(saved(d.get()), expected.v);
}

TEST(TypedRecord, RoundTripsReproduceTheSameRecord)
{
    for (const Sample &s : kSamples) {
        Obj original = s.make_sample();
        std::vector<unsigned char> first = saved(original.get());
        Obj loaded = s.make_empty();
        ASSERT_EQ(load(loaded.get(), first), 0) << s.name;
        EXPECT_EQ(saved(loaded.get()), first) << s.name;
        EXPECT_EQ(typed_fields(loaded.get()).lock, typed_fields(original.get()).lock & 0xff);
        EXPECT_EQ(typed_fields(loaded.get()).access, typed_fields(original.get()).access);
    }
}

TEST(TypedRecord, RoundTripThroughAFile)
{
    Obj a = sample_typed_array();
    std::string path = ::testing::TempDir() + "typed_round_trip.bin";
    {
        Obj out(quolan_file_stream_open(path.c_str(), "wb"));
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(B(a.get())->Save(a.get(), out.get(), 0), 0);
    }
    Obj in(quolan_file_stream_open(path.c_str(), "rb"));
    ASSERT_NE(in, nullptr);
    Obj loaded = new_typed_array();
    ASSERT_EQ(B(loaded.get())->Load(loaded.get(), in.get(), 0), 0);
    EXPECT_EQ(saved(loaded.get()), saved(a.get()));
    std::remove(path.c_str());
}

TEST(TypedRecord, LockKeepsOnlyItsLowByte)
{
    Obj a = new_typed_array();
    TA(a.get())->SetLock(a.get(), 256);
    Obj back = new_typed_array();
    ASSERT_EQ(load(back.get(), saved(a.get())), 0);
    EXPECT_EQ(typed_fields(back.get()).lock, 0) << "256 travels as the byte 0: unlocked";
    ASSERT_EQ(load(back.get(), Bytes().i32(0).i32(0).byte(0xff).i32(-7).v), 0);
    EXPECT_EQ(typed_fields(back.get()).lock, 255) << "the byte is zero-extended";
    EXPECT_EQ(TA(back.get())->GetAccess(back.get()), -7);
}

TEST(TypedRecord, RefusedModesTouchNothing)
{
    for (const Sample &s : kSamples) {
        Obj o = s.make_sample();
        Obj stream(quolan_memory_stream_new());
        EXPECT_EQ(B(o.get())->Save(o.get(), stream.get(), 1), StatusFailed) << s.name;
        EXPECT_TRUE(bytes_of(stream.get()).empty()) << s.name;
        Obj in = stream_from(saved(o.get()));
        Obj fresh = s.make_empty();
        EXPECT_EQ(B(fresh.get())->Load(fresh.get(), in.get(), 1), StatusFailed) << s.name;
        EXPECT_EQ(type_count(fresh.get()), 0) << s.name;
    }
}

TEST(TypedLoad, ElementsPassThroughTheTypeChecks)
{
    Obj a = new_typed_array();
    ASSERT_EQ(load(a.get(), Bytes().i32(1).i32(4).str("Double").i32(1).i32(1).i32(5).byte(0).i32(0).v),
              0);
    Read r = get(a.get(), 0);
    EXPECT_EQ(r.tag, Double) << "an Integer loads as a Double where only Double is admitted";
    EXPECT_EQ(r.real(), 5.0);

    Obj b = new_typed_array();
    EXPECT_EQ(load(b.get(), Bytes().i32(1).i32(4).str("String").i32(1).i32(1).i32(5).v),
              StatusBadType);
    // Untyped positions are bound by the values loaded into them.
    Obj c = new_typed_array();
    ASSERT_EQ(load(c.get(), Bytes().i32(0).i32(2).i32(0).i32(9).byte(1).byte(0).i32(0).v), 0);
    EXPECT_EQ(type_at(c.get(), 0), "-") << "a Null entry puts nothing";
    EXPECT_EQ(type_at(c.get(), 1), "Boolean");
}

TEST(TypedLoad, LockAndAccessApplyOnlyAfterTheElements)
{
    // The stream's own read-only mode does not refuse its elements...
    Obj a = new_typed_array();
    ASSERT_EQ(load(a.get(), Bytes().i32(0).i32(1).i32(1).i32(5).byte(1).i32(1).v), 0);
    EXPECT_EQ(TA(a.get())->PutIntAt(a.get(), 6, 0), StatusLocked);
    // ...but the mode the object already had does.
    Obj b = new_typed_array();
    TA(b.get())->SetAccess(b.get(), ReadOnly);
    EXPECT_EQ(load(b.get(), Bytes().i32(0).i32(1).i32(1).i32(5).byte(0).i32(0).v), StatusLocked);
}

TEST(TypedLoad, DictionaryValuesAreBoundThroughTheirKeys)
{
    Obj d = new_typed_dict();
    Bytes record;
    record.i32(0).i32(2).i32(4).str("a").i32(4).str("b");
    record.i32(2).i32(1).i32(3).i32(4).str("x").byte(0).i32(0);
    ASSERT_EQ(load(d.get(), record.v), 0);
    EXPECT_EQ(type_at(d.get(), 0), "Integer");
    EXPECT_EQ(type_at(d.get(), 1), "String");
    EXPECT_EQ(TD(d.get())->PutDoubleStringKey(d.get(), 1, "a"), StatusBadType);
}

TEST(TypedLoad, TypeStoreEntriesThatAreNotTextAdmitNothing)
{
    Obj a = new_typed_array();
    EXPECT_EQ(load(a.get(), Bytes().i32(1).i32(1).i32(9).i32(1).i32(1).i32(5).byte(0).i32(0).v),
              StatusBadType);
    EXPECT_EQ(TA(a.get())->PutAt(a.get(), nullptr, Null, 0), StatusBadType);
}

TEST(TypedLoad, EveryTruncationIsRefusedWithoutLeaks)
{
    for (const Sample &s : kSamples) {
        Obj original = s.make_sample();
        std::vector<unsigned char> full = saved(original.get());
        for (size_t n = 0; n < full.size(); ++n) {
            std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<long>(n));
            Obj fresh = s.make_empty();
            EXPECT_NE(load(fresh.get(), cut), 0) << s.name << " cut at " << n;
        }
    }
}

TEST(TypedLoad, HostileCountsLengthsAndTagsAreRefused)
{
    const std::vector<unsigned char> records[] = {
        Bytes().i32(1).i32(4).i32(-5).v,                       // negative string length
        Bytes().i32(1).i32(4).i32(1000000).raw("ab", 2).v,     // length beyond the data
        Bytes().i32(1).i32(3).i32(1).raw("a", 2).v,            // borrowed-string tag
        Bytes().i32(0).i32(1).i32(42).v,                       // unknown element tag
        Bytes().i32(0).i32(1).i32(6).name("NoSuchClass").v,    // unknown nested class
        Bytes().i32(0x7fffffff).i32(0).v,                      // count far beyond the data
    };
    for (const auto &bytes : records) {
        Obj a = new_typed_array();
        EXPECT_NE(load(a.get(), bytes), 0);
        Obj d = new_typed_dict();
        EXPECT_NE(load(d.get(), bytes), 0);
    }
}
