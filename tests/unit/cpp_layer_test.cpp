// The header-only C++ layer as a client meets it: who deletes what and when,
// what a walk visits while its body changes the container, that statuses
// arrive untouched, and what same_content calls the same.  Ranges, text
// arguments, const and files through the layer: tests/cpp/cpp_client.cpp.
// What the containers themselves do is the other suites' business.
#include <quolan/containers.hpp>

#include <string>
#include <utility>
#include <vector>

#include "support.h"

namespace q = quolan;
using qt::Tracked;

namespace {

q::ObjectHandle tracked() { return q::ObjectHandle(Tracked::make_raw()); }

// Through a function, so the compiler does not see (and warn about) a self-move.
void move_into(q::ObjectHandle &to, q::ObjectHandle &from) { to = std::move(from); }

std::vector<int32_t> ints(q::ConstArrayView a)
{
    std::vector<int32_t> out;
    for (q::Value v : a) out.push_back(v.as_int().value_or(-1));
    return out;
}

std::string entries(q::ConstDictView d)
{
    std::string out;
    for (auto [key, value] : d) out += std::string(key.as_string_view().value_or("?")) + std::to_string(*value.as_int());
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
        move_into(c, c);
        { [[maybe_unused]] q::ObjectView borrowed = c; }
        EXPECT_TRUE(c && Tracked::clears == before + 2);
    }
    EXPECT_EQ(Tracked::clears, before + 3);
    QuolanObject *raw = tracked().release();
    EXPECT_EQ(Tracked::clears, before + 3);
    qt::B(raw)->Delete(raw);
}

TEST(CppLayerOwnership, ContainersTakeAHandedOverObjectOnlyWhenThePutSucceeds)
{
    const int32_t before = Tracked::clears;
    {
        auto a = q::Array::make();
        a.set_sizes(1, 1);
        auto o = tracked(), member = tracked();
        EXPECT_TRUE(a.put(5, std::move(o)).code == StatusOutOfRange && o);
        EXPECT_TRUE(a.push_back(std::move(o)).ok() && !o);
        auto s = q::GenSet::make();
        EXPECT_TRUE(s.insert(std::move(member)).ok() && !member);
        EXPECT_EQ(Tracked::clears, before);
    }
    EXPECT_EQ(Tracked::clears, before + 2);  // the array and the set deleted what they held

    auto d = q::Dict::make();
    auto o = tracked();
    EXPECT_TRUE(d.put(nullptr, std::move(o)).code == StatusBadType && o);
    EXPECT_TRUE(d.put("k", o).ok() && o && d.get("k")->tag == Object);  // an lvalue handle is only lent
    EXPECT_TRUE(d.put("k", std::move(o)).ok() && !o && d.get("k")->tag == OwnedObject);
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
    const auto &read = d;
    EXPECT_TRUE(q::view_cast<q::ArrayView>(d) && q::view_cast<q::DictView>(d) && q::view_cast<q::ConstDictView>(read));
    EXPECT_FALSE(q::view_cast<q::DictView>(a));
}

TEST(CppLayerWalk, WalksVisitPositionsEntriesAndMembersInOrder)
{
    auto a = q::Array::make();
    EXPECT_TRUE(a.empty() && ints(a).empty());
    for (int32_t i = 1; i <= 4; ++i) ASSERT_TRUE(a.push_back(i * 10).ok());
    ASSERT_TRUE(a.push_back("tail").ok());
    ASSERT_TRUE(a.set_index(1).ok() && a.next()->as_int() == 20);  // a walk by hand, left halfway
    EXPECT_EQ(ints(a), (std::vector<int32_t>{10, 20, 30, 40, -1}));

    // Reads go through the object's own table, so a deferred value loads.
    auto source = q::Dict::make();
    auto deferred = q::ArrayDefer::make();
    deferred.set_loader(source);
    ASSERT_TRUE(source.put("x", 7).ok() && deferred.push_back_deferred("x").ok());
    EXPECT_EQ(ints(deferred), std::vector<int32_t>{7});

    auto d = q::Dict::make();
    for (const char *k : {"a", "b", "c"}) ASSERT_TRUE(d.put(k, k[0] - 'a' + 1).ok());
    ASSERT_TRUE(d.erase("b").ok());
    EXPECT_EQ(entries(d), "a1c3");
    ASSERT_TRUE(d.put("d", 4).ok() && d.push_back(99).ok());  // the free position 1; by position: not an entry
    EXPECT_EQ(entries(d), "a1d4c3");
    // Without keys there are no entries, on the first walk as on the next.
    auto positional = q::Dict::make();
    ASSERT_TRUE(positional.push_back(1).ok());
    EXPECT_TRUE(positional.empty() && positional.empty());

    auto s = q::GenSet::make();
    EXPECT_TRUE(s.empty() && s.count() == 0);
    // A free position first.
    ASSERT_TRUE(s.insert("x").ok() && s.insert(7).ok() && s.insert("y").ok() && s.erase("x").ok());
    std::vector<std::string> members;
    for (q::Value m : s) {
        EXPECT_TRUE(s.contains(m));
        members.push_back(m.as_string() ? m.as_string() : std::to_string(*m.as_int()));
    }
    EXPECT_EQ(members, (std::vector<std::string>{"7", "y"}));
}

