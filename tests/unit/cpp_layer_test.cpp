// The header-only C++ layer as a client meets it: who deletes what and when,
// what a range-for visits, that statuses arrive untouched, and that saving
// and loading through the layer is the C round trip.  What the containers
// themselves do is the other suites' business.
#include <quolan/containers.hpp>

#include <ranges>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

namespace q = quolan;
using qt::Tracked;

static_assert(sizeof(q::Dict) == sizeof(void *) && sizeof(q::DictTypedView) == sizeof(void *));
static_assert(std::ranges::input_range<q::ArrayDefer> && std::ranges::input_range<q::DictTypedView>);

namespace {

q::ObjectHandle tracked() { return q::ObjectHandle(Tracked::make_raw()); }

// Through a function, so the compiler does not see (and warn about) a self-move.
void move_into(q::ObjectHandle &to, q::ObjectHandle &from) { to = std::move(from); }

std::vector<int32_t> ints(q::ArrayView a)
{
    std::vector<int32_t> out;
    for (q::Value v : a) out.push_back(v.as_int().value_or(-1));
    return out;
}

using Entries = std::vector<std::pair<std::string, int32_t>>;
Entries entries(q::DictView d)
{
    Entries out;
    for (auto [key, value] : d)
        out.emplace_back(key.as_string() ? key.as_string() : "?", value.as_int().value_or(-1));
    return out;
}

}  // namespace

TEST(CppLayerOwnership, HandlesDeleteExactlyOnceWhereverOwnershipEnds)
{
    const int32_t before = Tracked::clears;
    { auto scoped = tracked(); }
    EXPECT_EQ(Tracked::clears, before + 1);
    {
        auto a = tracked();
        auto b = std::move(a);
        EXPECT_FALSE(a);
        auto c = tracked();
        c = std::move(b);  // c's first object goes now, b's with c
        EXPECT_EQ(Tracked::clears, before + 2);
        move_into(c, c);
        EXPECT_TRUE(c);
        { [[maybe_unused]] q::ObjectView borrowed = c; }
        EXPECT_EQ(Tracked::clears, before + 2);
    }
    EXPECT_EQ(Tracked::clears, before + 3);
    QuolanObject *raw = tracked().release();
    EXPECT_EQ(Tracked::clears, before + 3);
    qt::B(raw)->Delete(raw);
}

TEST(CppLayerOwnership, ContainerTakesAnObjectOnlyWhenThePutSucceeds)
{
    const int32_t before = Tracked::clears;
    {
        auto a = q::Array::make();
        a.set_sizes(1, 1);
        auto o = tracked();
        EXPECT_EQ(a.put_object_copy(std::move(o), 5).code, StatusOutOfRange);
        EXPECT_TRUE(o);
        EXPECT_TRUE(a.put_object_copy(std::move(o), 0).ok());
        EXPECT_FALSE(o);
        EXPECT_EQ(Tracked::clears, before);
    }
    EXPECT_EQ(Tracked::clears, before + 1);  // the array deleted what it held

    auto d = q::Dict::make();
    auto o = tracked();
    EXPECT_EQ(d.put_object_copy(nullptr, std::move(o)).code, StatusBadType);
    EXPECT_TRUE(o);
    EXPECT_TRUE(d.put_object_copy("k", std::move(o)).ok());
    EXPECT_FALSE(o);
}

TEST(CppLayerOwnership, EachFamilyMakesAnObjectOfItsOwnClassAndViewsCastByFamily)
{
    auto name = [](const auto &h) { return std::string(h.class_name().c_str()) + " "; };
    EXPECT_EQ(name(q::Array::make()) + name(q::ArrayTyped::make()) + name(q::ArrayDefer::make()) +
                  name(q::Dict::make()) + name(q::DictTyped::make()) + name(q::DictDefer::make()) +
                  name(q::GenSet::make()),
              "Array ArrayTyped ArrayDefer Dict DictTyped DictDefer GenSet ");
    auto d = q::DictTyped::make();
    auto a = q::Array::make();
    EXPECT_TRUE(q::view_cast<q::ArrayView>(d) && q::view_cast<q::DictView>(d));
    EXPECT_FALSE(q::view_cast<q::DictView>(a));
}

TEST(CppLayerWalk, RangeForVisitsEveryElementInOrderFromPositionZero)
{
    auto a = q::Array::make();
    EXPECT_TRUE(ints(a).empty());
    for (int32_t i = 1; i <= 4; ++i) ASSERT_TRUE(a.put_int(i * 10).ok());
    ASSERT_TRUE(a.put_string_copy("tail").ok());
    ASSERT_TRUE(a.set_index(1).ok());  // a walk by hand, left halfway
    ASSERT_EQ(a.next()->as_int(), 20);
    EXPECT_EQ(ints(a), (std::vector<int32_t>{10, 20, 30, 40, -1}));

    // Reads go through the object's own table, so a deferred value loads.
    auto source = q::Dict::make();
    ASSERT_TRUE(source.put_int("x", 7).ok());
    auto deferred = q::ArrayDefer::make();
    deferred.set_loader(source);
    ASSERT_TRUE(deferred.put_deferred(q::Value::of_string("x")).ok());
    EXPECT_EQ(ints(deferred), std::vector<int32_t>{7});
}

TEST(CppLayerWalk, DictWalkYieldsEachKeyWithItsValueInPositionOrder)
{
    auto d = q::Dict::make();
    for (const char *k : {"a", "b", "c"}) ASSERT_TRUE(d.put_int(k, k[0] - 'a' + 1).ok());
    ASSERT_TRUE(d.clear_key("b").ok());
    EXPECT_EQ(entries(d), (Entries{{"a", 1}, {"c", 3}}));
    ASSERT_TRUE(d.put_int("d", 4).ok());  // reuses the free position 1
    ASSERT_TRUE(d.put_int(99).ok());      // by position: no key, not an entry
    EXPECT_EQ(entries(d), (Entries{{"a", 1}, {"d", 4}, {"c", 3}}));
    // Without keys there are no entries, on the first walk as on the next.
    auto positional = q::Dict::make();
    ASSERT_TRUE(positional.put_int(1).ok());
    EXPECT_TRUE(entries(positional).empty());
    EXPECT_TRUE(entries(positional).empty());
}