// The body of a loop moves the object's one cursor (a keyed read selects the
// position it reads); each iterator must still deliver every entry once.
TEST(CppLayerWalk, BodiesThatReadWriteAndWalkAgainStillSeeEachEntryOnce)
{
    auto d = q::Dict::make();
    for (const char *k : {"a", "b", "c", "d"}) ASSERT_TRUE(d.put(k, k[0]).ok());
    ASSERT_TRUE(d.erase("b").ok());  // a free position inside the walk
    std::string seen;
    for (auto [key, value] : d) {
        const char *k = key.as_string();
        ASSERT_TRUE(k);
        seen += k;
        EXPECT_TRUE(d.get(k)->as_int() == k[0] && d.contains("d"));
        ASSERT_TRUE(d.put(k, k[0] + 100).ok());     // over an existing key
        EXPECT_EQ(d.to_vector().size(), 3u);         // a whole nested walk
        EXPECT_EQ(value.as_int(), k[0]);             // the number read stays
    }
    EXPECT_EQ(seen, "acd");

    auto a = q::Array::make();
    for (int32_t i = 0; i < 5; ++i) ASSERT_TRUE(a.push_back(i).ok());
    std::vector<int32_t> got;
    for (q::Value v : a) {
        got.push_back(*v.as_int());
        ASSERT_TRUE(a.get(0)->as_int() == 0 && a.put(*v.as_int(), *v.as_int() * 10).ok());
        EXPECT_EQ(ints(a).size(), 5u);
    }
    EXPECT_EQ(got, (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(ints(a), (std::vector<int32_t>{0, 10, 20, 30, 40}));
    got.clear();
    for (q::Value v : a) {
        got.push_back(*v.as_int());
        if (got.size() == 1) { EXPECT_TRUE(a.push_back(50).ok()); }  // lies ahead: visited
    }
    EXPECT_EQ(got.size(), 6u);
    int32_t steps = 0;
    for ([[maybe_unused]] q::Value v : a) {
        ++steps;
        quolan_base_methods(a.get())->Clear(a.get());  // ends the walk
    }
    EXPECT_EQ(steps, 1);

    // A number read keeps its value when the position is overwritten and
    // the storage moves on growth (ASan sees a dangling read otherwise).
    ASSERT_TRUE(a.push_back(1.5).ok());
    q::Value first = *a.get(0);
    ASSERT_TRUE(a.put(0, 2.5).ok());
    for (int32_t i = 0; i < 100; ++i) ASSERT_TRUE(a.push_back(i).ok());
    EXPECT_EQ(first.as_double(), 1.5);
    EXPECT_TRUE(a.put(0, first).ok() && a.get(0)->as_double() == 1.5);  // and it puts back as the number it holds
}

TEST(CppLayerContent, SameContentIsBlindToPositionsAndKindsButNotToValues)
{
    auto make = [](std::initializer_list<const char *> keys, double ratio) {
        auto d = q::DictTyped::make();
        auto list = q::Array::make();
        auto inner = q::Dict::make();
        EXPECT_TRUE(inner.put("deep", 1).ok() && list.push_back(std::move(inner)).ok() && list.push_back("x").ok());
        for (const char *k : keys) EXPECT_TRUE(d.put(k, k[0]).ok());
        EXPECT_TRUE(d.put("ratio", ratio).ok() && d.put("list", std::move(list)).ok());
        return d;
    };
    auto a = make({"a", "b"}, 0.5), b = make({"b", "a"}, 0.5);
    EXPECT_TRUE(a.same_content(b) && b.same_content(a) && !a.equals(b));
    auto plain = q::Dict::make();
    for (auto [key, value] : b) ASSERT_TRUE(plain.put(key, value).ok());  // a Dict; the list is lent
    EXPECT_TRUE(a.same_content(plain) && plain.get("list")->tag == Object);
    auto other_value = make({"a", "b"}, 0.25), other_key = make({"a", "c"}, 0.5), fewer = make({"a"}, 0.5);
    EXPECT_FALSE(a.same_content(other_value) || a.same_content(other_key) || a.same_content(fewer));
    ASSERT_TRUE(plain.put("a", 'a' * 1.0).ok());  // an Integer and a Double differ
    EXPECT_FALSE(a.same_content(plain));

    auto inner_list = q::view_cast<q::ArrayView>(b.get("list")->as_object());
    auto reordered = q::Array::make();
    ASSERT_TRUE(reordered.push_back("x").ok() && reordered.push_back(inner_list.get(0)->as_object()).ok());
    EXPECT_FALSE(inner_list.same_content(reordered));  // arrays keep their order
    ASSERT_TRUE(inner_list.put(1, "y").ok());
    EXPECT_FALSE(a.same_content(b));  // nested containers are compared too
}

TEST(CppLayerStatus, FailuresArriveUnchangedAndRoundTripsMatchTheC)
{
    auto doc = q::Dict::make();
    q::Result<q::Value> missing = doc.get("missing");
    EXPECT_TRUE(missing.status == StatusOutOfRange && missing->is_null() && !doc.index_of("missing"));
    EXPECT_STREQ(missing.status.name(), "StatusOutOfRange");
    auto t = q::ArrayTyped::make();
    t.set_lock(true);
    EXPECT_EQ(t.set_access(ReadOnly).code, StatusLocked);

    auto list = q::Array::make();
    ASSERT_TRUE(doc.put("ratio", 0.25).ok() && list.push_back(1).ok() && doc.put("list", std::move(list)).ok());
    auto out = q::Stream::make();
    ASSERT_TRUE(doc.save(out).ok());
    EXPECT_EQ(std::vector<unsigned char>(out.bytes().begin(), out.bytes().end()), qt::saved(doc.get()));
    auto in = q::Stream::make(out.bytes());
    auto loaded = q::Dict::make();
    EXPECT_EQ(loaded.load(in, 1).code, StatusFailed);  // the mode is passed on
    ASSERT_TRUE(loaded.load(in).ok() && in.read_offset() == out.bytes().size());
    auto nested = q::view_cast<q::ArrayView>(loaded.get("list")->as_object());
    EXPECT_TRUE(nested && nested.copy().equals(nested));
}