// The body of a loop moves the object's one cursor (a keyed read selects the
// position it reads); each iterator must still deliver every entry once.
TEST(CppLayerWalk, BodiesThatReadWriteAndWalkAgainStillSeeEachEntryOnce)
{
    auto d = q::Dict::make();
    for (const char *k : {"a", "b", "c", "d"}) ASSERT_TRUE(d.put_int(k, k[0]).ok());
    ASSERT_TRUE(d.clear_key("b").ok());  // a free position inside the walk
    EXPECT_EQ(d.count(), 3);
    std::string seen;
    for (auto [key, value] : d) {
        const char *k = key.as_string();
        ASSERT_TRUE(k);
        seen += k;
        EXPECT_EQ(d.get(k)->as_int(), k[0]);
        EXPECT_TRUE(d.index_of("d").has_value());
        ASSERT_TRUE(d.put_int(k, k[0] + 100).ok());  // over an existing key
        EXPECT_EQ(entries(d).size(), 3u);             // a whole nested walk
        EXPECT_EQ(value.as_int(), k[0]);              // the number read stays
    }
    EXPECT_EQ(seen, "acd");

    auto a = q::Array::make();
    for (int32_t i = 0; i < 5; ++i) ASSERT_TRUE(a.put_int(i).ok());
    std::vector<int32_t> got;
    for (q::Value v : a) {
        got.push_back(*v.as_int());
        EXPECT_EQ(a.get(0)->as_int(), 0);
        ASSERT_TRUE(a.put_int(*v.as_int() * 10, *v.as_int()).ok());
        EXPECT_EQ(ints(a).size(), 5u);
    }
    EXPECT_EQ(got, (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(ints(a), (std::vector<int32_t>{0, 10, 20, 30, 40}));

    // Appending lies ahead of the walk and is visited; Clear ends it.
    got.clear();
    for (q::Value v : a) {
        got.push_back(*v.as_int());
        if (got.size() == 1) {
            ASSERT_TRUE(a.put_int(50).ok());
        }
    }
    EXPECT_EQ(got.size(), 6u);
    int32_t steps = 0;
    for ([[maybe_unused]] q::Value v : a) {
        ++steps;
        quolan_base_methods(a.get())->Clear(a.get());
    }
    EXPECT_EQ(steps, 1);
}

TEST(CppLayerWalk, SetWalkYieldsEachMemberOnceAndReadNumbersOutliveTheirPosition)
{
    auto s = q::GenSet::make();
    EXPECT_EQ(s.count(), 0);
    EXPECT_EQ(s.begin() == s.end(), true);
    ASSERT_TRUE(s.add_string("x").ok() && s.add_int(7).ok() && s.add_string("y").ok());
    ASSERT_TRUE(s.clear_element(q::Value::of_string("x")).ok());  // a free position first
    std::vector<std::string> members;
    for (q::Value m : s) {
        EXPECT_TRUE(s.contains(m));
        members.push_back(m.as_string() ? m.as_string() : std::to_string(*m.as_int()));
    }
    EXPECT_EQ(members, (std::vector<std::string>{"7", "y"}));
    EXPECT_EQ(s.count(), 2);

    // A number read keeps its value when the position is overwritten and
    // the storage moves on growth (ASan sees a dangling read otherwise).
    auto a = q::Array::make();
    ASSERT_TRUE(a.put_double(1.5).ok());
    q::Value first = *a.get(0);
    ASSERT_TRUE(a.put_double(2.5, 0).ok());
    for (int32_t i = 0; i < 100; ++i) ASSERT_TRUE(a.put_int(i).ok());
    EXPECT_EQ(first.as_double(), 1.5);
    ASSERT_TRUE(a.put(first, 0).ok());  // and it puts back as the number it holds
    EXPECT_EQ(a.get(0)->as_double(), 1.5);
}

TEST(CppLayerStatus, FailuresArriveUnchangedAndRoundTripsMatchTheC)
{
    auto doc = q::Dict::make();
    q::Result<q::Value> missing = doc.get("missing");
    EXPECT_EQ(missing.status.code, StatusOutOfRange);
    EXPECT_TRUE(missing->is_null());
    EXPECT_EQ(doc.index_of("missing"), std::nullopt);
    auto t = q::ArrayTyped::make();
    t.set_lock(true);
    EXPECT_EQ(t.set_access(ReadOnly).code, StatusLocked);
    auto s = q::GenSet::make();
    ASSERT_TRUE(s.add_int(3).ok());
    EXPECT_TRUE(s.contains_int(3) && !s.contains_int(4));

    ASSERT_TRUE(doc.put_double("ratio", 0.25).ok());
    auto list = q::Array::make();
    ASSERT_TRUE(list.put_int(1).ok() && doc.put_object_copy("list", std::move(list)).ok());
    auto out = q::Stream::make();
    ASSERT_TRUE(doc.save(out).ok());
    EXPECT_EQ(std::vector<unsigned char>(out.bytes().begin(), out.bytes().end()), qt::saved(doc.get()));
    auto in = q::Stream::make(out.bytes());
    auto loaded = q::Dict::make();
    EXPECT_EQ(loaded.load(in, 1).code, StatusFailed);  // the mode is passed on
    ASSERT_TRUE(loaded.load(in).ok());
    EXPECT_EQ(in.read_offset(), out.bytes().size());
    EXPECT_EQ(loaded.get("ratio")->as_int(), std::nullopt);
    auto nested = q::view_cast<q::ArrayView>(loaded.get("list")->as_object());
    ASSERT_TRUE(nested);
    EXPECT_TRUE(nested.copy().equals(nested));
}
